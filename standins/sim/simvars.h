// The simulation objects of the stand-in and the simulation variables a client can read or
// write on them, with their units.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace wnd::simstandin {

// Height of an aircraft's reference point above the ground when it rests on it.
inline constexpr double kRestHeightFt = 5.0;

struct SimObject {
    std::uint32_t id = 0;
    bool isUser = false;
    std::uint64_t owner = 0;  // the client that created it
    std::string title;
    std::string atcId;  // the tail number it was created with
    std::string atcModel;
    double lat = 0.0;  // degrees
    double lon = 0.0;
    double altFt = 0.0;
    double pitchRad = 0.0;
    double bankRad = 0.0;
    double headingRad = 0.0;
    double vsFps = 0.0;
    double tasKt = 0.0;
    double gsKt = 0.0;
    double groundAltFt = 0.0;
    bool userOnGround = false;  // the user's own flag; AI objects derive theirs
    std::uint32_t lights = 0;   // LIGHT STATES bits
    bool gearDown = true;
    std::uint32_t flapsData = 0;
    std::uint32_t spoilersData = 0;
    double spoilersPct = 0.0;
    double throttlePct[2] = {0.0, 0.0};
    bool enginesRunning = false;
    bool freezeLatLon = false;
    bool freezeAlt = false;
    bool freezeAttitude = false;
    bool released = false;
    std::string flightPlan;
    bool positionSet = false;  // set since the last trace sample

    double altAboveGroundFt() const { return altFt - groundAltFt; }
    // The heading in degrees, 0 to 360 (the trace's hdg_deg).
    double headingDeg() const;
    // AI objects: within 1 ft of resting on the ground (or below it).
    bool onGround() const {
        return isUser ? userOnGround : altFt <= groundAltFt + kRestHeightFt + 1.0;
    }
};

using Value = std::variant<double, std::string>;

// What reading a variable needs beyond the object.
struct ReadContext {
    std::int64_t zulu = 0;  // seconds since 1970
};

struct SimVar;

// One variable of a data definition, resolved at definition time.
struct ResolvedVar {
    const SimVar* var = nullptr;  // nullptr: unknown variable, reads as 0
    double unitFactor = 1.0;      // value in the requested unit = canonical * unitFactor
    bool unitKnown = true;
};

// Resolves a datum name (any case, "NAME:index" included) and a unit name.
ResolvedVar gf_resolveSimVar(std::string_view name, std::string_view units);
Value gf_readSimVar(const ResolvedVar& v, const SimObject& o, const ReadContext& ctx);
// false when the variable cannot be written (read-only or unknown).
bool gf_writeSimVar(const ResolvedVar& v, SimObject& o, const Value& value);
bool gf_isPositionVar(const ResolvedVar& v);

// The effect of a simulator event sent to an object (name in upper case).
void gf_applySimEvent(std::string_view name, std::uint32_t data, SimObject& o);

}  // namespace wnd::simstandin
