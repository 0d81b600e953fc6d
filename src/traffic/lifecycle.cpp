// The life of a record before and after it moves: the buffer, the spawn, the creation from
// the adding stack, identification and activation, and the removal from the simulator.
#include <algorithm>

#include "refdata/dbase.h"
#include "settings/settings.h"
#include "traffic/engine.h"
#include "traffic/ground.h"
#include "util/log.h"

namespace wnd {

namespace {
constexpr std::size_t kCreationQueueBusy = 11;

bool lf_validCallsign(std::string_view cs) {
    return !cs.empty() && cs.size() <= 8 && cs != "@@@@@@@@";
}

// The airline of an airline flight's callsign: its three leading letters when the database
// knows them as an operator.
std::string lf_airlineOfCallsign(std::string_view cs) {
    if (cs.size() < 4 ||
        !std::all_of(cs.begin(), cs.begin() + 3, [](char c) { return c >= 'A' && c <= 'Z'; })) {
        return {};
    }
    const std::string_view code = cs.substr(0, 3);
    return gf_isKnownAirline(code) ? std::string(code) : std::string();
}
}  // namespace

bool LiveEngine::queuedForCreation(std::string_view callsign) const {
    return world_.pacing().creationQueued(callsign);
}

bool LiveEngine::capacityRule(LiveAircraft& ac) {
    const auto max = static_cast<std::size_t>(std::max(0, gs().MAX_LIVE_SEL.value()));
    if (max == 0) {
        ac.removeNow = true;
        return false;
    }
    const std::size_t active = static_cast<std::size_t>(
        std::count_if(live_.begin(), live_.end(),
                      [](const LiveAircraft& o) { return o.state == LiveState::Active; }));
    if (adding_.size() + active + world_.pacing().liveCreationCount() < max) {
        return true;
    }
    const LatLon user{user_.latitude, user_.longitude};
    const StreamPoint& first = ac.stream.front();
    double best = gf_distanceNm(user, {first.lat, first.lon});
    LiveAircraft* candidate = nullptr;
    for (LiveAircraft& o : live_) {
        if (o.state != LiveState::Active) {
            continue;
        }
        const double d = gf_distanceNm(user, {o.lat, o.lon});
        if (d > best + 0.1) {
            best = d;
            candidate = &o;
        }
    }
    if (candidate == nullptr) {
        ac.removeNow = true;  // the newcomer gives way
        return false;
    }
    removeAircraftFromSim(*candidate);
    return true;
}

void LiveEngine::completeIdentity(LiveAircraft& ac) {
    if (!ac.registration.empty()) {
        if (const auto info = gf_lookupRegistration(ac.registration)) {
            if (!info->airl.empty()) {
                ac.airline = info->airl;
            }
            if (!info->type.empty() && gf_isKnownType(info->type)) {
                ac.model = info->type;
                ac.controls.category = static_cast<std::uint32_t>(gf_typeCategory(ac.model));
            }
            ac.cargo = info->cargo;
        }
    }
    if (ac.airline.empty()) {
        ac.airline = lf_airlineOfCallsign(ac.callsign);
    }
    if (ac.airline.empty()) {
        ac.airline = "PVT";
    }
    // A large aircraft on the ground reported without a flight's callsign is under tow.
    std::string tail = ac.registration;
    std::erase(tail, '-');
    const std::uint32_t cat = ac.categoryId();
    ac.towed = (ac.callsign.empty() || ac.callsign == tail || ac.callsign == ac.registration) &&
               !ac.registration.empty() && (cat == category::kLarge || cat == category::kHeavy) &&
               !ac.stream.empty() && !ac.stream.front().airborne;
    ac.taxiSpeedKt = gf_taxiSpeedKt(cat, ac.towed);
    ac.turnRate = gf_baseTurnRate(cat);
    if (ac.callsign.empty() && !ac.registration.empty()) {
        ac.callsign = ac.registration.substr(0, 8);  // a private flight shows its tail number
        ac.firstCallsign = ac.callsign;
    }
}

bool LiveEngine::bufferRules(LiveAircraft& ac) {
    if (ac.stream.empty()) {
        ac.removeNow = true;
        return true;
    }
    const StreamPoint& first = ac.stream.front();
    const int lead = (!first.airborne && first.groundSpeed != 0.0) ? 300 : 100;
    if (cycle() < first.dueCycle - lead) {
        return false;
    }
    if (ac.stream.size() == 1) {
        ac.removeNow = true;
        return true;
    }
    if (ac.callsign.ends_with('_') &&
        std::find(blocked_.begin(), blocked_.end(), ac.callsign) != blocked_.end()) {
        ac.removeNow = true;
        return true;
    }
    const bool anyAir = std::any_of(ac.stream.begin(), ac.stream.end(),
                                    [](const StreamPoint& p) { return p.airborne; });
    const bool anyGround = std::any_of(ac.stream.begin(), ac.stream.end(),
                                       [](const StreamPoint& p) { return !p.airborne; });
    if (anyAir && anyGround) {
        ac.stream.pop_front();
        return false;
    }
    if (collisionAtSpawn(ac)) {
        return ac.removeNow;
    }
    if (world_.pacing().liveCreationCount() >= kCreationQueueBusy &&
        ac.phase == FlightPhase::Birth) {
        ac.stream.pop_front();
        return false;
    }
    if (!capacityRule(ac)) {
        return true;
    }
    const std::string& blockedCs = gs().BLOCK_CALLSIGN.value();
    if (!blockedCs.empty() && blockedCs == ac.callsign) {
        ac.removeNow = true;
        return true;
    }
    completeIdentity(ac);
    const bool ghostBlocked =
        ac.callsign.ends_with('_') &&
        std::find(blocked_.begin(), blocked_.end(), ac.callsign) != blocked_.end();
    if (lf_validCallsign(ac.callsign) && !world_.isNoLivery(noLiveryKey(ac)) && !ghostBlocked) {
        spawnLiveAc(ac);
    } else {
        ac.removeNow = true;
    }
    return ac.removeNow;
}

bool LiveEngine::spawnLiveAc(LiveAircraft& ac) {
    if (ac.stream.size() < 2) {
        gf_logWarning("{} sz:{}", fmt::format("spawnLiveAc {}", ac.ident()), ac.stream.size());
        return false;
    }
    StreamPoint& p0 = ac.stream[0];
    StreamPoint& p1 = ac.stream[1];
    if (p1.groundHold) {
        p0.groundHold = true;
        p0.groundSpeed = 0.0;
        p1.groundSpeed = 0.0;
        if (ac.stream.size() > 2 && ac.stream[2].groundHold) {
            ac.stream[2].groundSpeed = 0.0;
        }
    } else {
        p0.groundHold = false;
    }
    if (ac.liveryTitle.empty()) {
        std::string title = matchedLivery(ac);
        if (title.empty()) {
            if (!ac.registration.empty()) {
                world_.addNoLivery(noLiveryKey(ac));
            }
            const std::string line = fmt::format("{:8} {:3} {:4} {}", ac.callsign, ac.airline,
                                                 ac.model, ac.registration);
            if (unmatched_.size() < 1000 &&
                std::find(unmatched_.begin(), unmatched_.end(), line) == unmatched_.end()) {
                unmatched_.push_back(line);
            }
            ac.removeNow = true;
            return false;
        }
        ac.liveryTitle = std::move(title);
    }
    if (ac.stream.front().airborne) {
        setPhase(ac, FlightPhase::Flying);
    } else if (findStandAt(ac)) {
        setPhase(ac, FlightPhase::Parked);
        ac.timeParked = world_.now();
        StreamPoint p = ac.stream.front();
        p.lat = ac.standLat;
        p.lon = ac.standLon;
        p.heading = ac.standHeading;
        p.headingGiven = true;
        p.groundHold = true;
        p.groundSpeed = 0.0;
        ac.stream.clear();
        ac.stream.push_back(p);
    } else if (ac.stream[1].groundHold) {
        ac.stream.pop_front();
        return false;
    } else {
        setPhase(ac, FlightPhase::Taxi);
    }
    if (ac.removeNow) {
        return false;
    }
    resetPoseFromStream(ac);
    ac.state = LiveState::Adding2Sim;
    adding_.push_back(ac.aircraftId);
    if (!ac.callsign.ends_with('_')) {
        ghostCheck(ac.callsign);
    }
    return true;
}

void LiveEngine::createFromAddingStack() {
    if (adding_.empty()) {
        return;
    }
    const std::uint32_t id = adding_.back();
    adding_.pop_back();
    LiveAircraft* ac = findById(id);
    if (ac == nullptr || ac->state != LiveState::Adding2Sim || ac->dropped || ac->removeNow) {
        return;
    }
    if (ac->callsign.empty()) {
        gf_logWarning("{} {} objectid = 0?", "lf_handleAddingStack", ac->ident());
        return;
    }
    CreateRequest req;
    req.initPosition.Latitude = ac->lat;
    req.initPosition.Longitude = ac->lon;
    req.initPosition.Altitude = ac->altitude;
    req.initPosition.Pitch = ac->pitch * kRad2Deg;
    req.initPosition.Bank = ac->bank * kRad2Deg;
    req.initPosition.Heading = ac->heading * kRad2Deg;
    req.initPosition.OnGround = ac->stream.front().airborne ? 0 : 1;
    req.initPosition.Airspeed = 0;
    req.tailNumber = ac->callsign;
    req.liveryTitle = ac->liveryTitle;
    req.aircraftId = ac->aircraftId;
    world_.pacing().queueLiveCreation(std::move(req));
    ++figures_.created;
}

void LiveEngine::identify(const SimNotice& n) {
    if (n.objectId < 3) {
        return;
    }
    LiveAircraft* ac = findById(n.aircraftId);
    if (ac == nullptr || ac->state != LiveState::Adding2Sim) {
        // Nobody waits for this object any more: it must not stay in the simulator.
        world_.pacing().queueRemoval(n.objectId);
        return;
    }
    ac->controls.objectId = n.objectId;
    ac->aboveGroundFt = n.b;
    if (!ac->stream.empty() && !ac->stream.front().airborne) {
        parkingBookkeeping(*ac);
    }
    if (!ac->origin.empty() && !ac->destination.empty()) {
        ac->hasFlightPlan = world_.setFlightPlan(n.objectId, static_cast<int>(ac->categoryId()),
                                                 ac->origin, ac->destination, ac->ident());
    }
    world_.requestStaticCg(n.objectId);
    created_.push_back({n, 0});
}

void LiveEngine::activationLights(LiveAircraft& ac) {
    AiCommands& cmd = world_.commands();
    const bool rotor = ac.categoryId() == category::kRotorcraft;
    if (!ac.stream.empty() && ac.stream.front().airborne) {
        cmd.startEngines(ac.controls);
        cmd.setSpoilers(ac.controls, false);
        const bool low = ac.altitude <= 10000.0;
        cmd.setLights(ac.controls, {.nav = true,
                                    .beacon = true,
                                    .landing = low,
                                    .taxi = false,
                                    .strobes = true,
                                    .logo = low,
                                    .cabin = ac.aboveGroundFt >= 2000.0});
        cmd.setThrottle(ac.controls, rotor ? 4 : 3);
        cmd.setGear(ac.controls, ac.aboveGroundFt >= 0.0 && ac.aboveGroundFt < 2000.0);
        ac.firstAirborneDone = true;
        return;
    }
    cmd.setSpoilers(ac.controls, false);
    const bool parked = ac.phase == FlightPhase::Parked;
    if (parked) {
        cmd.shutdownEngines(ac.controls);
    } else {
        cmd.startEngines(ac.controls);
    }
    cmd.setLights(ac.controls, {.nav = parked ? gs().NAV_LIGHTS_WHILE_PARKED.value() : true,
                                .beacon = !parked,
                                .landing = false,
                                .taxi = ac.phase == FlightPhase::Taxi,
                                .strobes = false,
                                .logo = true,
                                .cabin = true});
    cmd.setThrottle(ac.controls, rotor ? 4 : 0);
    cmd.setFlaps(ac.controls, ac.phase == FlightPhase::Taxi ? 1U : 0U);
}

void LiveEngine::activate() {
    for (CreatedEntry& e : created_) {
        ++e.cycles;
        if (e.notice.kind != NoticeKind::LiveIdentified) {
            if (e.cycles >= kActivationCycles && static_ != nullptr) {
                static_->staticActivated(e.notice);
            }
            continue;
        }
        LiveAircraft* ac = findById(e.notice.aircraftId);
        if (ac == nullptr || ac->objectId() != e.notice.objectId ||
            ac->state != LiveState::Adding2Sim) {
            e.cycles = kActivationCycles;  // gone or active meanwhile: the entry ends
            continue;
        }
        if (e.cycles == 50 || e.cycles == 100) {
            world_.commands().toggleAllLights(ac->controls);
        }
        if (e.cycles < kActivationCycles) {
            continue;
        }
        activationLights(*ac);
        ac->state = LiveState::Active;
        resetPoseFromStream(*ac);
        if (ac->removeWhenIdentified) {
            ac->removeWhenIdentified = false;
            removeAircraftFromSim(*ac);
        }
    }
    std::erase_if(created_, [](const CreatedEntry& e) { return e.cycles >= kActivationCycles; });
}

void LiveEngine::removeAircraftFromSim(LiveAircraft& ac) {
    if (ac.state == LiveState::Buffer) {
        ac.removeNow = true;
        return;
    }
    if (ac.removeWhenIdentified) {
        return;
    }
    if (ac.state == LiveState::Adding2Sim) {
        if (ac.objectId() == 0 && world_.pacing().cancelQueuedCreation(ac.aircraftId)) {
            ac.dropped = true;
            std::erase(adding_, ac.aircraftId);
        } else if (ac.objectId() == 0 &&
                   std::find(adding_.begin(), adding_.end(), ac.aircraftId) != adding_.end()) {
            ac.dropped = true;  // not even queued yet
            std::erase(adding_, ac.aircraftId);
        } else {
            ac.removeWhenIdentified = true;
        }
        return;
    }
    if (ac.state == LiveState::RemovingFromSim) {
        return;
    }
    freeStand(ac);
    ac.state = LiveState::RemovingFromSim;
    if (ac.objectId() == 0) {
        gf_logWarning("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim", ac.ident());
        ac.removeNow = true;  // nothing in the simulator to wait for
        return;
    }
    world_.pacing().queueRemoval(ac.objectId());
    ++figures_.removed;
}

}  // namespace wnd
