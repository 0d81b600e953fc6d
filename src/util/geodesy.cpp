#include "util/geodesy.h"

#include <algorithm>
#include <cmath>

namespace wnd {

double gf_distanceNm(const LatLon& a, const LatLon& b) {
    const double lat1 = a.lat * kDeg2Rad;
    const double lat2 = b.lat * kDeg2Rad;
    const double sdlat = std::sin((lat2 - lat1) / 2.0);
    const double sdlon = std::sin((b.lon - a.lon) * kDeg2Rad / 2.0);
    // Rounding can push h a hair past 1 for antipodal points; NaN would pass range tests.
    const double h =
        std::clamp(sdlat * sdlat + std::cos(lat1) * std::cos(lat2) * sdlon * sdlon, 0.0, 1.0);
    return 6875.493541569878 * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
}

double gf_bearing(const LatLon& a, const LatLon& b) {
    const double lat1 = a.lat * kDeg2Rad;
    const double lat2 = b.lat * kDeg2Rad;
    const double dlon = (b.lon - a.lon) * kDeg2Rad;
    double brg = std::atan2(
        std::sin(dlon) * std::cos(lat2),
        std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dlon));
    if (brg < 0.0) {
        brg += 2.0 * kPi;
    }
    return brg;
}

LatLon gf_destinationPoint(const LatLon& start, double bearingRad, double feet) {
    const double delta = feet * 4.787404208238998e-8;
    const double lat1 = start.lat * kDeg2Rad;
    const double lon1 = start.lon * kDeg2Rad;
    const double lat2 = std::asin(std::sin(lat1) * std::cos(delta) +
                                  std::cos(lat1) * std::sin(delta) * std::cos(bearingRad));
    double lon2 = lon1 + std::atan2(std::sin(bearingRad) * std::sin(delta) * std::cos(lat1),
                                    std::cos(delta) - std::sin(lat1) * std::sin(lat2));
    lon2 = std::remainder(lon2, 2.0 * kPi);
    return {lat2 * kRad2Deg, lon2 * kRad2Deg};
}

LocalXY gf_toLocal(const LatLon& origin, const LatLon& p) {
    return {(p.lat - origin.lat) * kMetresPerDegLat,
            (p.lon - origin.lon) * kMetresPerDegLat * std::cos(origin.lat * kDeg2Rad)};
}

LatLon gf_fromLocal(const LatLon& origin, const LocalXY& xy) {
    return {origin.lat + xy.north / kMetresPerDegLat,
            origin.lon + xy.east / (kMetresPerDegLat * std::cos(origin.lat * kDeg2Rad))};
}

}  // namespace wnd
