// Figures of ground movement by size category, and the corner curve: a quadratic curve from
// the aircraft through a corner's control point to the point after it. Along a curve the
// aircraft moves at its segment's speed but never turns faster than its category's turn
// rate: in a tight corner it slows down, as a real one does.
#pragma once

#include <cstdint>

#include "traffic/live_aircraft.h"

namespace wnd {

// Turn rate per engine cycle (radians) of each size category on the ground.
double gf_baseTurnRate(std::uint32_t category);
// Taxi speed (knots) of a category; towed aircraft move at the towing speed.
double gf_taxiSpeedKt(std::uint32_t category, bool towed);
inline constexpr double kPushSpeedKt = 3.0;
inline constexpr double kTowSpeedKt = 8.0;

// Cycles a segment of `nm` takes at `kt`: never fewer than `minimum`.
std::int32_t gf_segmentCycles(double nm, double kt, std::int32_t minimum = 25);

// The curve at parameter t: position and tangent in metres from its origin.
LocalXY gf_curvePoint(const GroundCurve& c, double t);
LocalXY gf_curveTangent(const GroundCurve& c, double t);
// The parameter step of one cycle at t: the segment's distance, or less where the turn
// rate would be exceeded.
double gf_curveStep(const GroundCurve& c, double t);
// Cycles the whole curve takes.
std::int32_t gf_curveCycles(const GroundCurve& c);
inline constexpr double kCurveEnd = 0.999999;

}  // namespace wnd
