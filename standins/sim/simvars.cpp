#include "standins/sim/simvars.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "util/strings.h"

namespace wnd::simstandin {

namespace {

enum class Quantity { Angle, Length, Speed, Percent, Plain, Time, Text };

struct Unit {
    const char* name;
    Quantity q;
    double base;  // base units (radian, metre, metre per second, percent, 1, second) in one
};

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr double kFt = 0.3048;
constexpr double kKt = 1852.0 / 3600.0;

const Unit kUnits[] = {
    {"radian", Quantity::Angle, 1.0},
    {"radians", Quantity::Angle, 1.0},
    {"rad", Quantity::Angle, 1.0},
    {"degree", Quantity::Angle, kDeg},
    {"degrees", Quantity::Angle, kDeg},
    {"deg", Quantity::Angle, kDeg},
    {"foot", Quantity::Length, kFt},
    {"feet", Quantity::Length, kFt},
    {"ft", Quantity::Length, kFt},
    {"meter", Quantity::Length, 1.0},
    {"meters", Quantity::Length, 1.0},
    {"metre", Quantity::Length, 1.0},
    {"metres", Quantity::Length, 1.0},
    {"m", Quantity::Length, 1.0},
    {"kilometer", Quantity::Length, 1000.0},
    {"kilometers", Quantity::Length, 1000.0},
    {"km", Quantity::Length, 1000.0},
    {"nautical mile", Quantity::Length, 1852.0},
    {"nautical miles", Quantity::Length, 1852.0},
    {"knot", Quantity::Speed, kKt},
    {"knots", Quantity::Speed, kKt},
    {"kt", Quantity::Speed, kKt},
    {"meter per second", Quantity::Speed, 1.0},
    {"meters per second", Quantity::Speed, 1.0},
    {"m/s", Quantity::Speed, 1.0},
    {"foot per second", Quantity::Speed, kFt},
    {"feet per second", Quantity::Speed, kFt},
    {"ft/s", Quantity::Speed, kFt},
    {"foot per minute", Quantity::Speed, kFt / 60.0},
    {"feet per minute", Quantity::Speed, kFt / 60.0},
    {"ft/min", Quantity::Speed, kFt / 60.0},
    {"kilometers per hour", Quantity::Speed, 1.0 / 3.6},
    {"km/h", Quantity::Speed, 1.0 / 3.6},
    {"percent", Quantity::Percent, 1.0},
    {"percent over 100", Quantity::Percent, 100.0},
    {"bool", Quantity::Plain, 1.0},
    {"boolean", Quantity::Plain, 1.0},
    {"number", Quantity::Plain, 1.0},
    {"mask", Quantity::Plain, 1.0},
    {"flags", Quantity::Plain, 1.0},
    {"enum", Quantity::Plain, 1.0},
    {"second", Quantity::Time, 1.0},
    {"seconds", Quantity::Time, 1.0},
    {"sec", Quantity::Time, 1.0},
    {"minute", Quantity::Time, 60.0},
    {"minutes", Quantity::Time, 60.0},
    {"hour", Quantity::Time, 3600.0},
    {"hours", Quantity::Time, 3600.0},
};

using Getter = Value (*)(const SimObject&, const ReadContext&);
using Setter = void (*)(SimObject&, double);

struct Civil {
    int year;
    unsigned dayOfYear;
    std::int64_t secondOfDay;
};

Civil civil(std::int64_t zulu) {
    using namespace std::chrono;
    const std::int64_t day = zulu >= 0 ? zulu / 86400 : (zulu - 86399) / 86400;
    const sys_days d{days(day)};
    const year_month_day ymd{d};
    const sys_days jan1{ymd.year() / January / 1};
    return {static_cast<int>(ymd.year()), static_cast<unsigned>((d - jan1).count() + 1),
            zulu - day * 86400};
}

}  // namespace

struct SimVar {
    const char* name;
    Quantity q;
    double canonical;  // base units in one canonical unit
    Getter get;
    Setter set;  // nullptr: read only
    bool position;
};

namespace {

const SimVar kVars[] = {
    {"PLANE LATITUDE", Quantity::Angle, kDeg,
     [](const SimObject& o, const ReadContext&) -> Value { return o.lat; },
     [](SimObject& o, double v) { o.lat = v; }, true},
    {"PLANE LONGITUDE", Quantity::Angle, kDeg,
     [](const SimObject& o, const ReadContext&) -> Value { return o.lon; },
     [](SimObject& o, double v) { o.lon = v; }, true},
    {"PLANE ALTITUDE", Quantity::Length, kFt,
     [](const SimObject& o, const ReadContext&) -> Value { return o.altFt; },
     [](SimObject& o, double v) { o.altFt = v; }, true},
    {"PLANE PITCH DEGREES", Quantity::Angle, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.pitchRad; },
     [](SimObject& o, double v) { o.pitchRad = v; }, true},
    {"PLANE BANK DEGREES", Quantity::Angle, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.bankRad; },
     [](SimObject& o, double v) { o.bankRad = v; }, true},
    {"PLANE HEADING DEGREES TRUE", Quantity::Angle, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.headingRad; },
     [](SimObject& o, double v) { o.headingRad = v; }, true},
    {"PLANE HEADING DEGREES MAGNETIC", Quantity::Angle, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.headingRad; },
     [](SimObject& o, double v) { o.headingRad = v; }, true},
    {"PLANE ALT ABOVE GROUND", Quantity::Length, kFt,
     [](const SimObject& o, const ReadContext&) -> Value { return o.altAboveGroundFt(); }, nullptr,
     false},
    {"GROUND ALTITUDE", Quantity::Length, kFt,
     [](const SimObject& o, const ReadContext&) -> Value { return o.groundAltFt; }, nullptr, false},
    {"GROUND VELOCITY", Quantity::Speed, kKt,
     [](const SimObject& o, const ReadContext&) -> Value { return o.gsKt; },
     [](SimObject& o, double v) { o.gsKt = v; }, false},
    {"AIRSPEED TRUE", Quantity::Speed, kKt,
     [](const SimObject& o, const ReadContext&) -> Value { return o.tasKt; },
     [](SimObject& o, double v) {
         o.tasKt = v;
         if (!o.isUser) {
             o.gsKt = v;
         }
     },
     true},
    {"AIRSPEED INDICATED", Quantity::Speed, kKt,
     [](const SimObject& o, const ReadContext&) -> Value { return o.tasKt; }, nullptr, false},
    {"VERTICAL SPEED", Quantity::Speed, kFt,
     [](const SimObject& o, const ReadContext&) -> Value { return o.vsFps; },
     [](SimObject& o, double v) { o.vsFps = v; }, true},
    {"SIM ON GROUND", Quantity::Plain, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.onGround() ? 1.0 : 0.0; },
     nullptr, false},
    {"IS USER SIM", Quantity::Plain, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.isUser ? 1.0 : 0.0; }, nullptr,
     false},
    {"ATC ID", Quantity::Text, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.atcId; }, nullptr, false},
    {"ATC MODEL", Quantity::Text, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.atcModel; }, nullptr, false},
    {"TITLE", Quantity::Text, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.title; }, nullptr, false},
    {"ZULU TIME", Quantity::Time, 1.0,
     [](const SimObject&, const ReadContext& c) -> Value {
         return static_cast<double>(civil(c.zulu).secondOfDay);
     },
     nullptr, false},
    {"LOCAL TIME", Quantity::Time, 1.0,
     [](const SimObject&, const ReadContext& c) -> Value {
         return static_cast<double>(civil(c.zulu).secondOfDay);
     },
     nullptr, false},
    {"ZULU DAY OF YEAR", Quantity::Plain, 1.0,
     [](const SimObject&, const ReadContext& c) -> Value {
         return static_cast<double>(civil(c.zulu).dayOfYear);
     },
     nullptr, false},
    {"ZULU YEAR", Quantity::Plain, 1.0,
     [](const SimObject&, const ReadContext& c) -> Value {
         return static_cast<double>(civil(c.zulu).year);
     },
     nullptr, false},
    {"LIGHT STATES", Quantity::Plain, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return static_cast<double>(o.lights); },
     [](SimObject& o, double v) { o.lights = static_cast<std::uint32_t>(v) & 0x3FFu; }, false},
    {"LIGHT ON STATES", Quantity::Plain, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return static_cast<double>(o.lights); },
     nullptr, false},
    {"STATIC CG TO GROUND", Quantity::Length, kFt,
     [](const SimObject&, const ReadContext&) -> Value { return kRestHeightFt; }, nullptr, false},
    {"STATIC PITCH", Quantity::Angle, 1.0,
     [](const SimObject&, const ReadContext&) -> Value { return 0.0; }, nullptr, false},
    {"SPOILERS HANDLE POSITION", Quantity::Percent, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.spoilersPct; },
     [](SimObject& o, double v) { o.spoilersPct = v; }, false},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", Quantity::Percent, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.throttlePct[0]; },
     [](SimObject& o, double v) { o.throttlePct[0] = v; }, false},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", Quantity::Percent, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.throttlePct[1]; },
     [](SimObject& o, double v) { o.throttlePct[1] = v; }, false},
    {"GEAR HANDLE POSITION", Quantity::Plain, 1.0,
     [](const SimObject& o, const ReadContext&) -> Value { return o.gearDown ? 1.0 : 0.0; },
     [](SimObject& o, double v) { o.gearDown = v != 0.0; }, false},
};

}  // namespace

double SimObject::headingDeg() const {
    const double d = std::fmod(headingRad / kDeg, 360.0);
    return d < 0 ? d + 360.0 : d;
}

ResolvedVar gf_resolveSimVar(std::string_view name, std::string_view units) {
    ResolvedVar r;
    const std::string upper = gf_toUpper(gf_trimView(name));
    for (const SimVar& v : kVars) {
        if (upper == v.name) {
            r.var = &v;
            break;
        }
    }
    if (r.var == nullptr && upper == "GENERAL ENG THROTTLE LEVER POSITION") {
        return gf_resolveSimVar("GENERAL ENG THROTTLE LEVER POSITION:1", units);
    }
    if (r.var == nullptr || r.var->q == Quantity::Text) {
        return r;
    }
    std::string lower(gf_trimView(units));
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (lower.empty()) {
        return r;  // the canonical unit
    }
    for (const Unit& u : kUnits) {
        if (lower == u.name) {
            if (u.q != r.var->q) {
                break;
            }
            r.unitFactor = r.var->canonical / u.base;
            return r;
        }
    }
    r.unitKnown = false;
    return r;
}

Value gf_readSimVar(const ResolvedVar& v, const SimObject& o, const ReadContext& ctx) {
    if (v.var == nullptr) {
        return 0.0;
    }
    Value value = v.var->get(o, ctx);
    if (auto* d = std::get_if<double>(&value)) {
        *d *= v.unitFactor;
    }
    return value;
}

bool gf_writeSimVar(const ResolvedVar& v, SimObject& o, const Value& value) {
    if (v.var == nullptr || v.var->set == nullptr) {
        return false;
    }
    const double* d = std::get_if<double>(&value);
    if (d == nullptr || !std::isfinite(*d)) {
        return false;
    }
    v.var->set(o, *d / v.unitFactor);
    return true;
}

bool gf_isPositionVar(const ResolvedVar& v) {
    return v.var != nullptr && v.var->position;
}

void gf_applySimEvent(std::string_view name, std::uint32_t data, SimObject& o) {
    struct Light {
        const char* name;
        std::uint32_t bit;
    };
    static const Light kLights[] = {
        {"NAV_LIGHTS_SET", 0x1},          {"BEACON_LIGHTS_SET", 0x2}, {"LANDING_LIGHTS_SET", 0x4},
        {"TAXI_LIGHTS_SET", 0x8},         {"STROBES_SET", 0x10},      {"PANEL_LIGHTS_SET", 0x20},
        {"RECOGNITION_LIGHTS_SET", 0x40}, {"WING_LIGHTS_SET", 0x80},  {"LOGO_LIGHTS_SET", 0x100},
        {"CABIN_LIGHTS_SET", 0x200}};
    for (const Light& l : kLights) {
        if (name == l.name) {
            o.lights = data != 0 ? (o.lights | l.bit) : (o.lights & ~l.bit);
            return;
        }
    }
    const bool on = data != 0;
    if (name == "ALL_LIGHTS_TOGGLE") {
        o.lights = o.lights != 0 ? 0u : 0x3FFu;
    } else if (name == "FREEZE_LATITUDE_LONGITUDE_SET") {
        o.freezeLatLon = on;
    } else if (name == "FREEZE_LATITUDE_LONGITUDE_TOGGLE") {
        o.freezeLatLon = !o.freezeLatLon;
    } else if (name == "FREEZE_ALTITUDE_SET") {
        o.freezeAlt = on;
    } else if (name == "FREEZE_ALTITUDE_TOGGLE") {
        o.freezeAlt = !o.freezeAlt;
    } else if (name == "FREEZE_ATTITUDE_SET") {
        o.freezeAttitude = on;
    } else if (name == "FREEZE_ATTITUDE_TOGGLE") {
        o.freezeAttitude = !o.freezeAttitude;
    } else if (name == "GEAR_SET") {
        o.gearDown = on;
    } else if (name == "GEAR_UP") {
        o.gearDown = false;
    } else if (name == "GEAR_DOWN") {
        o.gearDown = true;
    } else if (name == "FLAPS_SET") {
        o.flapsData = data;
    } else if (name == "SPOILERS_SET") {
        o.spoilersData = data;
        o.spoilersPct = static_cast<double>(data) * 100.0 / 16383.0;
    } else if (name == "THROTTLE_SET") {
        o.throttlePct[0] = o.throttlePct[1] = static_cast<double>(data) * 100.0 / 16383.0;
    } else if (name == "ENGINE_AUTO_START") {
        o.enginesRunning = true;
    } else if (name == "ENGINE_AUTO_SHUTDOWN") {
        o.enginesRunning = false;
    }
}

}  // namespace wnd::simstandin
