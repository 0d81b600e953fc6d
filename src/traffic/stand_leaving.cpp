// Leaving a stand: push-back (straight back, then a turn to the side the reports show, or
// straight on with STRAIGHT_PBS_ONLY), the wait of a pushed-back aircraft for its reports
// to taxi away, pull-out, and the start of the take-off roll.
#include <algorithm>
#include <cmath>

#include "refdata/dbase.h"
#include "settings/settings.h"
#include "traffic/engine.h"
#include "traffic/ground.h"
#include "traffic/motion.h"
#include "util/log.h"

namespace wnd {

namespace {
constexpr double kMinPushM = 10.0;
constexpr double kMaxPushM = 100.0;
// A report this far to the side of the push line shows the way the tail swings.
constexpr double kSideShownM = 3.0;

StreamPoint pointAt(const StreamPoint& like, const LatLon& p, double kt, std::int32_t due) {
    StreamPoint q = like;
    q.lat = p.lat;
    q.lon = p.lon;
    q.groundSpeed = kt;
    q.groundHold = false;
    q.airborne = false;
    q.headingGiven = false;
    q.bankGiven = false;
    q.dueCycle = due;
    return q;
}
}  // namespace

bool LiveEngine::leaveStand(LiveAircraft& ac, const StreamPoint& p) {
    const LatLon stand{ac.standLat, ac.standLon};
    const LatLon here{ac.lat, ac.lon};
    const double off = std::abs(gf_wrapPi(gf_bearing(stand, {p.lat, p.lon}) - ac.standHeading));
    const StandRecord* s = standByNumber(ac.standIndex);
    const double standM = (s != nullptr ? s->radiusNm : gf_halfWingspan(ac.model)) * kMetresPerNm;
    const double halfM = gf_halfWingspan(ac.model) * kMetresPerNm;
    StreamPoint front = ac.stream.empty() ? p : ac.stream.front();
    front.lat = ac.lat;
    front.lon = ac.lon;
    front.groundHold = false;
    front.dueCycle = cycle();
    ac.stream.clear();
    ac.stream.push_back(front);
    ac.curve.active = false;
    AiCommands& cmd = world_.commands();
    if (off < kPi / 2.0) {
        // Ahead on the heading, short of where the report already is: never beyond it.
        const LocalXY r = gf_toLocal(here, {p.lat, p.lon});
        const double onHeading = r.north * std::cos(ac.heading) + r.east * std::sin(ac.heading);
        const double m = std::clamp(onHeading / 2.0, 3.0, std::max(3.0, 2.0 * standM));
        const LatLon ahead = gf_destinationPoint(here, ac.heading, m / kMetresPerNm * kFeetPerNm);
        ac.stream.push_back(pointAt(p, ahead, ac.taxiSpeedKt,
                                    cycle() + gf_segmentCycles(m / kMetresPerNm, ac.taxiSpeedKt)));
        gf_logLine("{:8}: {:8} pulling out", standName(ac), ac.callsign);
        freeStand(ac);
        setPhase(ac, FlightPhase::Taxi);
        ac.targetBearing = ac.heading;
        Lights l;
        l.nav = true;
        l.beacon = true;
        l.taxi = true;
        l.logo = true;
        cmd.setLights(ac.controls, l);
        cmd.startEngines(ac.controls);
        cmd.setThrottle(ac.controls, 0);
        cmd.setFlaps(ac.controls, 1);
        return true;
    }
    // Straight back along the stand's axis, then (when the reports show a side) a quarter turn
    // whose legs are a half wingspan long, at least 15 m.
    const double push = ac.standHeading + kPi;
    const double turnM = std::max(halfM, 15.0);
    const double straightM = std::clamp(2.5 * standM - turnM, kMinPushM, kMaxPushM);
    ac.pushCorner = gf_destinationPoint(here, push, straightM / kMetresPerNm * kFeetPerNm);
    const LatLon end = gf_destinationPoint(ac.pushCorner, push, turnM / kMetresPerNm * kFeetPerNm);
    const std::int32_t n1 = gf_segmentCycles(straightM / kMetresPerNm, kPushSpeedKt);
    const std::int32_t n2 = gf_segmentCycles(turnM / kMetresPerNm, kPushSpeedKt);
    ac.stream.push_back(pointAt(p, ac.pushCorner, kPushSpeedKt, cycle() + n1));
    ac.stream.push_back(pointAt(p, end, kPushSpeedKt, cycle() + n1 + n2));
    setPhase(ac, FlightPhase::PushingBack);
    ac.pushCountdown = 2;
    ac.pushSide = 0;
    ac.pushSideKnown = gs().STRAIGHT_PBS_ONLY.value();
    ac.targetBearing = ac.heading;
    Lights l;
    l.nav = true;
    l.beacon = true;
    l.logo = true;
    cmd.setLights(ac.controls, l);
    gf_logLine("{:8}: {:8} pushing back", standName(ac), ac.callsign);
    // The push follows its own plan; reports during it only tell the side of the turn.
    notePushSide(ac, p);
    return false;
}

void LiveEngine::notePushSide(LiveAircraft& ac, const StreamPoint& p) {
    if (ac.pushSideKnown) {
        return;
    }
    // Which side of the push line the report lies on: the tail swings that way.
    const double push = ac.standHeading + kPi;
    const LocalXY r = gf_toLocal({ac.standLat, ac.standLon}, {p.lat, p.lon});
    const double lateral = -r.north * std::sin(push) + r.east * std::cos(push);
    if (std::abs(lateral) >= kSideShownM) {
        ac.pushSide = lateral > 0.0 ? 1 : -1;
        ac.pushSideKnown = true;
    }
}

// A push-back segment: straight back to the corner, then the turn (or straight on).
bool LiveEngine::pushBackSegment(LiveAircraft& ac) {
    if (ac.stream.size() < 2 || ac.pushCountdown < 1) {
        return false;
    }
    StreamPoint& next = ac.stream[1];
    const LatLon here{ac.lat, ac.lon};
    if (ac.pushCountdown == 1 && ac.pushSide != 0) {
        const double push = ac.standHeading + kPi;
        const double legFt = gf_distanceNm(ac.pushCorner, {next.lat, next.lon}) * kFeetPerNm;
        const LatLon corner = gf_destinationPoint(ac.pushCorner, push, legFt);
        const LatLon end = gf_destinationPoint(corner, push + ac.pushSide * kPi / 2.0, legFt);
        next.lat = end.lat;
        next.lon = end.lon;
        next.dueCycle = cycle();
        startCurve(ac, corner, next, true, kPushSpeedKt);
        ac.trueAirspeed = kPushSpeedKt;
        --ac.pushCountdown;
        return true;
    }
    const double nm = gf_distanceNm(here, {next.lat, next.lon});
    const std::int32_t n = gf_segmentCycles(nm, kPushSpeedKt);
    next.dueCycle = cycle() + n;
    ac.latStep = (next.lat - ac.lat) / n;
    ac.lonStep = gf_wrapPi((next.lon - ac.lon) * kDeg2Rad) * kRad2Deg / n;
    ac.headingStep = 0.0;
    ac.steering = false;
    ac.altitudeStep = 0.0;
    ac.segmentEnd = next.dueCycle;
    ac.trueAirspeed = kPushSpeedKt;
    --ac.pushCountdown;
    return true;
}

void LiveEngine::pushedBack(LiveAircraft& ac) {
    ac.targetBearing = ac.heading;
    world_.commands().startEngines(ac.controls);
    world_.commands().setThrottle(ac.controls, 0);
    world_.commands().setFlaps(ac.controls, 1);
    setPhase(ac, FlightPhase::PushedBack);
    ac.pushCountdown = 0;
    ac.pushFarthestNm = -1.0;
    ac.respawnCount = 0;
}

bool LiveEngine::pushedBackMayTaxi(LiveAircraft& ac, const StreamPoint& p) {
    const double d = gf_distanceNm({ac.lat, ac.lon}, {p.lat, p.lon});
    const double half = gf_halfWingspan(ac.model);
    if (d > 6.0 * half || (ac.pushFarthestNm >= 0.0 && d > ac.pushFarthestNm + 2.75 * half)) {
        return true;
    }
    ac.pushFarthestNm = std::max(ac.pushFarthestNm, d);
    return false;
}

void LiveEngine::takeOffStart(LiveAircraft& ac) {
    if (ac.towed) {
        gf_logLine("towed aircraft takes-off? {}", ac.callsign);
    }
    ac.takeOffRoll = true;
    AiCommands& cmd = world_.commands();
    cmd.setThrottle(ac.controls, 0);
    cmd.setSpoilers(ac.controls, false);
    cmd.setFlaps(ac.controls, 1);
    ac.landingSequence = false;
    ac.rollOutPending = false;
    ac.rollOut = false;
    ac.pitchLowering = false;
    Lights l{true, true, true, true, true, true, true};
    cmd.setLights(ac.controls, l);
    ac.timerA = 3000;
    ac.timerB = 5000;
}

}  // namespace wnd
