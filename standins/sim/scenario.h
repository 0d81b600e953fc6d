// The scenario of the simulated Prepar3D: who it says it is, the user aircraft, the frame
// rate and a timeline of what happens to the simulator. JSON; the README lists the members.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace wnd::simstandin {

// A scenario that cannot be used; what() says which member and why.
class ScenarioError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct UserAircraft {
    std::string title = "Default Aircraft";
    std::string atcModel = "B738";
    double lat = 47.4647;
    double lon = 8.5492;
    double altFt = 1421.0;
    double headingDeg = 0.0;
    bool onGround = true;
    double groundSpeedKt = 0.0;
};

enum class Action { Pause, Resume, FlightLoaded, PositionChanged, Quit, FailRequests, MoveUser };

struct TimelineEntry {
    double t = 0.0;  // seconds since the stand-in started
    Action action = Action::Pause;
    // move_user only; what is absent stays as it was.
    std::optional<double> lat;
    std::optional<double> lon;
    std::optional<double> altFt;
    std::optional<bool> onGround;
    std::optional<double> headingDeg;
    std::optional<double> groundSpeedKt;
};

struct Scenario {
    std::string simName = "Lockheed Martin\xC2\xAE Prepar3D\xC2\xAE v5";  // UTF-8
    std::array<std::uint32_t, 4> simVersion{5, 4, 9, 28482};
    std::uint16_t port = 5111;
    double frameRate = 30.0;
    std::optional<std::int64_t> zulu;  // seconds since 1970 (UTC); absent: the system's time
    double startDelayS = 0.0;
    std::optional<double> groundAltFt;  // absent: the user's ground altitude
    UserAircraft user;
    std::vector<std::string> refuseTitles;
    std::size_t objectLimit = 1000;
    std::vector<TimelineEntry> timeline;  // in time order
    std::string traceFile;                // empty: no trace
    double traceIntervalS = 0.1;
};

// Throws ScenarioError.
Scenario gf_parseScenario(std::string_view json);
Scenario gf_loadScenario(const std::filesystem::path& file);
// "YYYY-MM-DDTHH:MM:SSZ" to seconds since 1970; nothing when malformed.
std::optional<std::int64_t> gf_parseZulu(std::string_view text);
const char* gf_actionName(Action a);

}  // namespace wnd::simstandin
