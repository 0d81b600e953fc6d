// One traffic report from RealTraffic as the Traffic Reader hands it to the live engine.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace wnd {

struct TrafficRecord {
    std::string model;        // ICAO type code, never empty
    std::string origin;       // IATA code or empty
    std::string destination;  // IATA code or empty
    std::string callsign;
    std::string registration;  // at most 12 characters
    // Left empty by the reader; the engine fills them.
    std::array<std::string, 3> engineTexts;

    double lat = 0.0;  // degrees
    double lon = 0.0;
    double altitude = 0.0;      // feet; 0 means on the ground
    double groundSpeed = 0.0;   // knots
    double track = 0.0;         // degrees
    double verticalRate = 0.0;  // feet per minute
    double trueAirspeed = 0.0;  // knots, reported or estimated from the altitude
    std::int32_t dueCycle = 0;  // engine cycle at which the record becomes current
    bool airborne = false;
    bool bankValid = false;
    double bank = 0.0;  // radians, positive to the right
    bool trueHeadingValid = false;
    double trueHeading = 0.0;  // radians
    double timestamp = 0.0;    // seconds since 1970
    std::uint32_t id = 0;      // the 24-bit ICAO address, always above 10000
};

}  // namespace wnd
