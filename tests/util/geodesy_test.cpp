#include "util/geodesy.h"

#include <gtest/gtest.h>

#include <cmath>

namespace wnd {
namespace {

constexpr LatLon kZurich{47.4647, 8.5492};
constexpr LatLon kJfk{40.6398, -73.7789};

TEST(Geodesy, DistanceBearingAndDestinationAgree) {
    // One minute of arc along a meridian is one nautical mile.
    EXPECT_NEAR(gf_distanceNm({0, 0}, {1.0 / 60.0, 0}), 1.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm(kZurich, kJfk), 3400.0, 10.0);
    // Bearings in every quadrant, from 0 to 2 pi.
    const double feet = 5.0 * kFeetPerNm;
    for (double brgDeg : {0.0, 45.0, 135.0, 200.0, 315.0}) {
        const LatLon p = gf_destinationPoint(kZurich, brgDeg * kDeg2Rad, feet);
        EXPECT_NEAR(gf_distanceNm(kZurich, p), 5.0, 1e-3);
        EXPECT_NEAR(gf_bearing(kZurich, p), brgDeg * kDeg2Rad, 1e-3);
    }
    // Across the date line the longitude wraps.
    const LatLon east = gf_destinationPoint({0, 179.99}, kPi / 2, 2.0 * kFeetPerNm);
    EXPECT_LT(east.lon, -179.9);
}

TEST(Geodesy, LocalFlatFrame) {
    const LatLon p{kZurich.lat + 0.001, kZurich.lon + 0.002};
    const LocalXY xy = gf_toLocal(kZurich, p);
    EXPECT_NEAR(xy.north, 111.13295, 1e-6);
    const LatLon back = gf_fromLocal(kZurich, xy);
    EXPECT_NEAR(back.lat, p.lat, 1e-12);
    EXPECT_NEAR(back.lon, p.lon, 1e-12);
    // Agrees with the great circle over a short distance.
    EXPECT_NEAR(std::hypot(xy.north, xy.east) / kMetresPerNm, gf_distanceNm(kZurich, p), 1e-3);
}

}  // namespace
}  // namespace wnd
