#include "standins/sim/scenario.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <nlohmann/json.hpp>

#include "util/files.h"

namespace wnd::simstandin {

namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw ScenarioError(fmt::format("scenario: {}: {}", where, what));
}

void onlyMembers(const json& obj, const std::string& where,
                 std::initializer_list<std::string_view> known) {
    if (!obj.is_object()) {
        fail(where, "must be an object");
    }
    for (const auto& [key, value] : obj.items()) {
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            fail(where, fmt::format("unknown member '{}'", key));
        }
    }
}

double number(const json& v, const std::string& where, double lo, double hi) {
    if (!v.is_number()) {
        fail(where, "must be a number");
    }
    const double d = v.get<double>();
    if (!std::isfinite(d) || d < lo || d > hi) {
        fail(where, fmt::format("{} is outside {}..{}", d, lo, hi));
    }
    return d;
}

std::string text(const json& v, const std::string& where) {
    if (!v.is_string()) {
        fail(where, "must be a string");
    }
    return v.get<std::string>();
}

bool boolean(const json& v, const std::string& where) {
    if (!v.is_boolean()) {
        fail(where, "must be true or false");
    }
    return v.get<bool>();
}

void readUser(const json& u, UserAircraft& user) {
    onlyMembers(u, "user",
                {"title", "atc_model", "lat", "lon", "alt_ft", "heading_deg", "on_ground",
                 "ground_speed_kt"});
    if (u.contains("title")) {
        user.title = text(u["title"], "user.title");
    }
    if (u.contains("atc_model")) {
        user.atcModel = text(u["atc_model"], "user.atc_model");
    }
    if (u.contains("lat")) {
        user.lat = number(u["lat"], "user.lat", -90, 90);
    }
    if (u.contains("lon")) {
        user.lon = number(u["lon"], "user.lon", -180, 180);
    }
    if (u.contains("alt_ft")) {
        user.altFt = number(u["alt_ft"], "user.alt_ft", -2000, 100000);
    }
    if (u.contains("heading_deg")) {
        user.headingDeg = number(u["heading_deg"], "user.heading_deg", -360, 360);
    }
    if (u.contains("on_ground")) {
        user.onGround = boolean(u["on_ground"], "user.on_ground");
    }
    if (u.contains("ground_speed_kt")) {
        user.groundSpeedKt = number(u["ground_speed_kt"], "user.ground_speed_kt", 0, 5000);
    }
}

Action actionOf(const std::string& name, const std::string& where) {
    static const std::pair<const char*, Action> kActions[] = {
        {"pause", Action::Pause},
        {"resume", Action::Resume},
        {"flight_loaded", Action::FlightLoaded},
        {"position_changed", Action::PositionChanged},
        {"quit", Action::Quit},
        {"fail_requests", Action::FailRequests},
        {"move_user", Action::MoveUser}};
    for (const auto& [n, a] : kActions) {
        if (name == n) {
            return a;
        }
    }
    fail(where, fmt::format("unknown action '{}'", name));
}

TimelineEntry readEntry(const json& e, const std::string& where) {
    onlyMembers(e, where,
                {"t", "do", "lat", "lon", "alt_ft", "on_ground", "heading_deg", "ground_speed_kt"});
    if (!e.contains("t") || !e.contains("do")) {
        fail(where, "needs 't' and 'do'");
    }
    TimelineEntry entry;
    entry.t = number(e["t"], where + ".t", 0, 1e9);
    entry.action = actionOf(text(e["do"], where + ".do"), where + ".do");
    const bool move = entry.action == Action::MoveUser;
    for (const char* key :
         {"lat", "lon", "alt_ft", "on_ground", "heading_deg", "ground_speed_kt"}) {
        if (e.contains(key) && !move) {
            fail(where, fmt::format("'{}' belongs to move_user only", key));
        }
    }
    if (e.contains("lat")) {
        entry.lat = number(e["lat"], where + ".lat", -90, 90);
    }
    if (e.contains("lon")) {
        entry.lon = number(e["lon"], where + ".lon", -180, 180);
    }
    if (e.contains("alt_ft")) {
        entry.altFt = number(e["alt_ft"], where + ".alt_ft", -2000, 100000);
    }
    if (e.contains("on_ground")) {
        entry.onGround = boolean(e["on_ground"], where + ".on_ground");
    }
    if (e.contains("heading_deg")) {
        entry.headingDeg = number(e["heading_deg"], where + ".heading_deg", -360, 360);
    }
    if (e.contains("ground_speed_kt")) {
        entry.groundSpeedKt = number(e["ground_speed_kt"], where + ".ground_speed_kt", 0, 5000);
    }
    return entry;
}

}  // namespace

const char* gf_actionName(Action a) {
    switch (a) {
        case Action::Pause:
            return "pause";
        case Action::Resume:
            return "resume";
        case Action::FlightLoaded:
            return "flight_loaded";
        case Action::PositionChanged:
            return "position_changed";
        case Action::Quit:
            return "quit";
        case Action::FailRequests:
            return "fail_requests";
        case Action::MoveUser:
            return "move_user";
    }
    return "?";
}

std::optional<std::int64_t> gf_parseZulu(std::string_view s) {
    // YYYY-MM-DDTHH:MM:SSZ
    if (s.size() != 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' ||
        s[16] != ':' || s[19] != 'Z') {
        return std::nullopt;
    }
    auto field = [&](std::size_t at, std::size_t len) -> int {
        int v = 0;
        for (std::size_t i = at; i < at + len; ++i) {
            if (s[i] < '0' || s[i] > '9') {
                return -1;
            }
            v = v * 10 + (s[i] - '0');
        }
        return v;
    };
    const int year = field(0, 4);
    const int month = field(5, 2);
    const int day = field(8, 2);
    const int hour = field(11, 2);
    const int minute = field(14, 2);
    const int second = field(17, 2);
    if (year < 1970 || month < 1 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day ymd{std::chrono::year(year),
                                          std::chrono::month(static_cast<unsigned>(month)),
                                          std::chrono::day(static_cast<unsigned>(day))};
    if (!ymd.ok()) {
        return std::nullopt;
    }
    const auto days = std::chrono::sys_days(ymd).time_since_epoch().count();
    return static_cast<std::int64_t>(days) * 86400 + hour * 3600 + minute * 60 + second;
}

Scenario gf_parseScenario(std::string_view jsonText) {
    json root;
    try {
        root = json::parse(jsonText);
    } catch (const json::exception& e) {
        throw ScenarioError(fmt::format("scenario: not valid JSON: {}", e.what()));
    }
    onlyMembers(root, "top level",
                {"simulator", "port", "frame_rate", "zulu", "start_delay_s", "ground_alt_ft",
                 "user", "refuse_titles", "object_limit", "timeline", "trace"});
    Scenario sc;
    if (root.contains("simulator")) {
        const json& s = root["simulator"];
        onlyMembers(s, "simulator", {"name", "version"});
        if (s.contains("name")) {
            sc.simName = text(s["name"], "simulator.name");
        }
        if (s.contains("version")) {
            const json& v = s["version"];
            if (!v.is_array() || v.size() != 4) {
                fail("simulator.version", "must be [major, minor, build major, build minor]");
            }
            for (std::size_t i = 0; i < 4; ++i) {
                sc.simVersion[i] = static_cast<std::uint32_t>(
                    number(v[i], fmt::format("simulator.version[{}]", i), 0, 4294967295.0));
            }
        }
    }
    if (root.contains("port")) {
        sc.port = static_cast<std::uint16_t>(number(root["port"], "port", 0, 65535));
    }
    if (root.contains("frame_rate")) {
        sc.frameRate = number(root["frame_rate"], "frame_rate", 1, 1000);
    }
    if (root.contains("zulu")) {
        const auto z = gf_parseZulu(text(root["zulu"], "zulu"));
        if (!z) {
            fail("zulu", "must be \"YYYY-MM-DDTHH:MM:SSZ\"");
        }
        sc.zulu = z;
    }
    if (root.contains("start_delay_s")) {
        sc.startDelayS = number(root["start_delay_s"], "start_delay_s", 0, 86400);
    }
    if (root.contains("ground_alt_ft")) {
        sc.groundAltFt = number(root["ground_alt_ft"], "ground_alt_ft", -2000, 30000);
    }
    if (root.contains("user")) {
        readUser(root["user"], sc.user);
    }
    if (root.contains("refuse_titles")) {
        const json& r = root["refuse_titles"];
        if (!r.is_array()) {
            fail("refuse_titles", "must be a list of titles");
        }
        for (std::size_t i = 0; i < r.size(); ++i) {
            sc.refuseTitles.push_back(text(r[i], fmt::format("refuse_titles[{}]", i)));
        }
    }
    if (root.contains("object_limit")) {
        sc.objectLimit =
            static_cast<std::size_t>(number(root["object_limit"], "object_limit", 0, 1e6));
    }
    if (root.contains("timeline")) {
        const json& tl = root["timeline"];
        if (!tl.is_array()) {
            fail("timeline", "must be a list");
        }
        for (std::size_t i = 0; i < tl.size(); ++i) {
            sc.timeline.push_back(readEntry(tl[i], fmt::format("timeline[{}]", i)));
        }
        std::stable_sort(sc.timeline.begin(), sc.timeline.end(),
                         [](const TimelineEntry& a, const TimelineEntry& b) { return a.t < b.t; });
    }
    if (root.contains("trace")) {
        const json& t = root["trace"];
        onlyMembers(t, "trace", {"file", "interval_s"});
        if (t.contains("file")) {
            sc.traceFile = text(t["file"], "trace.file");
        }
        if (t.contains("interval_s")) {
            sc.traceIntervalS = number(t["interval_s"], "trace.interval_s", 0.001, 3600);
        }
    }
    return sc;
}

Scenario gf_loadScenario(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw ScenarioError(fmt::format("scenario: cannot read {}", gf_pathText(file)));
    }
    std::string content;
    char chunk[16 * 1024];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    return gf_parseScenario(content);
}

}  // namespace wnd::simstandin
