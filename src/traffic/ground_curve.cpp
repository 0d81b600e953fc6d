#include <algorithm>
#include <array>
#include <cmath>

#include "traffic/ground.h"
#include "traffic/motion.h"

namespace wnd {

namespace {
// Light, business jets, large, heavy, high performance, rotorcraft.
constexpr std::array<double, 6> kTurnRate = {0.002617993877991494,  0.0017453292519943294,
                                             0.0012217304763960306, 0.0008726646259971647,
                                             0.0017453292519943294, 0.0034906585039886587};
constexpr std::array<double, 6> kTaxiKt = {12.0, 15.0, 15.0, 13.0, 15.0, 10.0};
// A curve never takes longer than two minutes, however tight.
constexpr double kSlowestStep = 1.0 / 12000.0;
}  // namespace

double gf_baseTurnRate(std::uint32_t category) {
    return kTurnRate[category < kTurnRate.size() ? category : 2];
}

double gf_taxiSpeedKt(std::uint32_t category, bool towed) {
    return towed ? kTowSpeedKt : kTaxiKt[category < kTaxiKt.size() ? category : 2];
}

std::int32_t gf_segmentCycles(double nm, double kt, std::int32_t minimum) {
    const double n = std::round(nm * kCyclesPerHour / std::max(kt, 0.1));
    return std::max(minimum, static_cast<std::int32_t>(std::min(n, 1e9)));
}

LocalXY gf_curvePoint(const GroundCurve& c, double t) {
    const double a = 2.0 * (1.0 - t) * t;
    const double b = t * t;
    return {a * c.corner.north + b * c.end.north, a * c.corner.east + b * c.end.east};
}

LocalXY gf_curveTangent(const GroundCurve& c, double t) {
    const double a = 2.0 * (1.0 - t);
    const double b = 2.0 * t;
    return {a * c.corner.north + b * (c.end.north - c.corner.north),
            a * c.corner.east + b * (c.end.east - c.corner.east)};
}

double gf_curveStep(const GroundCurve& c, double t) {
    const LocalXY d1 = gf_curveTangent(c, t);
    const LocalXY d2{2.0 * (c.end.north - 2.0 * c.corner.north),
                     2.0 * (c.end.east - 2.0 * c.corner.east)};
    const double speed2 = d1.north * d1.north + d1.east * d1.east;
    double dt = speed2 > 1e-12 ? c.metresPerCycle / std::sqrt(speed2) : kSlowestStep;
    // The heading turns by |d1 x d2| / |d1|^2 per unit of t.
    const double rate =
        speed2 > 1e-12 ? std::abs(d1.north * d2.east - d1.east * d2.north) / speed2 : 0.0;
    if (rate * dt > c.turnPerCycle && rate > 0.0) {
        dt = c.turnPerCycle / rate;
    }
    if (!std::isfinite(dt)) {
        return kSlowestStep;
    }
    return std::max(dt, kSlowestStep);
}

std::int32_t gf_curveCycles(const GroundCurve& c) {
    std::int32_t n = 0;
    for (double t = 0.0; t < kCurveEnd && n < 20000; ++n) {
        t += gf_curveStep(c, t);
    }
    return n;
}

}  // namespace wnd
