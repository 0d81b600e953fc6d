// Keeping live traffic off the user aircraft: the checks once a second and at spawn, and
// the proximity rule.
#include <cmath>

#include "refdata/dbase.h"
#include "settings/settings.h"
#include "traffic/engine.h"
#include "traffic/motion.h"

namespace wnd {

namespace {
constexpr double kSpawnClearNm = 0.08099352051835854;  // 150 m
constexpr double kCheckLeadSeconds = 2.0;

struct ProximityMode {
    double distanceNm;
    double altitudeFt;
    double trackLineFt;
};
constexpr ProximityMode kModes[] = {{4.0, 1000.0, 700.0}, {6.0, 3000.0, 4000.0}};
}  // namespace

bool LiveEngine::proximityHit(const LiveAircraft& ac, const UserAircraftData& user,
                              int mode) const {
    const ProximityMode& m = kModes[mode == 0 ? 0 : 1];
    const LatLon u{user.latitude, user.longitude};
    LatLon p{ac.lat, ac.lon};
    double altitude = ac.altitude;
    double heading = ac.heading;
    if (mode == 1 && !ac.stream.empty()) {
        const StreamPoint& f = ac.stream.front();
        p = {f.lat, f.lon};
        altitude = f.altitude;
        heading = (f.headingGiven ? f.heading : f.track * kDeg2Rad);
    }
    const double d = gf_distanceNm(u, p);
    if (d > m.distanceNm || std::abs(altitude - user.altitude) >= m.altitudeFt) {
        return false;
    }
    // The user behind the aircraft, close to the line it flies along.
    const double bearingUserToAc = gf_bearing(u, p);
    if (std::cos(heading - bearingUserToAc) <= 0.0) {
        return false;
    }
    const double offsetFt = std::abs(d * kFeetPerNm * std::sin(bearingUserToAc - heading));
    return offsetFt <= m.trackLineFt;
}

bool LiveEngine::collisionAtSpawn(LiveAircraft& ac) {
    const StreamPoint& f = ac.stream.front();
    if (userOnGround_) {
        if (gs().COLLISION_USER_GND.value() && !f.airborne &&
            gf_distanceNm({user_.latitude, user_.longitude}, {f.lat, f.lon}) <= kSpawnClearNm) {
            ac.stream.pop_front();
            return true;
        }
        return false;
    }
    if (gs().COLLISION_USER_AIR.value() && proximityHit(ac, user_, 1)) {
        ac.removeNow = true;
        return true;
    }
    return false;
}

void LiveEngine::collisionChecks() {
    const LatLon u{user_.latitude, user_.longitude};
    if (std::abs(u.lat) < 0.0001 && std::abs(u.lon) < 0.0001) {
        return;  // the user's position is not known yet
    }
    const double userHalf = world_.userHalfWingspanNm();
    if (userOnGround_) {
        if (gs().COLLISION_USER_GND.value()) {
            for (LiveAircraft& ac : live_) {
                // Checked once a second: what the aircraft rolls before the next check and its
                // removal takes effect counts too, or it would touch the user first.
                const double ahead = ac.trueAirspeed * kCheckLeadSeconds / 3600.0;
                if (ac.state == LiveState::Active && ac.touchdown &&
                    gf_distanceNm(u, {ac.lat, ac.lon}) <=
                        1.15 * (userHalf + gf_halfWingspan(ac.model)) + ahead) {
                    removeAircraftFromSim(ac);
                    break;
                }
            }
        }
        lastUserCheck_ = u;
        return;
    }
    if (!gs().COLLISION_USER_AIR.value()) {
        return;
    }
    const bool low = user_.altAboveGround <= 500.0;
    for (LiveAircraft& ac : live_) {
        if (ac.state != LiveState::Active) {
            continue;
        }
        if (low && ac.touchdown) {
            const LatLon p{ac.lat, ac.lon};
            const double d = gf_distanceNm(u, p);
            const double offsetFt =
                std::abs(d * kFeetPerNm * std::sin(gf_bearing(u, p) - user_.heading));
            if (d <= 1.0 && offsetFt <= 50.0) {
                removeAircraftFromSim(ac);
                continue;
            }
        }
        if (proximityHit(ac, user_, 0)) {
            removeAircraftFromSim(ac);
        }
    }
}

}  // namespace wnd
