// Shared by the e2e suites that run `wendle` against the stand-ins: a working folder whose
// SimConnect.cfg points at a wendle-sim process of its own, the program, and wendle-rt.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <nlohmann/json.hpp>
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
    return "Prepar3D v5 (" + std::to_string(kSimVersion[0]) + "." + std::to_string(kSimVersion[1]) +
           "." + std::to_string(kSimVersion[2]) + "." + std::to_string(kSimVersion[3]) +
           ") connected";
}

inline std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) {
        ++n;
    }
    return n;
}

// The user parked at Zurich, with the timeline given; no scans, a trace every second.
class StandInRun {
  public:
    explicit StandInRun(nlohmann::json timeline = nlohmann::json::array(),
                        bool realTrafficHere = false)
        : sim_(nlohmann::json{{"simulator", {{"name", kSimName}, {"version", kSimVersion}}},
                              {"user",
                               {{"title", "Test A320"},
                                {"atc_model", "A320"},
                                {"lat", 47.45115},
                                {"lon", 8.5584},
                                {"alt_ft", 1416},
                                {"heading_deg", 250},
                                {"on_ground", true}}},
                              {"timeline", std::move(timeline)},
                              {"trace", {{"interval_s", 1.0}}}}
                   .dump()) {
        wf_.writeParameters({{"SIM_INSTALL_PATH", (wf_.dir / "Prepar3D v5").string()},
                             {"SCAN_LIVERIES", "false"},
                             {"SCAN_AIRPORTS", "false"}});
        if (realTrafficHere) {
            testkit::writeFile(wf_.config / "InsideSystems" / "RealTraffic.jar", "");
        }
        const std::uint16_t port = sim_.port();
        EXPECT_NE(port, 0) << sim_.process().err();
        testkit::writeFile(
            wf_.work / "SimConnect.cfg",
            "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) + "\n");
    }

    void startWendle() {
        wendle_ = std::make_unique<testkit::Process>(testkit::binary("wendle"),
                                                     std::vector<std::string>{}, wf_.options());
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
    std::string realTrafficOut() const { return testkit::readFile(wf_.dir / "rt.out"); }
    testkit::Process& wendle() { return *wendle_; }
    sctest::SimProcess& sim() { return sim_; }

  private:
    testkit::WorkFolder wf_;
    sctest::SimProcess sim_;
    std::unique_ptr<testkit::Process> wendle_;
    std::unique_ptr<testkit::Process> rt_;
};

}  // namespace wnd::e2e
