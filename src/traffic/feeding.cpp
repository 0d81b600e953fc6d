// Feeding the engine from RealTraffic's reports: which reports are taken, the birth of a
// record, the respawn and ghost checks, and how an accepted report joins the stream.
#include <algorithm>
#include <cmath>

#include "airports/stand_learning.h"
#include "liveries/matching.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "traffic/engine.h"
#include "traffic/ground.h"
#include "traffic/motion.h"
#include "util/log.h"

namespace wnd {

namespace {

constexpr double kSpeedGapKt = 5.0;
constexpr double kAirRepeatNm = 0.2429805615550756;       // 450 m
constexpr double kGroundRepeatNm = 0.010799136069114472;  // 20 m
constexpr double kStandStayNm = 0.0458963282937365;       // 85 m
constexpr double kStandMoveNm = 0.0016198704103671706;    // 3 m
constexpr double kStandAwayNm = 0.10799136069114472;      // 200 m
constexpr double kSamePositionDeg = 1e-8;
constexpr double kStandingJitterNm = 0.0081;  // 15 m
// Below this a repeated position in the air is a stale report, not a hold.
constexpr double kStaleRepeatDeg = 2e-6;
// Two ground reports this fast start a take-off run.
constexpr double kTakeOffRunKt = 43.0;

StreamPoint lf_pointFrom(const TrafficRecord& r) {
    StreamPoint p;
    p.lat = r.lat;
    p.lon = r.lon;
    p.altitude = r.altitude;
    p.groundSpeed = std::max(0.0, r.groundSpeed);
    p.track = gf_wrapDegrees(r.track);
    p.verticalRate = r.verticalRate;
    p.trueAirspeed = std::max(0.0, r.trueAirspeed);
    p.dueCycle = r.dueCycle;
    p.reportTime = r.timestamp;
    p.airborne = r.airborne;
    p.bank = r.bank;
    p.bankGiven = r.bankValid;
    p.heading = r.trueHeading;
    p.headingGiven = r.trueHeadingValid;
    return p;
}

// The speed a point shows: the reported one, or on the ground without one the distance
// from the point before over the time between their reports.
double lf_shownSpeedKt(const StreamPoint& before, const StreamPoint& p) {
    if (p.airborne || p.groundSpeed >= 1.0 || before.airborne || before.reportTime <= 0.0 ||
        p.reportTime <= before.reportTime) {
        return p.groundSpeed;
    }
    return gf_distanceNm({before.lat, before.lon}, {p.lat, p.lon}) /
           ((p.reportTime - before.reportTime) / 3600.0);
}

double lf_trackDiffDeg(double a, double b) {
    return std::abs(gf_wrapPi((a - b) * kDeg2Rad)) * kRad2Deg;
}

// Hours to cover `nm` at `kt`, in seconds; `fallback` when standing.
double lf_secondsFor(double nm, double kt, double fallback) {
    return kt > 0.0 ? nm / kt * 3600.0 : fallback;
}

}  // namespace

bool LiveEngine::nearParkElevation(double altitude) const {
    const double reference = park_ ? park_->elevationFt : -1000.0;
    return altitude > 0.0 && altitude < 10000.0 && std::abs(altitude - reference) <= 108.0;
}

bool LiveEngine::ignoreReport(const LiveAircraft& ac, const TrafficRecord& r) const {
    const StreamPoint& newest = ac.stream.back();
    const double dt = r.timestamp - ac.lastTimestamp;
    if (dt <= 1.0) {
        return true;
    }
    // Ground reports without a speed are judged by the speed their positions show: a taxi is
    // not thinned to one report in 15 s, a jump of the position is refused, and a take-off
    // run reported so is not taken for a standing aircraft when the airborne reports come.
    const double was = ac.stream.size() >= 2
                           ? lf_shownSpeedKt(ac.stream[ac.stream.size() - 2], newest)
                           : newest.groundSpeed;
    double now = std::max(0.0, r.groundSpeed);
    if (!r.airborne && !newest.airborne && now < 1.0) {
        now = gf_distanceNm({newest.lat, newest.lon}, {r.lat, r.lon}) / (dt / 3600.0);
    }
    if ((was > kSpeedGapKt && now >= 10.0 * was) || (now > kSpeedGapKt && was >= 10.0 * now)) {
        return true;
    }
    if ((was <= kSpeedGapKt && now >= 80.0) || (now <= kSpeedGapKt && was >= 80.0)) {
        return true;
    }
    if (ac.respawnCount < 1) {
        const double turn = lf_trackDiffDeg(gf_wrapDegrees(r.track), newest.track);
        if (r.airborne && now > 120.0 && turn <= 1.0 &&
            dt <= lf_secondsFor(kAirRepeatNm, now, 15.0)) {
            return true;
        }
        if (!r.airborne && now <= 30.0 && turn <= 2.0 &&
            dt <= std::min(lf_secondsFor(kGroundRepeatNm, now, 15.0), 15.0)) {
            return true;
        }
    }
    // A position repeated in the air, or on the ground at speed, is a stale report: rolling
    // or flying on beats stopping dead.
    if (r.airborne == newest.airborne && now >= (r.airborne ? 50.0 : 30.0) &&
        std::abs(r.lat - newest.lat) < kStaleRepeatDeg &&
        std::abs(r.lon - newest.lon) < kStaleRepeatDeg) {
        return true;
    }
    return false;
}

void LiveEngine::feedTrafficRecord(const TrafficRecord& r) {
    LiveAircraft* ac = findById(r.id);
    if (ac == nullptr) {
        if (!r.callsign.empty()) {
            const bool shown = std::any_of(live_.begin(), live_.end(), [&](const LiveAircraft& o) {
                return o.callsign == r.callsign && o.model == r.model;
            });
            if (shown) {
                return;  // a second hex id for a flight already shown
            }
        }
        giveBirth(r);
        return;
    }
    if (ac->state == LiveState::LiveryRespawn || ac->state == LiveState::RemovingFromSim) {
        return;
    }
    if (!ac->stream.empty() && ignoreReport(*ac, r)) {
        return;
    }
    if (ac->state == LiveState::Buffer && nearParkElevation(r.altitude)) {
        return;
    }
    if (!respawnCheck(*ac, r)) {
        return;
    }
    ac->lastTimestamp = r.timestamp;
    feedStream(*ac, lf_pointFrom(r));
}

void LiveEngine::giveBirth(const TrafficRecord& r) {
    if (!gf_isKnownType(r.model)) {
        return;
    }
    const auto cat = static_cast<std::uint32_t>(gf_typeCategory(r.model));
    const Settings& s = gs();
    if ((cat == category::kLight && !s.LIGHT_AIRCRAFT.value()) ||
        (cat == category::kHighPerf && !s.HIGH_PERF_AIRCRAFT.value()) ||
        (cat == category::kRotorcraft && !s.HELICOPTERS.value())) {
        return;
    }
    if (nearParkElevation(r.altitude)) {
        return;
    }
    if (live_.size() >= kLiveCapacity * 4) {
        return;  // a flood of ids: the list never grows without bound
    }
    LiveAircraft ac;
    ac.model = r.model;
    ac.callsign = r.callsign;
    ac.firstCallsign = r.callsign;
    ac.registration = r.registration;
    ac.origin = r.origin;
    ac.destination = r.destination;
    ac.aircraftId = r.id;
    ac.controls.category = cat;
    ac.lastTimestamp = r.timestamp;
    ac.stream.push_back(lf_pointFrom(r));
    live_.push_back(std::move(ac));
}

bool LiveEngine::respawnCheck(LiveAircraft& ac, const TrafficRecord& r) {
    if (ac.state != LiveState::Active || ac.landingSequence ||
        ac.phase == FlightPhase::PushingBack || ac.respawnCount >= 1 ||
        !gs().GUID_CHANGES.value()) {
        return true;
    }
    bool respawn = false;
    if (!r.callsign.empty() && r.callsign != ac.callsign && r.callsign != ac.registration) {
        if (r.callsign.ends_with('_') &&
            std::find(blocked_.begin(), blocked_.end(), r.callsign) != blocked_.end()) {
            return false;
        }
        ghostCheck(r.callsign);
        ac.callsign = r.callsign;
        ac.firstCallsign = r.callsign;
        respawn = true;
    } else {
        bool routeChanged = false;
        if ((ac.origin.empty() && !r.origin.empty()) ||
            (ac.destination.empty() && !r.destination.empty())) {
            routeChanged = true;
        } else if (!ac.origin.empty() && !ac.destination.empty() && !r.origin.empty() &&
                   !r.destination.empty() && r.origin != ac.origin &&
                   r.destination != ac.destination && r.destination != ac.origin) {
            routeChanged = true;
        }
        if (routeChanged) {
            if (!r.origin.empty()) {
                ac.origin = r.origin;
            }
            if (!r.destination.empty()) {
                ac.destination = r.destination;
            }
            if (ac.onGround() && ac.phase != FlightPhase::Parking &&
                ac.phase != FlightPhase::Parked) {
                setPhase(ac, FlightPhase::Taxi);
            }
        }
        if (!r.registration.empty() && r.registration != ac.registration) {
            const bool hadRegistration = !ac.registration.empty();
            ac.registration = r.registration;
            respawn = hadRegistration && liveryWouldChange(ac);
        } else if (routeChanged) {
            // A new flight of the same airframe begins on the ground; in the air a route
            // that fills in late is the same flight, and showing it again would flicker.
            respawn = ac.onGround();
        }
    }
    if (respawn) {
        gf_logLine("          {} respawns", ac.callsign);
        liveryRespawn(ac);
        return false;
    }
    return true;
}

std::string LiveEngine::matchedLivery(const LiveAircraft& ac) {
    MatchAircraft m;
    m.label = ac.callsign;
    m.airline = ac.airline;
    m.type = ac.model;
    m.registration = ac.registration;
    m.category = static_cast<TypeCategory>(ac.categoryId());
    m.cargo = ac.cargo;
    return world_.matchLivery(m) ? m.title : std::string();
}

bool LiveEngine::liveryWouldChange(LiveAircraft& ac) {
    const std::string title = matchedLivery(ac);
    return !title.empty() && title != ac.liveryTitle;
}

void LiveEngine::ghostCheck(std::string_view callsign) {
    const std::string ghost = std::string(callsign) + "_";
    for (LiveAircraft& o : live_) {
        if (o.callsign != ghost || o.state == LiveState::RemovingFromSim || o.removeNow ||
            o.dropped) {
            continue;
        }
        if (o.phase == FlightPhase::Parked) {
            gf_logLine("{:8}: {:8} is a ghost and will be removed, continue with {}", standName(o),
                       o.callsign, callsign);
        } else {
            gf_logLine("          {:8} is a ghost and will be removed, continue with {}",
                       o.callsign, callsign);
        }
        if (std::find(blocked_.begin(), blocked_.end(), o.callsign) == blocked_.end()) {
            blocked_.push_back(o.callsign);
        }
        removeAircraftFromSim(o);
        return;
    }
}

void LiveEngine::liveryRespawn(LiveAircraft& ac) {
    ac.liveryTitle.clear();
    if (world_.commands().respawnRemoval(ac.controls, ac.ident())) {
        ac.state = LiveState::LiveryRespawn;
        ac.respawnCount = 1;
        freeStand(ac);
    } else {
        removeAircraftFromSim(ac);
    }
}

bool LiveEngine::checkNewPosDuringLanding(LiveAircraft& ac, StreamPoint& p) {
    const LatLon here{ac.lat, ac.lon};
    // Points the aircraft has already passed are dropped; the current target stays.
    while (ac.stream.size() > 1) {
        const StreamPoint& back = ac.stream.back();
        const double off = std::abs(gf_wrapPi(gf_bearing(here, {back.lat, back.lon}) - ac.heading));
        if (off < kPi / 2.0 || gf_distanceNm(here, {back.lat, back.lon}) < kStandMoveNm) {
            break;
        }
        ac.stream.pop_back();
    }
    const StreamPoint& newest = ac.stream.back();
    if (std::abs(p.lat - newest.lat) < kSamePositionDeg &&
        std::abs(p.lon - newest.lon) < kSamePositionDeg) {
        p.groundHold = true;
        return true;
    }
    if (!ac.landingSequence) {
        return true;
    }
    const double distance = gf_distanceNm(here, {p.lat, p.lon});
    const double off = std::abs(gf_wrapPi(gf_bearing(here, {p.lat, p.lon}) - ac.heading));
    if (off >= 150.0 * kDeg2Rad && distance > 2.0 && ac.respawnCount < 1) {
        // Far behind: the data went another way (a go-around); follow it from here.
        const StreamPoint front = ac.stream.front();
        ac.stream.clear();
        ac.stream.push_back(front);
        return true;
    }
    return off < kPi / 2.0 || distance < kStandMoveNm;
}

bool LiveEngine::checkExtendingSituations(LiveAircraft& ac, StreamPoint& p) {
    const LatLon np{p.lat, p.lon};
    switch (ac.phase) {
        case FlightPhase::PushingBack:
            // The push follows its own plan; the reports only show the side of the turn.
            notePushSide(ac, p);
            return false;
        case FlightPhase::PushedBack:
            if (!pushedBackMayTaxi(ac, p)) {
                return false;
            }
            setPhase(ac, FlightPhase::Taxi);
            freeStand(ac);
            ac.stream.front().dueCycle = std::min(ac.stream.front().dueCycle, cycle() + 1);
            return true;
        case FlightPhase::Parking:
        case FlightPhase::Parked: {
            if (ac.state == LiveState::Buffer || !ac.hasStand) {
                return true;
            }
            const double d = gf_distanceNm({ac.standLat, ac.standLon}, np);
            const double stay =
                ac.previousPhase == FlightPhase::Parking ? 2.0 * kStandStayNm : kStandStayNm;
            if (d <= stay) {
                ac.timeParked = world_.now();
                if (ac.phase == FlightPhase::Parked) {
                    learnStand(ac, static_cast<int>(StandSeen::Report));
                }
                if (ac.leaveRefNm < 0.0) {
                    ac.leaveRefNm = d;
                    ac.leaveMaxNm = d;
                    return false;
                }
                if (d >= ac.leaveMaxNm + kStandMoveNm) {
                    ++ac.leaveMoves;
                    ac.leaveMaxNm = d;
                } else if (d <= ac.leaveMaxNm - kStandMoveNm) {
                    ac.leaveMoves = 0;
                }
                const double moved = d - ac.leaveRefNm;
                const double half = gf_halfWingspan(ac.model);
                if ((ac.leaveMoves >= 3 && moved >= half / 2.0) || moved > half) {
                    return leaveStand(ac, p);
                }
                return false;
            }
            if (ac.phase == FlightPhase::Parking) {
                setPhase(ac, FlightPhase::Taxi);
                return true;
            }
            if (d > kStandAwayNm) {
                removeAircraftFromSim(ac);
                return false;
            }
            return leaveStand(ac, p);
        }
        default:
            break;
    }
    if (ac.state != LiveState::Active) {
        return true;
    }
    if (ac.landingSequence || (ac.touchdown && ac.rollOutPending)) {
        return checkNewPosDuringLanding(ac, p);
    }
    const StreamPoint& newest = ac.stream.back();
    const auto atTakeOffSpeed = [&] {
        return ac.stream.size() >= 2 && lf_shownSpeedKt(newest, p) >= kTakeOffRunKt &&
               lf_shownSpeedKt(ac.stream[ac.stream.size() - 2], newest) >= kTakeOffRunKt;
    };
    if (ac.touchdown && ac.phase == FlightPhase::Taxi && !ac.rollOut && !ac.takeOffRoll &&
        (p.airborne || atTakeOffSpeed())) {
        takeOffStart(ac);
    }
    const LatLon from{newest.lat, newest.lon};
    if (gf_distanceNm(from, np) > kStandMoveNm) {
        const double off = std::abs(gf_wrapPi(gf_bearing(from, np) - ac.heading));
        if (off >= 100.0 * kDeg2Rad && ac.stream.size() > 1) {
            return false;
        }
    }
    if (ac.holding) {
        ac.holding = false;
        p.dueCycle = cycle() + 1;
    }
    return true;
}

void LiveEngine::feedStream(LiveAircraft& ac, StreamPoint p) {
    if (ac.stream.size() > kMaxStreamPoints) {
        removeAircraftFromSim(ac);
        return;
    }
    if (ac.holding && !ac.stream.empty()) {
        const double limitNm = gs().HOLDING_THRESHOLD_METERS.value() / kMetresPerNm;
        const StreamPoint& newest = ac.stream.back();
        if (gf_distanceNm({newest.lat, newest.lon}, {p.lat, p.lon}) > limitNm) {
            ac.holding = false;
            removeAircraftFromSim(ac);
            return;
        }
    }
    if (!ac.stream.empty() && !checkExtendingSituations(ac, p)) {
        return;
    }
    if (ac.stream.empty()) {
        ac.stream.push_back(p);
        return;
    }
    // A standing aircraft's reported position wanders by some metres: it stays where it is.
    const StreamPoint& last = ac.stream.back();
    if (!p.airborne && !last.airborne && p.groundSpeed < 1.0 && last.groundSpeed < 1.0 &&
        gf_distanceNm({last.lat, last.lon}, {p.lat, p.lon}) < kStandingJitterNm) {
        p.lat = last.lat;
        p.lon = last.lon;
    }
    const std::int32_t after = ac.stream.back().dueCycle + 1;
    if (p.dueCycle < after) {
        p.dueCycle = after;
    }
    ac.extensionCount = 0;
    ac.stream.push_back(p);
}

}  // namespace wnd
