// The per-cycle update of one live aircraft: segments, their timing, the move of one
// cycle, the ground under it, and the stream's extension when reports run out.
#include <algorithm>
#include <cmath>
#include <exception>

#include "airports/stand_learning.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "traffic/engine.h"
#include "traffic/ground.h"
#include "traffic/motion.h"
#include "util/log.h"

namespace wnd {

namespace {
constexpr double kSamePositionDeg = 1e-8;
constexpr int kMinSegmentCycles = 25;
// An aircraft behind its data catches up at most this much faster than its speed.
constexpr double kCatchUpFactor = 1.25;
constexpr int kExtensionCycles = 400;
// Reports that stop for longer than this (in extensions) end an airborne aircraft.
constexpr int kMaxAirExtensions = 15;
constexpr double kTaxiMaxKt = 45.0;
constexpr double kRollMaxKt = 190.0;
constexpr double kCreepKt = 5.0;
// A taxi reported without speeds: how far off the heading the next report may lie, and how
// much faster than the category's usual taxi speed its pace is believed.
constexpr double kOnItsWayRad = 45.0 * kDeg2Rad;
constexpr double kPacedTaxiFactor = 2.0;
constexpr double kPaceRiseKt = 10.0;
constexpr double kTaxiAccelKtS = 2.0;
constexpr double kTurnFirstRad = 30.0 * kDeg2Rad;
constexpr double kTurnFirstMaxKt = 25.0;
constexpr double kPassedSeconds = 3.0;
constexpr double kPassedMinNm = 15.0 / kMetresPerNm;
constexpr double kTakeOffAccelKtS = 4.0;
}  // namespace

double LiveEngine::groundLevel(const LiveAircraft& ac) const {
    if (ac.groundAltitudeKnown) {
        return ac.groundAltitudeFt;
    }
    if (park_) {
        return park_->elevationFt;
    }
    return std::nan("");
}

void LiveEngine::resetPoseFromStream(LiveAircraft& ac) {
    if (ac.stream.empty()) {
        return;
    }
    const StreamPoint& p = ac.stream.front();
    ac.lat = p.lat;
    ac.lon = p.lon;
    ac.heading = gf_wrap2Pi(p.headingGiven ? p.heading : p.track * kDeg2Rad);
    if (ac.stream.size() > 1) {
        const StreamPoint& q = ac.stream[1];
        if (gf_distanceNm({p.lat, p.lon}, {q.lat, q.lon}) > 0.002 && !p.headingGiven) {
            ac.heading = gf_bearing({p.lat, p.lon}, {q.lat, q.lon});
        }
    }
    ac.bank = 0.0;
    ac.trueAirspeed = p.groundHold ? 0.0 : p.groundSpeed;
    if (p.airborne) {
        ac.altitude = p.altitude;
        ac.verticalSpeed = p.verticalRate / 60.0;
        const double v = std::clamp(p.verticalRate, -3000.0, 2400.0);
        ac.pitch = (-3.0 - (v < 0 ? v / 2.0 : v) / 600.0 * 2.2) * kDeg2Rad;
        ac.touchdown = false;
        ac.groundStage = 0;
    } else {
        const double g = groundLevel(ac);
        ac.altitude = std::isnan(g) ? std::max(0.0, p.altitude) : g + ac.staticCgFt;
        ac.verticalSpeed = 0.0;
        ac.pitch = ac.staticPitch;
        ac.touchdown = true;  // born on the ground: it stays there until it lifts off
        ac.groundStage = 2;
    }
    ac.segmentEnd = cycle();
}

std::int32_t LiveEngine::planDue(LiveAircraft& ac, const StreamPoint& from, const StreamPoint& to,
                                 double distanceNm) {
    const std::int32_t now = cycle();
    const CategoryLimits& lim = gf_limits(ac.categoryId());
    // A ground point reported without a speed, followed by one with a speed (the first
    // airborne report after a take-off run): the speed the aircraft has, not 0.
    const bool fromUnknown = from.groundSpeed <= 0.0 && !from.airborne && to.groundSpeed > 0.0;
    double speed = ((fromUnknown ? ac.trueAirspeed : from.groundSpeed) + to.groundSpeed) / 2.0;
    if (speed <= 0.0) {
        speed = std::max(1.0, distanceNm * kCyclesPerHour /
                                  std::max(kMinSegmentCycles, to.dueCycle - from.dueCycle));
        // On the ground by both reports without a speed: a taxi when the aircraft goes on the
        // way it is heading, at the pace of its reports; otherwise (a standing aircraft's
        // position jumping between receivers) a slow creep, never a dash.
        if (!from.airborne && !to.airborne) {
            const double off =
                std::abs(gf_wrapPi(gf_bearing({ac.lat, ac.lon}, {to.lat, to.lon}) - ac.heading));
            const bool onItsWay = ac.trueAirspeed >= 1.0 && off <= kOnItsWayRad;
            // A pace beyond taxi speeds is believed as it builds up (a take-off run).
            const double believed =
                std::max(kPacedTaxiFactor * ac.taxiSpeedKt, ac.trueAirspeed + kPaceRiseKt);
            if (!(onItsWay && ac.takeOffRoll)) {
                speed = std::min(speed, onItsWay ? believed : kCreepKt);
            }
        }
    }
    if (ac.landingSequence && !to.airborne) {
        speed = from.groundSpeed > 0.0 ? from.groundSpeed : 100.0;
    }
    // Absurd reported speeds are credible speeds of the aircraft's kind.
    if (to.airborne && !ac.touchdown) {
        speed = std::clamp(speed, std::max(1.0, lim.minAirSpeedKt), lim.maxSpeedKt);
    } else {
        speed = std::clamp(speed, 1.0, (ac.rollOut || ac.takeOffRoll) ? kRollMaxKt : kTaxiMaxKt);
    }
    // On the ground an aircraft gathers speed as one does: from a standstill it does not cover
    // the next stretch at the speed of the report after it.
    const bool ground = !to.airborne || ac.touchdown;
    if (ground) {
        const double accel = ac.takeOffRoll ? kTakeOffAccelKtS : kTaxiAccelKtS;
        const double v0 = ac.trueAirspeed;
        const double reach = (v0 + std::sqrt(v0 * v0 + 4.0 * accel * distanceNm * 3600.0)) / 2.0;
        speed = std::clamp(speed, 1.0, std::max(reach, 1.0));
    }
    ac.trueAirspeed = speed;
    const auto n = static_cast<std::int32_t>(std::lround(distanceNm * kCyclesPerHour / speed));
    std::int32_t due = now + std::max(n, kMinSegmentCycles);
    if (ac.respawnCount == 0) {
        due = std::clamp(due, to.dueCycle - ac.timerA,
                         std::max(to.dueCycle - ac.timerA, to.dueCycle + ac.timerB));
    }
    // Never faster than the catch-up allows: a late aircraft flies on, it does not jump.
    const auto fastest = static_cast<std::int32_t>(
        std::ceil(distanceNm * kCyclesPerHour / (speed * kCatchUpFactor)));
    due = std::max({due, now + fastest, now + 1});
    if (ground) {
        // The speed the aircraft shows is the one it moves at.
        ac.trueAirspeed = std::min(speed, distanceNm * kCyclesPerHour / (due - now));
    }
    return due;
}

void LiveEngine::setUpSegment(LiveAircraft& ac, StreamPoint& next) {
    const StreamPoint& cur = ac.stream.front();
    ac.steering = false;
    if (std::abs(next.lat - ac.lat) < kSamePositionDeg &&
        std::abs(next.lon - ac.lon) < kSamePositionDeg) {
        next.groundHold = !next.airborne || ac.touchdown;
    }
    if (next.groundHold) {
        ac.latStep = 0.0;
        ac.lonStep = 0.0;
        ac.headingStep = 0.0;
        ac.altitudeStep = ac.flareStage > 0 ? ac.altitudeStep : 0.0;
        next.dueCycle = std::max(next.dueCycle, cycle() + kMinSegmentCycles);
        if (!ac.landingSequence) {
            ac.timerA = std::max(1000, ac.timerA - 100);
            ac.timerB = std::max(1000, ac.timerB - 100);
        }
        ac.segmentEnd = next.dueCycle;
        return;
    }
    const LatLon here{ac.lat, ac.lon};
    const LatLon there{next.lat, next.lon};
    const double distance = gf_distanceNm(here, there);
    next.dueCycle = planDue(ac, cur, next, distance);
    const int n = std::max(1, next.dueCycle - cycle());
    ac.targetBearing = distance > 1e-6 ? gf_bearing(here, there) : ac.heading;
    ac.latStep = (next.lat - ac.lat) / n;
    ac.lonStep = gf_wrapPi((next.lon - ac.lon) * kDeg2Rad) * kRad2Deg / n;
    ac.segmentEnd = next.dueCycle;
    // Only a take-off run lifts off: a roll-out's reports that still say airborne do not.
    const bool liftingOff = ac.touchdown && next.airborne && ac.takeOffRoll && !ac.rollOut &&
                            !ac.rollOutPending && !ac.pitchLowering;
    if (liftingOff) {
        StreamPoint ground = cur;
        ground.airborne = false;
        airborneSegment(ac, ground, next);
    } else if (ac.touchdown) {
        groundSegment(ac, cur, next);
    } else {
        airborneSegment(ac, cur, next);
    }
}

void LiveEngine::groundSegment(LiveAircraft& ac, const StreamPoint& /*cur*/, StreamPoint& next) {
    ac.altitudeStep = 0.0;
    ac.pitchStep = ac.pitchLowering ? ac.pitchStep : 0.0;
    ac.headingStep = 0.0;
    ac.steering = true;
    ac.turnRate = gf_baseTurnRate(ac.categoryId());
    ac.maxTurnPerCycle = ac.turnRate;
    // A short hop says little about the direction: keep the heading.
    if (gf_distanceNm({ac.lat, ac.lon}, {next.lat, next.lon}) < 0.0011) {
        ac.steering = false;
    }
    if (ac.rollOut && next.groundSpeed < 30.0 && !next.airborne) {
        ac.rollOut = false;
    }
}

void LiveEngine::advanceSegment(LiveAircraft& ac) {
    while (ac.stream.size() >= 2 && !ac.touchdown && ac.stream[1].groundHold &&
           ac.categoryId() != category::kRotorcraft) {
        ac.stream.pop_front();
    }
    if (ac.stream.size() < 2 && !extendStream(ac)) {
        removeAircraftFromSim(ac);
        return;
    }
    if (ac.stream.size() < 2) {
        return;  // parking took the aircraft over
    }
    ac.curve.active = false;
    if (ac.touchdown) {
        dropPassedPoints(ac);
    }
    if (ac.touchdown && nextPosGround(ac)) {
        ac.stream.pop_front();
        return;
    }
    setUpSegment(ac, ac.stream[1]);
    ac.stream.pop_front();
}

void LiveEngine::dropPassedPoints(LiveAircraft& ac) {
    if (ac.phase != FlightPhase::Taxi && ac.phase != FlightPhase::TakeOff) {
        return;
    }
    // Points close behind the aircraft were passed already (it runs ahead of its data, or
    // the reports are noisy): going back to them would be a drive backwards.
    const LatLon here{ac.lat, ac.lon};
    const double passed = std::max(kPassedMinNm, ac.trueAirspeed * kPassedSeconds / 3600.0);
    while (ac.stream.size() > 2) {
        const StreamPoint& n = ac.stream[1];
        if (n.groundHold || n.airborne) {
            break;
        }
        const LatLon p{n.lat, n.lon};
        if (gf_distanceNm(here, p) >= passed ||
            std::abs(gf_wrapPi(gf_bearing(here, p) - ac.heading)) <= kPi / 2.0) {
            break;
        }
        ac.stream.erase(ac.stream.begin() + 1);
    }
}

bool LiveEngine::extendStream(LiveAircraft& ac) {
    if (ac.stream.empty()) {
        return false;
    }
    const StreamPoint newest = ac.stream.back();
    if (ac.touchdown && ac.phase == FlightPhase::PushingBack) {
        pushedBack(ac);
        StreamPoint hold = newest;
        hold.lat = ac.lat;
        hold.lon = ac.lon;
        hold.dueCycle = cycle() + 300;
        hold.groundSpeed = 0.0;
        hold.groundHold = true;
        ac.stream.push_back(hold);
        return true;
    }
    const bool taxiing =
        (ac.phase == FlightPhase::Taxi && !ac.rollOut) || ac.phase == FlightPhase::PushedBack;
    if (ac.touchdown && taxiing) {
        const bool leaving = ac.phase == FlightPhase::PushedBack ||
                             ac.previousPhase == FlightPhase::Parked ||
                             ac.previousPhase == FlightPhase::PushingBack ||
                             ac.previousPhase == FlightPhase::PushedBack;
        if (!leaving && !ac.towed && try2Park(ac, ac.respawnCount > 0 ? ac.landed : true)) {
            return true;
        }
        const double half = gf_halfWingspan(ac.model);
        for (const LiveAircraft& o : live_) {
            if (&o == &ac || o.state != LiveState::Active || !o.touchdown ||
                o.phase != FlightPhase::Taxi) {
                continue;
            }
            if (gf_distanceNm({ac.lat, ac.lon}, {o.lat, o.lon}) <
                1.2 * (half + gf_halfWingspan(o.model))) {
                return false;
            }
        }
        if (gs().AIRBORNE_ONLY.value() && ac.holding) {
            return false;
        }
        if (!ac.holding) {
            ac.holding = true;
            ac.holdingSince = cycle();
        }
        if ((cycle() - ac.holdingSince) / 6000.0 > gs().MAX_HOLDING_MINUTES.value()) {
            return false;
        }
        StreamPoint hold = newest;
        hold.dueCycle = cycle() + 300;
        hold.groundSpeed = 0.0;
        hold.groundHold = true;
        ac.stream.push_back(hold);
        ac.respawnCount = 1;
        return true;
    }
    if (ac.phase == FlightPhase::Parking) {
        return parkingEnd(ac);
    }
    if (ac.touchdown) {
        // A roll-out or a parked aircraft whose reports ended: it stands where it is.
        StreamPoint hold = newest;
        hold.lat = ac.lat;
        hold.lon = ac.lon;
        hold.dueCycle = cycle() + 300;
        hold.groundSpeed = 0.0;
        hold.groundHold = true;
        ac.rollOut = false;
        if (++ac.extensionCount > 200) {
            return false;
        }
        ac.stream.push_back(hold);
        if (ac.phase == FlightPhase::Parked) {
            learnStand(ac, static_cast<int>(StandSeen::Extended));
        }
        return true;
    }
    const LatLon user{user_.latitude, user_.longitude};
    const double range = gs().RANGE.value();
    if (gf_distanceNm(user, {ac.lat, ac.lon}) > range - 0.5) {
        return false;
    }
    // Reports stopped in the air: fly on along the heading, level, for a while.
    if (++ac.extensionCount > kMaxAirExtensions) {
        return false;
    }
    StreamPoint on = newest;
    const double speed = std::max(ac.trueAirspeed, gf_limits(ac.categoryId()).minAirSpeedKt);
    const double feet = speed * kFeetPerNm / kCyclesPerHour * kExtensionCycles;
    const LatLon p = gf_destinationPoint({ac.lat, ac.lon}, ac.heading, feet);
    on.lat = p.lat;
    on.lon = p.lon;
    on.altitude = ac.altitude;
    on.verticalRate = 0.0;
    on.groundSpeed = speed;
    on.track = ac.heading * kRad2Deg;
    on.headingGiven = false;
    on.bankGiven = false;
    on.dueCycle = cycle() + kExtensionCycles;
    ac.stream.push_back(on);
    return true;
}

void LiveEngine::clampToGround(LiveAircraft& ac) {
    const double g = groundLevel(ac);
    if (std::isnan(g)) {
        return;
    }
    const double floor = g + ac.staticCgFt;
    if (ac.touchdown) {
        ac.altitude = floor;
        ac.verticalSpeed = 0.0;
        return;
    }
    if (ac.altitude < floor) {
        ac.altitude = floor;
        ac.verticalSpeed = 0.0;
        if (ac.landingSequence || ac.flareStage > 0 ||
            (!ac.stream.empty() && !ac.stream.front().airborne)) {
            touchdown(ac);
        }
    }
}

void LiveEngine::sendPosition(const LiveAircraft& ac) {
    PositionCommand c;
    c.position = {ac.lat,     ac.lon,      ac.pitch,         ac.bank,
                  ac.heading, ac.altitude, ac.verticalSpeed, ac.trueAirspeed};
    c.objectId = ac.objectId();
    world_.queues().addPosition(c);
}

bool LiveEngine::updateLiveAc(LiveAircraft& ac) {
    try {
        if (ac.state == LiveState::Buffer) {
            bufferRules(ac);
            return ac.removeNow || ac.dropped;
        }
        if (ac.state != LiveState::Active) {
            return ac.removeNow || ac.dropped;
        }
        if (ac.stream.empty()) {
            gf_logWarning(
                "{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, "
                "lalo:{:.6f},{:.6f}, TAS:{:.0f}",
                "updateLiveAc", ac.ident(), ac.aircraftId, ac.objectId(), ac.altitude, ac.lat,
                ac.lon, ac.trueAirspeed);
            removeAircraftFromSim(ac);
            return ac.removeNow || ac.dropped;
        }
        if (cycle() - ac.stream.front().dueCycle >= 0) {
            advanceSegment(ac);
            if (ac.state != LiveState::Active || ac.stream.empty()) {
                return ac.removeNow || ac.dropped;
            }
            const StreamPoint& front = ac.stream.front();
            ac.verticalSpeed = ac.touchdown ? 0.0 : front.verticalRate / 60.0;
            if (front.groundHold) {
                ac.trueAirspeed = 0.0;
            }
        }
        if (!ac.stream.front().groundHold) {
            moveOneCycle(ac);
        } else if (ac.flareStage > 0 || ac.pitchLowering) {
            flare(ac);
        } else if (ac.phase == FlightPhase::Parking && ac.hasStand) {
            // On the stand: the last degrees of the turn onto the stand's heading.
            const double diff = gf_wrapPi(ac.standHeading - ac.heading);
            ac.heading = gf_wrap2Pi(ac.heading + std::clamp(diff, -ac.turnRate, ac.turnRate));
        }
        clampToGround(ac);
        if (ac.objectId() != 0) {
            sendPosition(ac);
        } else {
            gf_logWarning("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc",
                          ac.aircraftId, ac.callsign, ac.registration, ac.model, ac.stream.size());
            removeAircraftFromSim(ac);
        }
    } catch (const std::exception& e) {
        gf_logWarning("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(), ac.ident(),
                      ac.stream.size(), gf_flightPhaseName(ac.phase), gf_liveStateName(ac.state));
    }
    return ac.removeNow || ac.dropped;
}

void LiveEngine::moveOneCycle(LiveAircraft& ac) {
    if (ac.curve.active) {
        moveOnCurve(ac);
        flare(ac);
        return;
    }
    bool turningFirst = false;
    if (ac.steering || ac.phase == FlightPhase::Parking) {
        const double diff = gf_wrapPi(ac.targetBearing - ac.heading);
        if (std::abs(diff) > 0.5 * kDeg2Rad) {
            ac.heading += std::clamp(diff, -ac.maxTurnPerCycle, ac.maxTurnPerCycle);
        }
        // On the ground a wheeled aircraft goes where its nose points: far off its way, it
        // turns before it rolls rather than sliding sideways.
        turningFirst =
            ac.touchdown && ac.trueAirspeed <= kTurnFirstMaxKt && std::abs(diff) > kTurnFirstRad;
    } else {
        ac.heading += ac.headingStep;
    }
    ac.heading = gf_wrap2Pi(ac.heading);
    // Never step past the segment's point: a segment that ends early just waits there.
    if (cycle() - ac.segmentEnd < 0 && ac.phase != FlightPhase::PushedBack && !turningFirst) {
        ac.lat += ac.latStep;
        ac.lon += ac.lonStep;
    }
    if (!ac.touchdown) {
        ac.bank +=
            std::clamp(ac.targetBank - ac.bank, -std::abs(ac.bankStep), std::abs(ac.bankStep));
    }
    flare(ac);
}

}  // namespace wnd
