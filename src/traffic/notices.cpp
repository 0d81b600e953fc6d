// What the simulator tells the engine: identifications, removals, the aircraft in range
// (ground and touchdown), resting data, blocks and refused creations.
#include <algorithm>
#include <cmath>

#include "settings/settings.h"
#include "traffic/engine.h"
#include "traffic/ground.h"
#include "util/log.h"

namespace wnd {

namespace {
constexpr double kPitchLoweringCycles = 150.0;
}  // namespace

void LiveEngine::handleNotice(const SimNotice& n) {
    switch (n.kind) {
        case NoticeKind::LiveIdentified:
            identify(n);
            break;
        case NoticeKind::StaticIdentified:
            created_.push_back({n, 0});
            break;
        case NoticeKind::ObjectRemoved:
            objectRemoved(n);
            break;
        case NoticeKind::InRange:
            inRange(n);
            break;
        case NoticeKind::StaticCg: {
            LiveAircraft* ac = findByObject(n.objectId);
            if (ac == nullptr) {
                break;
            }
            if (n.a >= 1.0 && n.a <= 35.0) {
                ac->staticCgFt = n.a;
            }
            // The simulator's nose-up is negative: a value outside -1..2.5 degrees is not a
            // resting attitude.
            const double deg = n.b * kRad2Deg;
            ac->staticPitch = (deg <= -1.0 || deg > 2.5) ? kDefaultStaticPitchRad : n.b;
            break;
        }
        case NoticeKind::BlockCallsign: {
            LiveAircraft* ac = findById(n.aircraftId);
            if (ac == nullptr) {
                break;
            }
            if (ac->state == LiveState::Active) {
                gf_logLine("{} removed from simulator immediately while blocked", ac->callsign);
                removeAircraftFromSim(*ac);
            } else if (ac->state == LiveState::Buffer) {
                gf_logLine("{} will be removed from buffer while blocked", ac->callsign);
                ac->removeNow = true;
            }
            break;
        }
        case NoticeKind::CreationRefused: {
            if (!gf_isLiveAircraftId(n.aircraftId)) {
                if (static_ != nullptr) {
                    static_->staticCreationRefused(n.aircraftId);
                }
                break;
            }
            LiveAircraft* ac = findById(n.aircraftId);
            if (ac == nullptr) {
                break;
            }
            world_.creationRefused(ac->callsign, ac->liveryTitle, ac->model, ac->airline);
            std::erase(adding_, ac->aircraftId);
            ac->dropped = true;
            break;
        }
    }
}

void LiveEngine::objectRemoved(const SimNotice& n) {
    LiveAircraft* ac = findByObject(n.objectId);
    if (ac == nullptr) {
        if (static_ != nullptr) {
            static_->staticRemoved(n.objectId);
        }
        return;
    }
    if (ac->state == LiveState::LiveryRespawn) {
        ac->state = LiveState::Buffer;
        ac->controls.afterRespawnRemoval();
        ac->landingSequence = false;
        ac->flareStage = 0;
        return;
    }
    if (ac->hasFlightPlan) {
        world_.removeFlightPlan(n.objectId);
    }
    freeStand(*ac);
    ac->removeNow = true;
}

void LiveEngine::inRange(const SimNotice& n) {
    LiveAircraft* ac = findByObject(n.objectId);
    if (ac == nullptr) {
        return;
    }
    ac->groundAltitudeFt = n.a;
    ac->groundAltitudeKnown = std::isfinite(n.a);
    if (n.aircraftId == 1 && !ac->touchdown && ac->groundStage <= 1 &&
        ac->state != LiveState::RemovingFromSim && ac->phase != FlightPhase::TakeOff &&
        ac->state == LiveState::Active) {
        touchdown(*ac);
    }
    ac->aboveGroundFt = n.b;
    if ((ac->touchdown || ac->groundStage >= 2) && ac->groundAltitudeKnown) {
        ac->altitude = ac->groundAltitudeFt + ac->staticCgFt;
    }
}

void LiveEngine::touchdown(LiveAircraft& ac) {
    if (ac.touchdown) {
        return;
    }
    ac.landed = true;
    if (ac.flareStage == 0 && !ac.landingSequence) {
        ac.touchdown = true;
        ac.altitudeStep = 0.0;
        ac.groundStage = 1;
        ac.verticalSpeed = 0.0;
        ++figures_.landed;
        startRollOut(ac);
        return;
    }
    ac.pitchLowering = true;
    ac.rollOutPending = true;
    ac.landingSequence = false;
    world_.commands().setSpoilers(ac.controls, true);
    if (ac.categoryId() != 0 && !ac.spoilersThrustWritten && ac.objectId() != 0) {
        ac.spoilersThrustWritten = true;
        const double thrust = ac.reverseThrust ? -100.0 : 100.0;
        world_.setSpoilersAndThrust(ac.objectId(), 100.0, thrust, thrust);
    }
    if (ac.stream.empty()) {
        gf_logWarning("{} ! onGround slots {:.1f}", ac.callsign, 0.0);
        ac.pitchStep = 0.0;
        ac.bankStep = 0.0;
    } else {
        // Over a second and a half rather than over the points left: the nose comes down
        // like an aircraft's, however many reports wait.
        ac.pitchStep = (ac.staticPitch - ac.pitch) / kPitchLoweringCycles;
        ac.bankStep = (0.0 - ac.bank) / kPitchLoweringCycles;
    }
    ac.touchdown = true;
    ac.altitudeStep = 0.0;
    ac.groundStage = 1;
    ac.verticalSpeed = 0.0;
    ++figures_.landed;
    startRollOut(ac);
}

void LiveEngine::startRollOut(LiveAircraft& ac) {
    // Whether the reports say so yet or not, an aircraft that just touched down rolls out.
    setPhase(ac, FlightPhase::Taxi);
    ac.rollOut = true;
    ac.rollOutPending = false;
    AiCommands& cmd = world_.commands();
    cmd.setThrottle(ac.controls, 3);
    cmd.setSpoilers(ac.controls, true);
    cmd.setFlaps(ac.controls, 1);
    cmd.setLights(ac.controls, {.nav = true,
                                .beacon = true,
                                .landing = true,
                                .taxi = true,
                                .strobes = true,
                                .logo = true,
                                .cabin = false});
    ac.timerA = 5000;
    ac.timerB = 3000;
}

}  // namespace wnd
