// What the RealTraffic link needs from the rest of the program, in one place, so the
// live engine and the simulator link can plug in without the link knowing them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "util/geodesy.h"

namespace wnd {

// The user aircraft as the simulator link reports it (radians, feet, knots, degrees).
struct RtUserAircraft {
    double pitchRad = 0.0;
    double bankRad = 0.0;
    double headingRad = 0.0;  // true heading
    double altitudeFt = 0.0;
    double groundSpeedKt = 0.0;
    double latDeg = 0.0;
    double lonDeg = 0.0;
};

// The simulator's UTC date and time.
struct ZuluTime {
    int year = 1970;
    int dayOfYear = 1;  // counted from 1
    double secondsOfDay = 0.0;
};

// The park airport the ground rules of the Traffic Reader refer to.
struct ParkAirportRef {
    LatLon position;
    double elevationFt = 0.0;
};

// Set once, before the link starts (gf_rtLink().setHooks); every member may stay empty.
struct LinkHooks {
    // The live engine's cycle counter now (10 ms cycles); empty gives 0.
    std::function<std::int32_t()> currentCycle;
    // The lost-client path: remove the live aircraft from the simulator and the live list.
    std::function<void()> removeLiveTraffic;
    // The latest user aircraft data; nothing while it is not known yet.
    std::function<std::optional<RtUserAircraft>()> userAircraft;
    // The simulator's zulu time; nothing while it is not known yet.
    std::function<std::optional<ZuluTime>()> zuluTime;
};

}  // namespace wnd
