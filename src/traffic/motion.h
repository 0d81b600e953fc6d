// Small angle and unit helpers of the live engine's motion.
#pragma once

#include <cmath>

#include "util/geodesy.h"

namespace wnd {

inline constexpr double kTwoPi = 2.0 * kPi;
inline constexpr double kCyclesPerHour = 360000.0;

// Degrees into 0..360.
inline double gf_wrapDegrees(double deg) {
    if (!std::isfinite(deg)) {
        return 0.0;
    }
    double r = std::fmod(deg, 360.0);
    return r < 0.0 ? r + 360.0 : r;
}

// Radians into -pi..pi: the shorter way from one heading to another.
inline double gf_wrapPi(double rad) {
    if (!std::isfinite(rad)) {
        return 0.0;
    }
    return std::remainder(rad, kTwoPi);
}

// Radians into 0..2pi.
inline double gf_wrap2Pi(double rad) {
    if (!std::isfinite(rad)) {
        return 0.0;
    }
    double r = std::fmod(rad, kTwoPi);
    if (r < 0.0) {
        r += kTwoPi;
    }
    return r > 6.283185307178586 ? 0.0 : r;
}

}  // namespace wnd

namespace wnd {

// What an aircraft of each size category can do (indexed by category: Light, Buzjets,
// Large, Heavy, HighPerf, Rotorcraft).
struct CategoryLimits {
    double maxPitchStep;   // radians per cycle
    double maxAltStep;     // feet per cycle, climbing or descending
    double maxAirTurn;     // radians per cycle in the air
    double maxGroundTurn;  // radians per cycle on the ground
    double maxBank;        // radians
    double maxSpeedKt;     // fastest credible ground speed in the air
    double minAirSpeedKt;  // slowest credible ground speed in the air
    double takeOffPitch;   // radians, nose up negative
};

inline const CategoryLimits& gf_limits(unsigned cat) {
    static const CategoryLimits table[] = {
        {0.00017453292519943296, 0.25, 0.0010, 0.0035, 0.52, 250.0, 45.0, -0.14},
        {0.000148352986419518, 0.70, 0.0008, 0.0026, 0.44, 550.0, 90.0, -0.16},
        {0.00013089969389957473, 0.60, 0.0008, 0.0021, 0.44, 620.0, 100.0, -0.14},
        {8.726646259971648e-05, 0.50, 0.0007, 0.0017, 0.44, 650.0, 110.0, -0.13},
        {0.0005235987755982989, 1.50, 0.0020, 0.0026, 0.61, 1400.0, 90.0, -0.20},
        {0.0005235987755982989, 0.25, 0.0020, 0.0052, 0.44, 200.0, 0.0, -0.05},
    };
    return table[cat < 6 ? cat : 2];
}

}  // namespace wnd
