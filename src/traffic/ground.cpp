#include "traffic/ground.h"

namespace wnd {

std::string gf_standName(const LiveAircraft& ac) {
    return ac.hasStand ? std::to_string(ac.standIndex) : std::string();
}

void gf_freeStand(LiveAircraft& ac) {
    ac.hasStand = false;
}

bool gf_findStandAt(LiveAircraft& /*ac*/) {
    return false;
}

void gf_parkingBookkeeping(LiveAircraft& /*ac*/) {}

bool gf_try2Park(LiveAircraft& /*ac*/) {
    return false;
}

bool gf_parkingEnd(LiveAircraft& /*ac*/) {
    return false;
}

bool gf_nextPosGround(LiveAircraft& /*ac*/, const StreamPoint& /*next*/) {
    return false;
}

void gf_takeOffStart(LiveAircraft& ac) {
    ac.takeOffRoll = true;
}

void gf_notePushSide(LiveAircraft& ac, const StreamPoint& /*p*/) {
    ac.pushSide = 0;
}

bool gf_pushedBackMayTaxi(LiveAircraft& /*ac*/, const StreamPoint& /*p*/) {
    return true;
}

void gf_leaveStand(LiveAircraft& ac, const StreamPoint& /*p*/) {
    ac.hasStand = false;
    ac.previousPhase = ac.phase;
    ac.phase = FlightPhase::Taxi;
}

}  // namespace wnd
