// Where the live engine hands over to ground movement and parking: push-back and pull-out,
// taxi curves, the stand search and the learning of stands. Until those exist an aircraft on
// the ground follows its reports in straight segments, and these answer "nothing done".
#pragma once

#include <string>

#include "traffic/live_aircraft.h"

namespace wnd {

// The stand's name for log lines ("" without one).
std::string gf_standName(const LiveAircraft& ac);
// Lets go of the stand a live aircraft holds.
void gf_freeStand(LiveAircraft& ac);
// A stand where a new aircraft stands: true and the stand taken over.
bool gf_findStandAt(LiveAircraft& ac);
// Parking bookkeeping of an identified aircraft on the ground.
void gf_parkingBookkeeping(LiveAircraft& ac);
// A taxiing aircraft near the end of its data: true when parking took over.
bool gf_try2Park(LiveAircraft& ac);
// The parking end of a stream that ran dry in phase "parking": false removes the aircraft.
bool gf_parkingEnd(LiveAircraft& ac);
// Plans a ground segment along curves: false leaves the straight segment in place.
bool gf_nextPosGround(LiveAircraft& ac, const StreamPoint& next);
// The take-off start of an aircraft that had no take-off roll.
void gf_takeOffStart(LiveAircraft& ac);
// The side of the turn after a push-back, from the reports during it.
void gf_notePushSide(LiveAircraft& ac, const StreamPoint& p);
// A pushed-back aircraft stays put until a report shows it taxiing away.
bool gf_pushedBackMayTaxi(LiveAircraft& ac, const StreamPoint& p);
// A parked aircraft's reports show it leaving: pull-out or push-back.
void gf_leaveStand(LiveAircraft& ac, const StreamPoint& p);

}  // namespace wnd
