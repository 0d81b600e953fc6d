// One live aircraft: what RealTraffic reported of it, the positions still ahead of it, and
// how it stands in the simulator. Plain records; the rules that change them live in the
// engine's files (see README.md).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "sim/sim_types.h"
#include "util/geodesy.h"

namespace wnd {

enum class LiveState : std::uint32_t {
    Buffer = 0,
    Adding2Sim = 1,
    Active = 2,
    LiveryRespawn = 3,
    RemovingFromSim = 4,
};

enum class FlightPhase : std::uint32_t {
    PushingBack = 0,
    PushedBack = 1,
    Taxi = 2,
    TakeOff = 3,
    Flying = 4,
    Parking = 5,
    Parked = 6,
    Birth = 7,
};

std::string_view gf_liveStateName(LiveState s);
std::string_view gf_flightPhaseName(FlightPhase p);

// One accepted position report, extended by the engine.
struct StreamPoint {
    double lat = 0.0;  // degrees
    double lon = 0.0;
    double altitude = 0.0;      // feet
    double groundSpeed = 0.0;   // knots
    double track = 0.0;         // degrees
    double verticalRate = 0.0;  // feet per minute; the flight logic overwrites it
    double trueAirspeed = 0.0;  // knots
    std::int32_t dueCycle = 0;  // becomes the current target at this engine cycle
    double reportTime = 0.0;    // the report's own time, seconds; 0 for points made up whole
    bool airborne = false;
    bool groundHold = false;  // a stationary ground phase (parked or holding)
    bool flag = false;
    double bank = 0.0;  // radians, valid with bankGiven
    bool bankGiven = false;
    double heading = 0.0;  // radians, valid with headingGiven
    bool headingGiven = false;
};

// Size categories of the database (refdata/dbase.h TypeCategory), by the engine's names.
namespace category {
inline constexpr std::uint32_t kLight = 0;
inline constexpr std::uint32_t kBuzjets = 1;
inline constexpr std::uint32_t kLarge = 2;
inline constexpr std::uint32_t kHeavy = 3;
inline constexpr std::uint32_t kHighPerf = 4;
inline constexpr std::uint32_t kRotorcraft = 5;
}  // namespace category

inline constexpr double kDefaultStaticCgFt = 5.0;
inline constexpr double kDefaultStaticPitchRad = 0.012217304763960306;  // 0.7 degrees

// A quadratic corner curve on the ground, in metres north and east of its start: the
// corner is the control point, the aircraft leaves along it and arrives along the last leg.
struct GroundCurve {
    bool active = false;
    bool reverse = false;  // pushing back: the nose points against the motion
    LatLon origin;
    LocalXY corner;
    LocalXY end;
    double t = 0.0;
    double metresPerCycle = 0.0;
    double turnPerCycle = 0.0;  // radians
};

struct LiveAircraft {
    // Identity, from the traffic record that gave birth to it.
    std::string airline;  // "PVT" when the callsign names none
    std::string model;
    std::string callsign;
    std::string firstCallsign;
    std::string registration;
    std::string origin;
    std::string destination;
    std::uint32_t aircraftId = 0;  // the 24-bit ICAO address
    bool cargo = false;

    // Simulator: the object id, category and the remembered flaps and throttle steps travel
    // together in the controls the client events need.
    std::string liveryTitle;  // empty until a livery is chosen
    AiControls controls;
    bool reverseThrust = false;
    bool hasFlightPlan = false;

    // State.
    LiveState state = LiveState::Buffer;
    FlightPhase phase = FlightPhase::Birth;
    FlightPhase previousPhase = FlightPhase::Birth;
    bool removeNow = false;
    bool removeWhenIdentified = false;
    bool dropped = false;

    // Current pose.
    double lat = 0.0;
    double lon = 0.0;
    double pitch = 0.0;          // radians, nose up negative
    double bank = 0.0;           // radians
    double heading = 0.0;        // radians, 0..2pi
    double altitude = 0.0;       // feet
    double verticalSpeed = 0.0;  // feet per second
    double trueAirspeed = 0.0;   // knots

    // Stream, oldest first; the front is the current target.
    std::deque<StreamPoint> stream;
    double lastTimestamp = 0.0;

    // Resting data.
    double staticCgFt = kDefaultStaticCgFt;
    double staticPitch = kDefaultStaticPitchRad;

    // Stand (held by parking).
    double standLat = 0.0;
    double standLon = 0.0;
    double standHeading = 0.0;
    std::uint32_t standIndex = 0;
    bool standFlag = false;
    bool hasStand = false;
    std::int64_t timeParked = 0;
    // Leaving a stand: the reference distance of the first leaving report, the largest seen
    // and the moves counted.
    double leaveRefNm = -1.0;
    double leaveMaxNm = 0.0;
    int leaveMoves = 0;

    // Segment (owned by the update).
    double latStep = 0.0;
    double lonStep = 0.0;
    double headingStep = 0.0;
    double maxTurnPerCycle = 0.0;
    double targetBearing = 0.0;
    double pitchStep = 0.0;
    double bankStep = 0.0;
    double targetBank = 0.0;
    double altitudeStep = 0.0;
    std::int32_t segmentEnd = 0;  // cycle at which the pose reaches the segment's point
    bool steering = false;        // turning toward targetBearing (ground)

    // Landing and ground.
    double aboveGroundFt = -1.0;  // from the simulator; negative while unknown
    double groundAltitudeFt = 0.0;
    bool groundAltitudeKnown = false;
    std::uint32_t flareStage = 0;
    std::uint32_t groundStage = 0;
    bool landingSequence = false;
    bool touchdown = false;
    bool pitchLowering = false;
    bool rollOutPending = false;
    bool rollOut = false;
    bool takeOffRoll = false;
    bool climbConfigured = false;
    bool highConfigured = false;  // the configuration at or above 10000 ft was sent
    bool firstAirborneDone = false;
    bool spoilersThrustWritten = false;
    bool holding = false;
    std::int32_t holdingSince = 0;
    std::int32_t timerA = 3000;
    std::int32_t timerB = 3000;
    int respawnCount = 0;
    int extensionCount = 0;
    int pushSide = 0;  // after a push-back: -1 left, 1 right, 0 straight

    // Ground movement and parking.
    GroundCurve curve;
    double taxiSpeedKt = 15.0;
    double turnRate = 0.0;  // radians per cycle; the category's base rate when a segment starts
    int pushCountdown = 0;
    bool pushSideKnown = false;
    LatLon pushCorner;             // where the straight push ends and a turn may begin
    double pushFarthestNm = -1.0;  // pushed back: the farthest report seen; negative: none yet
    bool towed = false;
    bool landed = false;  // touched down in this life (parks in landed mode)
    LatLon lastParkTry;
    bool longStay = false;  // stays parked longer than a turn-round (learning)

    std::uint32_t objectId() const { return controls.objectId; }
    std::uint32_t categoryId() const { return controls.category; }
    bool onGround() const { return !stream.empty() ? !stream.front().airborne : touchdown; }
    // How the aircraft is named in warnings.
    std::string ident() const;
};

}  // namespace wnd
