// The engine's duties in the traffic worker's schedule: the minute report, the idle duty,
// destinations typed in the window, blocking, the callsign list, the liveries in use, the
// unmatched traffic and the removal of all live traffic.
#include <algorithm>
#include <cctype>

#include "airports/airports_db.h"
#include "liveries/matching.h"
#include "traffic/engine.h"
#include "util/log.h"

namespace wnd {

void LiveEngine::minuteDuty() {
    EngineFigures f = figures_;
    for (const LiveAircraft& ac : live_) {
        if (ac.state == LiveState::Active) {
            ++f.active;
            (ac.touchdown ? f.onGround : f.flying) += 1;
        }
    }
    gf_logLine(
        "Live traffic: {} records, {} active ({} flying, {} on the ground); {} created, "
        "{} removed, {} landings, {} take-offs, {} reports taken",
        live_.size(), f.active, f.flying, f.onGround, f.created, f.removed, f.landed, f.tookOff,
        f.recordsFed);
    // Ghost callsigns are blocked for the run; keep the list from growing without end.
    if (blocked_.size() > 1000) {
        blocked_.erase(blocked_.begin(), blocked_.begin() + 500);
    }
}

void LiveEngine::idleDuty() {
    // The cycle counter stands still while the flight does not run, so every due cycle keeps
    // its distance; positions computed for a frozen world are not sent.
    world_.queues().swapPositionBuffers();
}

void LiveEngine::flightStopped() {
    // Objects identified but not yet active belong to a flight that ended: remove them and
    // let their reports bring them back.
    for (const CreatedEntry& e : created_) {
        if (e.notice.kind != NoticeKind::LiveIdentified) {
            // A static one: static parking forgets it and places it again.
            world_.pacing().queueRemoval(e.notice.objectId);
            continue;
        }
        if (LiveAircraft* ac = findById(e.notice.aircraftId)) {
            world_.pacing().queueRemoval(e.notice.objectId);
            ac->removeNow = true;
        }
    }
    created_.clear();
    dropMarked();
}

void LiveEngine::queueDestination(std::string text) {
    MutexLock lock(destMu_);
    if (destQueue_.size() < 16) {
        destQueue_.push_back(std::move(text));
    }
}

void LiveEngine::handleDestinationQueue() {
    std::string text;
    {
        MutexLock lock(destMu_);
        if (destQueue_.empty()) {
            return;
        }
        text = std::move(destQueue_.front());
        destQueue_.pop_front();
    }
    std::string code;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            code.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    if (!code.empty() && gf_findAirport(code) == nullptr) {
        gf_logLine("Destination {} is not an airport with RealTraffic ground data", code);
        return;
    }
    MutexLock lock(destMu_);
    destination_ = code;
    gf_logLine("Destination: {}", code.empty() ? "none" : code);
}

std::string LiveEngine::destination() const {
    MutexLock lock(destMu_);
    return destination_;
}

void LiveEngine::blockCallsign(std::string_view callsign) {
    if (callsign.empty()) {
        return;
    }
    for (LiveAircraft& ac : live_) {
        if (ac.state == LiveState::Active && ac.callsign == callsign) {
            gf_logLine("{} removed from simulator immediately while blocked", ac.callsign);
            removeAircraftFromSim(ac);
            return;
        }
    }
}

std::vector<std::string> LiveEngine::callsignList() const {
    std::vector<std::string> out;
    for (const LiveAircraft& ac : live_) {
        if (ac.state == LiveState::Active) {
            out.push_back(fmt::format("{} {}", ac.callsign, ac.objectId()));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

void LiveEngine::removeAllLive() {
    for (LiveAircraft& ac : live_) {
        removeAircraftFromSim(ac);
    }
    adding_.clear();
    dropMarked();
}

std::vector<std::string> LiveEngine::liveriesInUse() const {
    std::vector<std::string> out;
    for (const LiveAircraft& ac : live_) {
        if (ac.state == LiveState::Active && !ac.liveryTitle.empty() &&
            std::find(out.begin(), out.end(), ac.liveryTitle) == out.end()) {
            out.push_back(ac.liveryTitle);
        }
    }
    return out;
}

void LiveEngine::renewLiveriesInUse() {
    if (!std::exchange(liveryRenewal_, false)) {
        return;
    }
    // A deeper matching may find a better livery: those aircraft are shown again with it.
    int renewed = 0;
    for (LiveAircraft& ac : live_) {
        if (ac.state == LiveState::Active && !ac.landingSequence && ac.respawnCount < 1 &&
            liveryWouldChange(ac)) {
            gf_logLine("          {} respawns", ac.callsign);
            liveryRespawn(ac);
            ++renewed;
        }
    }
    gf_logLine("Liveries in use renewed: {} aircraft shown with another livery", renewed);
}

void LiveEngine::logUnmatched() {
    if (unmatched_.empty()) {
        return;
    }
    gf_logLine("Live traffic without a livery ({}): callsign, airline, type, registration",
               unmatched_.size());
    for (const std::string& line : unmatched_) {
        gf_logLine("  {}", line);
    }
    unmatched_.clear();
}

}  // namespace wnd
