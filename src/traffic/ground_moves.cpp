// Ground movement of live aircraft: the planning of each ground segment (corner curves and
// speed changes), leaving a stand by push-back or pull-out, the drive onto a stand and the
// start of the take-off roll. The per-cycle move along a curve is here too.
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
constexpr double kSamePointNm = 0.00027;  // half a metre
constexpr double kCornerMinTurn = 3.0 * kDeg2Rad;
constexpr double kCurveMaxTurn = 160.0 * kDeg2Rad;
constexpr double kLongCornerNm = 0.02699784017278618;  // 50 m
constexpr double kSpeedChangeNm = 100.0 / kMetresPerNm;
constexpr double kParkTryNm = 0.018898488120950324;  // 35 m
constexpr double kOnStandSpeedKt = 8.0;
constexpr double kCornerMaxKt = 40.0;
constexpr double kCornerAheadRad = 45.0 * kDeg2Rad;
// Steering toward a curve's tangent may run this much above the curve's own turn, so a
// heading that lags behind catches up.
constexpr double kCatchUpTurn = 1.08;

LocalXY along(double bearing, double m) {
    return {std::cos(bearing) * m, std::sin(bearing) * m};
}

LocalXY plus(const LocalXY& a, const LocalXY& b) {
    return {a.north + b.north, a.east + b.east};
}

bool leaving(const LiveAircraft& ac) {
    return ac.previousPhase == FlightPhase::Parked ||
           ac.previousPhase == FlightPhase::PushingBack ||
           ac.previousPhase == FlightPhase::PushedBack;
}
}  // namespace

void LiveEngine::insertMidpoint(LiveAircraft& ac) {
    const StreamPoint& a = ac.stream[0];
    const StreamPoint& b = ac.stream[1];
    StreamPoint m = a;
    m.lat = (a.lat + b.lat) / 2.0;
    m.lon = (a.lon + b.lon) / 2.0;
    m.dueCycle = static_cast<std::int32_t>(
        std::lround((static_cast<double>(a.dueCycle) + static_cast<double>(b.dueCycle)) / 2.0));
    m.groundSpeed = (a.groundSpeed + b.groundSpeed) / 2.0;
    m.altitude = (a.altitude + b.altitude) / 2.0;
    m.airborne = m.altitude > 0.0 && a.airborne && b.airborne;
    if (!m.airborne) {
        m.altitude = 0.0;
    }
    m.groundHold = false;
    m.headingGiven = false;
    ac.stream.insert(ac.stream.begin() + 1, m);
}

void LiveEngine::startCurve(LiveAircraft& ac, const LatLon& corner, StreamPoint& end, bool reverse,
                            double speedKt) {
    GroundCurve& c = ac.curve;
    c = {};
    c.origin = {ac.lat, ac.lon};
    c.corner = gf_toLocal(c.origin, corner);
    c.end = gf_toLocal(c.origin, {end.lat, end.lon});
    c.reverse = reverse;
    c.metresPerCycle = std::max(speedKt, 1.0) * kMetresPerNm / kCyclesPerHour;
    c.turnPerCycle = ac.turnRate;
    c.active = true;
    const std::int32_t n = gf_curveCycles(c);
    end.dueCycle = std::max(end.dueCycle, cycle() + std::max(n, 25));
    ac.segmentEnd = end.dueCycle;
    ac.latStep = 0.0;
    ac.lonStep = 0.0;
    ac.headingStep = 0.0;
    ac.altitudeStep = 0.0;
    ac.pitchStep = ac.pitchLowering ? ac.pitchStep : 0.0;
    ac.steering = false;
    ac.trueAirspeed = speedKt;
}

void LiveEngine::moveOnCurve(LiveAircraft& ac) {
    GroundCurve& c = ac.curve;
    c.t = std::min(c.t + gf_curveStep(c, c.t), kCurveEnd);
    const LocalXY p = gf_curvePoint(c, c.t);
    const LocalXY d = gf_curveTangent(c, c.t);
    if (!std::isfinite(p.north) || !std::isfinite(p.east)) {
        gf_logWarning("{} error in curve at index: {:.2F}", ac.callsign, c.t);
        c.active = false;
        return;
    }
    const LatLon ll = gf_fromLocal(c.origin, c.t >= kCurveEnd ? c.end : p);
    ac.lat = ll.lat;
    ac.lon = ll.lon;
    if (d.north * d.north + d.east * d.east > 1e-12) {
        const double want = gf_wrap2Pi(std::atan2(d.east, d.north) + (c.reverse ? kPi : 0.0));
        const double limit = kCatchUpTurn * c.turnPerCycle;
        ac.heading =
            gf_wrap2Pi(ac.heading + std::clamp(gf_wrapPi(want - ac.heading), -limit, limit));
    }
    if (c.t >= kCurveEnd) {
        c.active = false;
    }
}

bool LiveEngine::nextPosGround(LiveAircraft& ac) {
    ac.curve.active = false;
    ac.turnRate = gf_baseTurnRate(ac.categoryId());
    if (ac.phase == FlightPhase::PushingBack) {
        return pushBackSegment(ac);
    }
    if (ac.stream[1].airborne || ac.stream[1].groundHold) {
        return false;
    }
    const LatLon here{ac.lat, ac.lon};
    // Onto the stand: a curve that ends on the stand's axis with the stand's heading.
    if (ac.phase == FlightPhase::Parking && ac.hasStand &&
        gf_distanceNm({ac.stream[1].lat, ac.stream[1].lon}, {ac.standLat, ac.standLon}) <
            kSamePointNm) {
        return driveOntoStand(ac);
    }
    // An arrival whose reports end standing near a stand parks there.
    if (ac.phase == FlightPhase::Taxi && !ac.towed && parkStands() != nullptr && !leaving(ac) &&
        ac.stream.back().groundHold) {
        const StreamPoint& last = ac.stream.back();
        const bool near = ac.stream[1].groundSpeed <= 5.0 &&
                          gf_distanceNm(here, {last.lat, last.lon}) <= kParkTryNm;
        if ((ac.respawnCount == 0 && near && try2Park(ac, true)) ||
            (ac.respawnCount > 0 && try2Park(ac, ac.landed))) {
            return ac.stream.size() >= 2 && nextPosGround(ac);
        }
    }
    const StreamPoint& cur = ac.stream[0];
    const StreamPoint& next = ac.stream[1];
    const LatLon corner{next.lat, next.lon};
    const double leg1 = gf_distanceNm(here, corner);
    if (leg1 < kSamePointNm) {
        return false;
    }
    if (ac.stream.size() >= 3 && !ac.stream[2].groundHold && !ac.stream[2].airborne) {
        StreamPoint& after = ac.stream[2];
        const LatLon to{after.lat, after.lon};
        const double leg2 = gf_distanceNm(corner, to);
        const double turn = std::abs(gf_wrapPi(gf_bearing(corner, to) - gf_bearing(here, corner)));
        // Corners are taxi corners: not at roll-out speeds, and only ahead of the nose.
        const bool taxiCorner =
            !ac.rollOut && next.groundSpeed <= kCornerMaxKt &&
            std::abs(gf_wrapPi(gf_bearing(here, corner) - ac.heading)) <= kCornerAheadRad;
        if (leg2 >= kSamePointNm && turn > kCornerMinTurn && taxiCorner) {
            if (turn > 45.0 * kDeg2Rad && leg1 > kLongCornerNm && next.groundSpeed <= 43.0 &&
                next.dueCycle - cur.dueCycle >= 600) {
                insertMidpoint(ac);  // slow down before the corner
                setUpSegment(ac, ac.stream[1]);
                return true;
            }
            if (turn <= kCurveMaxTurn) {
                if (after.groundSpeed <= 0.0) {
                    after.groundSpeed = (cur.groundSpeed + next.groundSpeed) / 2.0;
                }
                const double arcNm = (leg1 + leg2 + gf_distanceNm(here, to)) / 2.0;
                const std::int32_t due = planDue(ac, cur, after, arcNm);
                const double kt = arcNm * kCyclesPerHour / std::max(1, due - cycle());
                if (turn >= kPi / 2.0) {
                    ac.timerA = std::max(ac.timerA, 2000);
                    ac.timerB = std::max(ac.timerB, 2000);
                }
                after.dueCycle = due;
                startCurve(ac, corner, after, false, kt);
                if (ac.rollOut && after.groundSpeed < 30.0) {
                    ac.rollOut = false;
                }
                ac.stream.erase(ac.stream.begin() + 1);
                return true;
            }
        }
    }
    if (std::abs(cur.groundSpeed - next.groundSpeed) > 5.0 && leg1 >= kSpeedChangeNm &&
        !ac.rollOut) {
        insertMidpoint(ac);
        setUpSegment(ac, ac.stream[1]);
        return true;
    }
    return false;
}

bool LiveEngine::driveOntoStand(LiveAircraft& ac) {
    StreamPoint& onStand = ac.stream[1];
    const LatLon here{ac.lat, ac.lon};
    const LocalXY s = gf_toLocal(here, {ac.standLat, ac.standLon});
    const double dist = std::hypot(s.north, s.east);
    const LocalXY axis = along(ac.standHeading, 1.0);
    const LocalXY dir = along(ac.heading, 1.0);
    // The control point where the aircraft's heading meets the stand's axis behind the stand:
    // the curve then leaves along the heading and arrives along the axis.
    LocalXY corner = plus(s, along(ac.standHeading + kPi, std::clamp(dist / 2.0, 5.0, 60.0)));
    const double det = dir.north * axis.east - dir.east * axis.north;
    if (std::abs(det) > 0.05) {
        const double u = (s.north * axis.east - s.east * axis.north) / det;
        const double v = (dir.north * s.east - dir.east * s.north) / det;
        if (u > 1.0 && v > 1.0 && u < 3.0 * dist && v < 3.0 * dist) {
            corner = {dir.north * u, dir.east * u};
        }
    }
    const double kt = std::min(ac.taxiSpeedKt, kOnStandSpeedKt);
    onStand.dueCycle = cycle();
    startCurve(ac, gf_fromLocal(here, corner), onStand, false, kt);
    onStand.dueCycle = std::max(onStand.dueCycle, cycle() + 100);
    ac.segmentEnd = onStand.dueCycle;
    if (ac.stream.size() >= 3) {
        ac.stream[2].dueCycle = onStand.dueCycle + 50;
    }
    ac.targetBearing = ac.standHeading;
    return true;
}

void LiveEngine::drive2Stand(LiveAircraft& ac, const StandRecord& s) {
    if (ac.stream.empty()) {
        gf_logWarning("{} empty sz?", "drive2Stand");
        return;
    }
    StreamPoint& newest = ac.stream.back();
    newest.groundSpeed = ac.taxiSpeedKt;
    newest.groundHold = false;
    const double nm = gf_distanceNm({newest.lat, newest.lon}, {s.lat, s.lon});
    StreamPoint at = newest;
    at.lat = s.lat;
    at.lon = s.lon;
    at.heading = s.heading;
    at.headingGiven = true;
    at.track = s.heading * kRad2Deg;
    at.airborne = false;
    at.dueCycle = newest.dueCycle + gf_segmentCycles(nm, ac.taxiSpeedKt, 100);
    StreamPoint hold = at;
    hold.groundSpeed = 0.0;
    hold.groundHold = true;
    hold.dueCycle = at.dueCycle + 50;
    ac.stream.push_back(at);
    ac.stream.push_back(hold);
    ac.targetBearing = s.heading;
    ac.respawnCount = 0;
    ac.timerA = 3000;
    ac.timerB = 3000;
}

}  // namespace wnd
