// Shared by the e2e suites that run `wendle` against a simulator: a working folder whose
// SimConnect.cfg names the simulator's port, the program and wendle-rt started in it, and a
// wendle-sim process of the run's own.
#pragma once

#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "simconnect/sim_process.h"
#include "testkit/testkit.h"

namespace wnd::e2e {

using namespace std::chrono_literals;

// The simulator the stand-in says it is (its name goes out in the ANSI code page, the
// program filters it), and how the program logs its connection.
inline constexpr std::array<int, 4> kSimVersion{5, 4, 9, 28482};
inline const std::string kSimName = "Lockheed Martin\xC2\xAE Prepar3D\xC2\xAE v5";
inline std::string simConnectedText() {
    return fmt::format("Prepar3D v5 ({}) connected", fmt::join(kSimVersion, "."));
}

using testkit::count;

// The user parked at Zurich on wendle-sim, a trace every second; `patch` is merged over it
// (a null removes a member).
inline std::string zurichScenario(const nlohmann::json& patch = nlohmann::json::object()) {
    nlohmann::json j{{"simulator", {{"name", kSimName}, {"version", kSimVersion}}},
                     {"ground_alt_ft", 1416},
                     {"user",
                      {{"title", "Test A320"},
                       {"atc_model", "A320"},
                       {"lat", 47.45115},
                       {"lon", 8.5584},
                       {"alt_ft", 1421},
                       {"heading_deg", 250},
                       {"on_ground", true}}},
                     {"trace", {{"interval_s", 1.0}}}};
    j.merge_patch(patch);
    return j.dump();
}

// Runs a command to its end (two minutes at most): its exit status and its output.
inline std::pair<int, std::string> runCommand(const std::filesystem::path& exe,
                                              const std::vector<std::string>& args,
                                              const std::filesystem::path& dir) {
    testkit::Process::Options o;
    o.stdoutFile = dir / "cmd.out";
    o.stderrFile = dir / "cmd.err";
    testkit::Process p(exe, args, o);
    const auto rc = p.wait(120s);
    return {rc.value_or(-1),
            testkit::readFile(dir / "cmd.out") + testkit::readFile(dir / "cmd.err")};
}

// The demo's livery folder, written by its script into dir/Airplanes.
inline std::string demoLiveries(const std::filesystem::path& dir) {
    const std::filesystem::path folder = dir / "Airplanes";
    const auto [rc, out] = runCommand(
        "/usr/bin/python3",
        {(testkit::sourceDir() / "scripts" / "demo-liveries").string(), folder.string()}, dir);
    EXPECT_EQ(rc, 0) << out;
    return folder.string();
}

// `wendle` started at once on the simulator at that port, without scans; with RealTraffic
// "installed" when asked.
class WendleRun {
  public:
    // `parameters` replace the defaults of the same name.
    // `workFiles` (path in the working folder, file to copy there) are in place before the
    // program starts; `env` adds to its environment.
    explicit WendleRun(
        std::uint16_t simPort, bool realTrafficHere = false,
        std::vector<std::pair<std::string, std::string>> parameters = {},
        const std::vector<std::pair<std::string, std::filesystem::path>>& workFiles = {},
        const std::map<std::string, std::string>& env = {}) {
        for (const auto& [to, from] : workFiles) {
            std::filesystem::create_directories((wf_.work / to).parent_path());
            std::filesystem::copy_file(from, wf_.work / to,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        std::vector<std::pair<std::string, std::string>> values{
            {"SIM_INSTALL_PATH", (wf_.dir / "Prepar3D v5").string()},
            {"SCAN_LIVERIES", "false"},
            {"SCAN_AIRPORTS", "false"}};
        for (const auto& given : parameters) {
            auto it = std::find_if(values.begin(), values.end(),
                                   [&](const auto& v) { return v.first == given.first; });
            if (it != values.end()) {
                it->second = given.second;
            } else {
                values.push_back(given);
            }
        }
        wf_.writeParameters(values);
        if (realTrafficHere) {
            testkit::writeFile(wf_.config / "InsideSystems" / "RealTraffic.jar", "");
        }
        sctest::writeSimConnectCfg(wf_.work, simPort);
        testkit::Process::Options o = wf_.options();
        for (const auto& [k, v] : env) {
            o.env[k] = v;
        }
        wendle_ = std::make_unique<testkit::Process>(testkit::binary("wendle"),
                                                     std::vector<std::string>{}, o);
    }
    void startRealTraffic(const std::vector<std::string>& args) {
        testkit::Process::Options o = wf_.options();
        o.stdoutFile = wf_.dir / "rt.out";
        o.stderrFile = wf_.dir / "rt.err";
        rt_ = std::make_unique<testkit::Process>(testkit::binary("wendle-rt"), args, o);
    }
    bool logShows(const std::string& text, std::chrono::milliseconds timeout = 20s) {
        return testkit::waitUntil([&] { return log().find(text) != std::string::npos; }, timeout,
                                  50ms);
    }
    std::string log() const { return wf_.log(); }
    const std::filesystem::path& workDir() const { return wf_.work; }
    std::string realTrafficOut() const { return testkit::readFile(wf_.dir / "rt.out"); }
    testkit::Process& wendle() { return *wendle_; }
    // SIGTERM, then the exit status within 5 s (nothing when it did not end in time).
    std::optional<int> terminateWithin5s() {
        wendle_->terminate();
        return wendle_->wait(5s);
    }

  private:
    testkit::WorkFolder wf_;
    std::unique_ptr<testkit::Process> wendle_;
    std::unique_ptr<testkit::Process> rt_;
};

// The simulator process, started before the run that uses its port.
struct SimFirst {
    explicit SimFirst(const std::string& scenario) : sim(scenario) {}
    sctest::SimProcess sim;
};

// The user parked at Zurich on wendle-sim, with the timeline given and a trace every second.
class StandInRun : private SimFirst, public WendleRun {
  public:
    explicit StandInRun(nlohmann::json timeline = nlohmann::json::array(),
                        bool realTrafficHere = false,
                        std::vector<std::pair<std::string, std::string>> parameters = {})
        : SimFirst(scenario(std::move(timeline))),
          WendleRun(sim.port(), realTrafficHere, std::move(parameters)) {
        EXPECT_NE(sim.port(), 0) << sim.process().err();
    }
    sctest::SimProcess& simulator() { return sim; }

  private:
    static std::string scenario(nlohmann::json timeline) {
        return zurichScenario({{"ground_alt_ft", nullptr},
                               {"user", {{"alt_ft", 1416}}},
                               {"timeline", std::move(timeline)}});
    }
};

}  // namespace wnd::e2e
