// The records that cross between the simulator link and the rest of the program, and the
// fixed SimConnect identifiers the program registers.
#pragma once

#include <cstdint>
#include <string>

#include "simconnect/simconnect.h"

namespace wnd {

// Fixed identifiers of the registration; the simulator echoes them back.
namespace simid {
// Data definitions.
inline constexpr DWORD kDefAiThrust = 401;
inline constexpr DWORD kDefAiPosition = 402;
inline constexpr DWORD kDefUserAircraft = 403;
inline constexpr DWORD kDefInRange = 404;
inline constexpr DWORD kDefStaticCg = 405;
inline constexpr DWORD kDefLightOnStates = 406;
inline constexpr DWORD kDefTitle = 407;
inline constexpr DWORD kDefModel = 408;
inline constexpr DWORD kDefOnGround = 409;
// Requests.
inline constexpr DWORD kReqInRange = 101;
inline constexpr DWORD kReqStaticCg = 102;
inline constexpr DWORD kReqRelease = 103;
inline constexpr DWORD kReqCreate = 104;
inline constexpr DWORD kReqRemove = 105;
inline constexpr DWORD kReqTitle = 106;
inline constexpr DWORD kReqModel = 107;
inline constexpr DWORD kReqOnGround = 108;
inline constexpr DWORD kReqUserPosition = 109;
inline constexpr DWORD kReqFlightPlan = 110;
// System events.
inline constexpr DWORD kEvSim = 201;
inline constexpr DWORD kEvObjectAdded = 202;
inline constexpr DWORD kEvObjectRemoved = 203;
inline constexpr DWORD kEvFrame = 204;
inline constexpr DWORD kEvPositionChanged = 205;
inline constexpr DWORD kEvFlightLoaded = 206;
// Client events.
inline constexpr DWORD kEvBeaconLights = 207;
inline constexpr DWORD kEvNavLights = 208;
inline constexpr DWORD kEvTaxiLights = 209;
inline constexpr DWORD kEvStrobes = 210;
inline constexpr DWORD kEvLandingLights = 211;
inline constexpr DWORD kEvCabinLights = 212;
inline constexpr DWORD kEvLogoLights = 213;
inline constexpr DWORD kEvAllLightsToggle = 214;
inline constexpr DWORD kEvFreezeLatLon = 215;
inline constexpr DWORD kEvFreezeAltitude = 216;
inline constexpr DWORD kEvFreezeAttitude = 217;
inline constexpr DWORD kEvFlaps = 218;
inline constexpr DWORD kEvSpoilers = 219;
inline constexpr DWORD kEvGear = 220;
inline constexpr DWORD kEvEngineStart = 221;
inline constexpr DWORD kEvEngineShutdown = 222;
inline constexpr DWORD kEvThrottle = 223;
// The one notification group of the client events.
inline constexpr DWORD kGroup = 301;
}  // namespace simid

// Static parked aircraft are numbered 1..10000; live ones carry their ICAO address.
inline constexpr std::uint32_t kLastStaticAircraftId = 10000;
inline constexpr bool gf_isLiveAircraftId(std::uint32_t aircraftId) {
    return aircraftId > kLastStaticAircraftId;
}

// The reply to the user-position request, byte for byte as the user-aircraft definition lays
// it out.
#pragma pack(push, 1)
struct UserAircraftData {
    double latitude = 0.0;        // degrees
    double longitude = 0.0;       // degrees
    double pitch = 0.0;           // radians
    double bank = 0.0;            // radians
    double heading = 0.0;         // radians, true
    double altitude = 0.0;        // feet; never negative
    double altAboveGround = 0.0;  // feet
    double groundSpeed = 0.0;     // knots
    std::int64_t zuluTime = 0;    // seconds of the day
    std::int64_t zuluDayOfYear = 0;
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;  // bit mask
};
#pragma pack(pop)
static_assert(sizeof(UserAircraftData) == 96);

// Where an AI aircraft is put, as the AI-position definition lays it out.
#pragma pack(push, 1)
struct AiPosition {
    double latitude = 0.0;       // degrees
    double longitude = 0.0;      // degrees
    double pitch = 0.0;          // radians
    double bank = 0.0;           // radians
    double heading = 0.0;        // radians, true
    double altitude = 0.0;       // feet
    double verticalSpeed = 0.0;  // feet per second
    double trueAirspeed = 0.0;   // knots
};
#pragma pack(pop)
static_assert(sizeof(AiPosition) == 64);

struct PositionCommand {
    AiPosition position;
    std::uint32_t objectId = 0;
};

struct ClientEventCommand {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
    bool operator==(const ClientEventCommand&) const = default;
};

// One AI creation. The title is a copy, not a view into the livery table: a request may
// outlive a re-read of the catalogue.
struct CreateRequest {
    SIMCONNECT_DATA_INITPOSITION initPosition{};
    std::string tailNumber;  // the callsign; becomes the object's ATC ID
    std::string liveryTitle;
    std::uint32_t aircraftId = 0;
};

// A creation sent to the simulator and not yet answered.
struct PendingCreation {
    DWORD sendId = 0;
    std::uint32_t aircraftId = 0;
    std::string callsign;
};

enum class NoticeKind : std::uint32_t {
    LiveIdentified = 0,    // object id, aircraft id, b = altitude above ground
    StaticIdentified = 1,  // object id, aircraft id
    ObjectRemoved = 2,     // object id
    InRange = 3,           // object id, aircraft id = on-ground flag, a = ground alt, b = AGL
    StaticCg = 4,          // object id, a = static CG to ground (ft), b = static pitch (rad)
    BlockCallsign = 5,     // aircraft id (raised by the window)
    CreationRefused = 6,   // aircraft id
};

// Fixed-size notice from the dispatch thread to the engine, copied by value.
struct SimNotice {
    std::uint32_t objectId = 0;
    std::uint32_t aircraftId = 0;  // the on-ground flag of an InRange notice
    NoticeKind kind = NoticeKind::ObjectRemoved;
    double a = 0.0;
    double b = 0.0;
    bool operator==(const SimNotice&) const = default;
};

// What the client events of one AI aircraft need: its object, its size category (rotorcraft
// get no gear, spoilers or flaps events) and the remembered flaps and throttle steps. The
// engine keeps one in each aircraft record, so the memory travels with the record.
struct AiControls {
    // Steps no request has, so that the first request of any valid step is sent.
    static constexpr std::uint32_t kNoThrottleStep = 5;
    static constexpr std::uint32_t kNoFlapsStep = 4;

    std::uint32_t objectId = 0;
    std::uint32_t category = 0;  // TypeCategory of refdata/dbase.h
    std::uint32_t throttleStep = kNoThrottleStep;
    std::uint32_t flapsStep = kNoFlapsStep;

    // The simulator confirmed the removal of a respawning aircraft: forget the object and
    // start the memory again, as for a new aircraft.
    void afterRespawnRemoval() {
        objectId = 0;
        throttleStep = kNoThrottleStep;
        flapsStep = kNoFlapsStep;
    }
};

// The seven lights, sent in this order.
struct Lights {
    bool nav = false;
    bool beacon = false;
    bool landing = false;
    bool taxi = false;
    bool strobes = false;
    bool logo = false;
    bool cabin = false;
};

}  // namespace wnd
