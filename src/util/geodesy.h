// Great-circle helpers and the local flat frame; positions in degrees.
#pragma once

namespace wnd {

struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kRad2Deg = 57.29577951308232;
inline constexpr double kDeg2Rad = 1.0 / kRad2Deg;
inline constexpr double kMetresPerNm = 1852.0;
inline constexpr double kFeetPerNm = 6076.11549;
inline constexpr double kMetresPerDegLat = 111132.95;
inline constexpr double kEarthRadiusNm = 3437.746770784939;

// Haversine distance in nautical miles.
double gf_distanceNm(const LatLon& a, const LatLon& b);
// Initial great-circle bearing from a to b in radians, 0..2pi.
double gf_bearing(const LatLon& a, const LatLon& b);
// The point at `feet` along the bearing (radians) from start.
LatLon gf_destinationPoint(const LatLon& start, double bearingRad, double feet);

// Metres north and east of an origin in the flat frame used for short ground distances.
struct LocalXY {
    double north = 0.0;
    double east = 0.0;
};
LocalXY gf_toLocal(const LatLon& origin, const LatLon& p);
LatLon gf_fromLocal(const LatLon& origin, const LocalXY& xy);

}  // namespace wnd
