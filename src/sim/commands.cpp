// The AI commands: pacing queues, the outgoing queues under the command lock and their
// sending on each simulator frame, client events with their memory, flight plans, and
// the bookkeeping of refused creations and aircraft without a livery.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "sim/flight_plan.h"
#include "sim/sim_link.h"
#include "sim/sim_text.h"
#include "util/log.h"
#include "util/time.h"
#include "util/user_error.h"

namespace wnd {

namespace {

constexpr int kCreationPacing = 50;  // engine cycles between two creations
constexpr int kRemovalPacing = 10;   // engine cycles between two removals
constexpr std::size_t kRefusedLiveryLimit = 20;
constexpr std::uint32_t kRotorcraft = 5;

constexpr std::array<DWORD, 4> kFlapsData = {0, 3072, 10240, 16383};
constexpr std::array<DWORD, 5> kThrottleData = {0, 4914, 8191, 11468, 16383};
constexpr DWORD kSpoilersExtended = 16383;

DWORD lf_onOff(bool on) {
    return on ? 1u : 0u;
}

}  // namespace

// ---- Pacing (traffic worker) ----

void SimLink::queueLiveCreation(CreateRequest request) {
    liveCreations_.push_back(std::move(request));
}

void SimLink::queueStaticCreation(CreateRequest request) {
    staticCreations_.push_back(std::move(request));
}

bool SimLink::creationQueued(std::string_view callsign) const {
    auto same = [&](const CreateRequest& r) { return r.tailNumber == callsign; };
    return std::any_of(liveCreations_.begin(), liveCreations_.end(), same) ||
           std::any_of(staticCreations_.begin(), staticCreations_.end(), same);
}

bool SimLink::cancelQueuedCreation(std::uint32_t aircraftId) {
    auto same = [&](const CreateRequest& r) { return r.aircraftId == aircraftId; };
    return std::erase_if(liveCreations_, same) + std::erase_if(staticCreations_, same) > 0;
}

void SimLink::queueRemoval(std::uint32_t objectId) {
    removals_.push_back(objectId);
}

void SimLink::pacingStep() {
    cyclesSinceCreation_ = std::min(cyclesSinceCreation_ + 1, kCreationPacing);
    cyclesSinceRemoval_ = std::min(cyclesSinceRemoval_ + 1, kRemovalPacing);
    std::deque<CreateRequest>* from = !liveCreations_.empty()     ? &liveCreations_
                                      : !staticCreations_.empty() ? &staticCreations_
                                                                  : nullptr;
    const bool create = from != nullptr && cyclesSinceCreation_ >= kCreationPacing;
    const bool remove = !removals_.empty() && cyclesSinceRemoval_ >= kRemovalPacing;
    if (!create && !remove) {
        return;
    }
    MutexLock lock(cmdMu_);
    if (create) {
        creations_.push_back(std::move(from->front()));
        from->pop_front();
        cyclesSinceCreation_ = 0;
    }
    if (remove) {
        removalsOut_.push_back(removals_.front());
        removals_.pop_front();
        cyclesSinceRemoval_ = 0;
    }
}

bool SimLink::swapPositionBuffers() {
    const bool locked = cmdMu_.try_lock();
    if (locked) {
        MutexLock lock(cmdMu_, std::adopt_lock);
        sendPositions_.swap(fill_);
    }
    fill_.clear();
    return locked;
}

// ---- Client events ----

void SimLink::queueEvents(std::initializer_list<ClientEventCommand> events) {
    MutexLock lock(cmdMu_);
    events_.insert(events_.end(), events);
}

void SimLink::setLights(const AiControls& ac, const Lights& l) {
    const std::uint32_t o = ac.objectId;
    queueEvents({{o, simid::kEvNavLights, lf_onOff(l.nav)},
                 {o, simid::kEvBeaconLights, lf_onOff(l.beacon)},
                 {o, simid::kEvLandingLights, lf_onOff(l.landing)},
                 {o, simid::kEvTaxiLights, lf_onOff(l.taxi)},
                 {o, simid::kEvStrobes, lf_onOff(l.strobes)},
                 {o, simid::kEvLogoLights, lf_onOff(l.logo)},
                 {o, simid::kEvCabinLights, lf_onOff(l.cabin)}});
}

void SimLink::setNavLight(const AiControls& ac, bool on) {
    queueEvents({{ac.objectId, simid::kEvNavLights, lf_onOff(on)}});
}

void SimLink::setCabinLight(const AiControls& ac, bool on) {
    queueEvents({{ac.objectId, simid::kEvCabinLights, lf_onOff(on)}});
}

void SimLink::toggleAllLights(const AiControls& ac) {
    queueEvents({{ac.objectId, simid::kEvAllLightsToggle, 0}});
}

void SimLink::startEngines(const AiControls& ac) {
    queueEvents({{ac.objectId, simid::kEvEngineStart, 0}});
}

void SimLink::shutdownEngines(const AiControls& ac) {
    queueEvents({{ac.objectId, simid::kEvEngineShutdown, 0}});
}

void SimLink::setGear(const AiControls& ac, bool down) {
    if (ac.category != kRotorcraft) {
        queueEvents({{ac.objectId, simid::kEvGear, lf_onOff(down)}});
    }
}

void SimLink::setSpoilers(const AiControls& ac, bool extended) {
    if (ac.category != kRotorcraft) {
        queueEvents({{ac.objectId, simid::kEvSpoilers, extended ? kSpoilersExtended : 0u}});
    }
}

void SimLink::setFlaps(AiControls& ac, std::uint32_t step) {
    if (ac.category == kRotorcraft) {
        return;
    }
    if (step >= kFlapsData.size()) {
        gf_logWarning("gf_setFlaps: invalid flaps index");
        return;
    }
    if (step == ac.flapsStep) {
        return;
    }
    queueEvents({{ac.objectId, simid::kEvFlaps, kFlapsData[step]}});
    ac.flapsStep = step;
}

void SimLink::setThrottle(AiControls& ac, std::uint32_t step) {
    if (step >= kThrottleData.size() || step == ac.throttleStep) {
        return;
    }
    queueEvents({{ac.objectId, simid::kEvThrottle, kThrottleData[step]}});
    ac.throttleStep = step;
}

void SimLink::setParkedConfiguration(AiControls& ac, bool standFlag) {
    setThrottle(ac, 0);
    setFlaps(ac, 0);
    shutdownEngines(ac);
    bool cabin = !standFlag;
    if (cabin && gs().RANDOM.value()) {
        cabin = std::uniform_int_distribution<int>(0, 9)(rng_) < 9;
    }
    Lights l;
    l.nav = gs().NAV_LIGHTS_WHILE_PARKED.value();
    l.logo = true;
    l.cabin = cabin;
    setLights(ac, l);
}

bool SimLink::respawnRemoval(const AiControls& ac, std::string_view ident) {
    if (ac.objectId == 0) {
        gf_logWarning("{} removing act {} with objectid=0 ?", "liveryRespawn", ident);
        return false;
    }
    queueRemoval(ac.objectId);
    return true;
}

// ---- Sending on each frame (SimClient thread) ----

bool SimLink::sendFrame() {
    if (!cmdMu_.try_lock()) {
        // The engine holds the lock: everything waits for the next frame.
        framesBusy_.fetch_add(1);
        return false;
    }
    MutexLock lock(cmdMu_, std::adopt_lock);
    if (!commandFailure_.load() && handle() != nullptr) {
        sendLocked();
    }
    sendPositions_.clear();
    events_.clear();
    creations_.clear();
    removalsOut_.clear();
    framesSent_.fetch_add(1);
    return true;
}

void SimLink::sendLocked() {
    const HANDLE h = handle();
    const std::uint32_t user = userObjectId_.load();
    for (const PositionCommand& p : sendPositions_) {
        if (commandFailure_.load()) {
            return;
        }
        if (p.objectId <= user) {
            continue;
        }
        AiPosition pos = p.position;
        if (gf_scFailed(SimConnect_SetDataOnSimObject(h, simid::kDefAiPosition, p.objectId,
                                                      SIMCONNECT_DATA_SET_FLAG_DEFAULT, 0,
                                                      sizeof pos, &pos))) {
            gf_logWarning("SimConnect call to set position of AI ac failed, id {}", p.objectId);
            handleRequestError();
        }
    }
    for (const ClientEventCommand& e : events_) {
        if (commandFailure_.load()) {
            return;
        }
        if (e.objectId <= user) {
            continue;  // never the user's aircraft or an object of the simulator's own
        }
        const bool flaps = e.eventId == simid::kEvFlaps;
        auto release = [&] {
            if (gf_scFailed(SimConnect_AIReleaseControl(h, e.objectId, simid::kReqRelease))) {
                gf_logWarning("SimConnect release control of ac fails, id {}", e.objectId);
                handleRequestError();
            }
        };
        if (flaps) {
            release();
        }
        if (gf_scFailed(SimConnect_TransmitClientEvent(
                h, e.objectId, e.eventId, e.data, simid::kGroup, SIMCONNECT_EVENT_FLAG_DEFAULT))) {
            showStatus(fmt::format("SimConnect TransmitClientEvent: {} fails", e.eventId));
        }
        if (flaps) {
            release();
        }
    }
    for (const CreateRequest& c : creations_) {
        if (commandFailure_.load()) {
            return;
        }
        sendCreationLocked(c);
    }
    for (std::uint32_t oid : removalsOut_) {
        if (commandFailure_.load()) {
            return;
        }
        if (oid <= user) {
            gf_logWarning("SimConnect call to remove ac with objectid {}", oid);
            continue;
        }
        if (gf_scFailed(SimConnect_AIRemoveObject(h, oid, simid::kReqRemove))) {
            gf_logWarning("{} !SimConnect call to remove AI ac from sim failed, id {}?",
                          gf_utcClock(), oid);
            handleRequestError();
        }
    }
}

void SimLink::sendCreationLocked(const CreateRequest& c) {
    const HANDLE h = handle();
    // The simulator reads its texts in its ANSI code page.
    const std::string title = gf_utf8ToSimText(c.liveryTitle).value_or(c.liveryTitle);
    const std::string tail = gf_utf8ToSimText(c.tailNumber).value_or(c.tailNumber);
    if (gf_scFailed(SimConnect_AICreateNonATCAircraft(h, title.c_str(), tail.c_str(),
                                                      c.initPosition, simid::kReqCreate))) {
        gf_logWarning(
            "! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
            c.aircraftId, c.liveryTitle, c.tailNumber);
        handleRequestError();
        return;
    }
    DWORD sendId = 0;
    if (gf_scFailed(SimConnect_GetLastSentPacketID(h, &sendId))) {
        gf_logWarning("GetLastSentPacketID");
        sendId = 0;
    }
    MutexLock lock(stateMu_);
    pending_.push_back({sendId, c.aircraftId, tail});
}

SimLink::OutgoingQueues SimLink::outgoing() const {
    MutexLock lock(cmdMu_);
    return {sendPositions_, events_, creations_, removalsOut_};
}

std::vector<PendingCreation> SimLink::pendingCreations() const {
    MutexLock lock(stateMu_);
    return pending_;
}

std::vector<std::uint32_t> SimLink::addedObjects() const {
    MutexLock lock(stateMu_);
    return added_;
}

// ---- Flight plans ----

bool SimLink::setFlightPlan(std::uint32_t objectId, int category, std::string_view origin,
                            std::string_view destination, std::string_view ident) {
    if (origin.empty() || destination.empty()) {
        return false;
    }
    bool ok = false;
    const std::filesystem::path path = gf_flightPlanPath(objectId);
    bool written = false;
    if (!gf_flightPlanFolder().empty()) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << gf_flightPlanText(category, origin, destination);
        out.close();
        written = !out.fail();
    }
    if (written) {
        if (const auto ansi = gf_utf8ToSimText(path.string())) {
            MutexLock lock(cmdMu_);
            const HANDLE h = handle();
            if (h != nullptr && !commandFailure_.load()) {
                ok = !gf_scFailed(SimConnect_AISetAircraftFlightPlan(h, objectId, ansi->c_str(),
                                                                     simid::kReqFlightPlan));
                if (!ok) {
                    handleRequestError();
                }
            }
        }
    }
    if (!ok) {
        gf_logWarning("{} creating a flight plan failed", ident);
    }
    return ok;
}

// ---- Refused creations and aircraft without livery ----

void SimLink::creationRefused(std::string_view callsign, std::string_view liveryTitle,
                              std::string_view model, std::string_view airline) {
    if (!gf_runControl().ending()) {
        showStatus(fmt::format("{} '{}' could not be created by your Sim!", callsign, liveryTitle));
    }
    bool isNew = false;
    std::size_t count = 0;
    {
        MutexLock lock(failMu_);
        isNew = failedLiveries_.emplace(liveryTitle).second;
        failedCombinations_.insert(fmt::format("{} {}", model, airline));
        count = failedLiveries_.size();
    }
    if (isNew) {
        std::function<void(const std::string&)> hook;
        {
            MutexLock lock(hooksMu_);
            hook = hooks_.liveryRefused;
        }
        if (hook) {
            hook(std::string(liveryTitle));
        }
    }
    if (isNew && count >= kRefusedLiveryLimit) {
        constexpr std::string_view kSentence =
            "There are too many liveries that could not be created!";
        gf_logLine(fmt::format("\n{}Error 81, {}\n", "===> ", kSentence));
        throw UserErrorException(81, fmt::format("{}, see Log.txt", kSentence));
    }
}

bool SimLink::isFailedLivery(std::string_view title) const {
    MutexLock lock(failMu_);
    return failedLiveries_.contains(title);
}

bool SimLink::isFailedCombination(std::string_view model, std::string_view airline) const {
    MutexLock lock(failMu_);
    return failedCombinations_.contains(fmt::format("{} {}", model, airline));
}

std::size_t SimLink::failedLiveryCount() const {
    MutexLock lock(failMu_);
    return failedLiveries_.size();
}

std::string SimLink::noLiveryKey(std::string_view airline, std::string_view model,
                                 std::string_view registration) {
    return fmt::format("{:3} {:4} {}", airline, model, registration);
}

void SimLink::addNoLivery(std::string key) {
    MutexLock lock(failMu_);
    noLivery_.insert(std::move(key));
}

bool SimLink::isNoLivery(std::string_view key) const {
    MutexLock lock(failMu_);
    return noLivery_.contains(key);
}

void SimLink::writeNoLiveryReport() const {
    std::vector<std::string> keys;
    {
        MutexLock lock(failMu_);
        keys.assign(noLivery_.begin(), noLivery_.end());
    }
    if (keys.empty()) {
        return;
    }
    std::sort(keys.begin(), keys.end());
    gf_logLine("\nNo match found for:");
    for (const std::string& k : keys) {
        gf_logLine(k);
    }
    gf_logLine(std::string(48, '-'));
}

}  // namespace wnd
