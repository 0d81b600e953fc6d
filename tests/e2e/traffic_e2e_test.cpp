// The real `wendle` against the simulator stand-in (and the RealTraffic stand-in).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "testkit/testkit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

namespace wnd {
namespace {

using testkit::Process;
using testkit::readFile;
using testkit::waitUntil;
using testkit::WorkFolder;

// A working folder with the simulator stand-in on a port of its own.
class StandInRun {
  public:
    explicit StandInRun(json timeline = json::array(), bool realTrafficHere = false) {
        wf_.writeParameters({{"SIM_INSTALL_PATH", (wf_.dir / "Prepar3D v5").string()},
                             {"SCAN_LIVERIES", "false"},
                             {"SCAN_AIRPORTS", "false"}});
        if (realTrafficHere) {
            testkit::writeFile(wf_.config / "InsideSystems" / "RealTraffic.jar", "");
        }
        const json scenario = {{"user",
                                {{"title", "Test A320"},
                                 {"atc_model", "A320"},
                                 {"lat", 47.45115},
                                 {"lon", 8.5584},
                                 {"alt_ft", 1416},
                                 {"heading_deg", 250},
                                 {"on_ground", true}}},
                               {"timeline", std::move(timeline)}};
        testkit::writeFile(wf_.dir / "sim.json", scenario.dump());
        Process::Options o = wf_.options();
        o.stdoutFile = wf_.dir / "sim.out";
        o.stderrFile = wf_.dir / "sim.err";
        sim_ = std::make_unique<Process>(
            testkit::binary("wendle-sim"),
            std::vector<std::string>{"--scenario", (wf_.dir / "sim.json").string(), "--port", "0"},
            o);
        std::string out;
        std::smatch m;
        EXPECT_TRUE(waitUntil(
            [&] {
                out = sim_->out();
                return std::regex_search(out, m, std::regex(R"(listening on 127\.0\.0\.1:(\d+))"));
            },
            10s));
        testkit::writeFile(
            wf_.work / "SimConnect.cfg",
            "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + m[1].str() + "\n");
    }

    void startWendle() {
        wendle_ = std::make_unique<Process>(testkit::binary("wendle"), std::vector<std::string>{},
                                            wf_.options());
    }
    void startRealTraffic(std::vector<std::string> args) {
        Process::Options o = wf_.options();
        o.stdoutFile = wf_.dir / "rt.out";
        o.stderrFile = wf_.dir / "rt.err";
        rt_ = std::make_unique<Process>(testkit::binary("wendle-rt"), args, o);
    }
    bool logShows(const std::string& text, std::chrono::milliseconds timeout = 20s) {
        return waitUntil([&] { return log().find(text) != std::string::npos; }, timeout, 50ms);
    }
    std::string log() const { return wf_.log(); }
    Process& wendle() { return *wendle_; }
    const WorkFolder& folder() const { return wf_; }

  private:
    WorkFolder wf_;
    std::unique_ptr<Process> sim_;
    std::unique_ptr<Process> wendle_;
    std::unique_ptr<Process> rt_;
};

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) {
        ++n;
    }
    return n;
}

TEST(TrafficE2E, RunsAgainstBothStandInsUntilClosed) {
    StandInRun run(json::array(), true);
    run.startWendle();
    ASSERT_TRUE(run.logShows("Waiting for Prepar3Dv5 ..."));
    ASSERT_TRUE(run.logShows("Prepar3D v5 (5.4.9.28482) connected")) << run.log();
    run.startRealTraffic({"--flights", "6", "--qnh", "1020"});
    ASSERT_TRUE(run.logShows("RealTraffic connected"))
        << run.log() << readFile(run.folder().dir / "rt.out")
        << readFile(run.folder().dir / "rt.err");
    ASSERT_TRUE(run.logShows("QNH Reader connected"));
    ASSERT_TRUE(run.logShows("Traffic Reader connected"));
    // The readers have queued traffic by now; the cycle runs until the window closes.
    std::this_thread::sleep_for(3s);
    EXPECT_TRUE(run.wendle().running());
    run.wendle().terminate();
    EXPECT_EQ(run.wendle().wait(20s), 0);
    const std::string log = run.log();
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos);
    EXPECT_NE(log.find("SimConnect closed ok"), std::string::npos);
    EXPECT_EQ(log.find("No traffic in this region?"), std::string::npos) << log;
    EXPECT_NE(readFile(run.folder().dir / "rt.out").find("received Qs121="), std::string::npos);
}

TEST(TrafficE2E, PauseAndResumeSwitchTheNotRunningModeOnce) {
    StandInRun run(json::array({{{"t", 8}, {"do", "pause"}}, {{"t", 11}, {"do", "resume"}}}));
    run.startWendle();
    // Traffic from the start, so the cycle runs before the pause.
    run.startRealTraffic({"--no-psx", "--center", "47.45,8.56", "--flights", "4"});
    ASSERT_TRUE(run.logShows("Flight not running"));
    ASSERT_TRUE(run.logShows("Flight resumed")) << run.log();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(count(run.log(), "Flight not running"), 1U);
    run.wendle().terminate();
    EXPECT_EQ(run.wendle().wait(20s), 0);
}

TEST(TrafficE2E, SimulatorQuitEndsTheProgram) {
    StandInRun run(json::array({{{"t", 5}, {"do", "quit"}}}));
    run.startWendle();
    ASSERT_TRUE(run.logShows("Exiting: SIM WAS CLOSED", 30s)) << run.log();
    EXPECT_EQ(run.wendle().wait(20s), 0);
}

// A link that breaks under a running simulator is a failed request: the run stops with
// exit reason 5, starts again 9 s later and finds the simulator again.
TEST(TrafficE2E, ABrokenLinkIsARequestErrorAndTheRunRestarts) {
    StandInRun run(json::array({{{"t", 5}, {"do", "fail_requests"}}}));
    run.startWendle();
    ASSERT_TRUE(run.logShows("Exiting: SIMCONNECT ERROR", 30s)) << run.log();
    EXPECT_NE(run.wendle().out().find("SimConnect request error"), std::string::npos);
    EXPECT_EQ(run.log().find("SIM WAS CLOSED"), std::string::npos) << run.log();
    ASSERT_TRUE(run.logShows("Restarting after 9 seconds"));
    ASSERT_TRUE(waitUntil([&] { return count(run.log(), "(5.4.9.28482) connected") == 2; }, 30s))
        << run.log();
    run.wendle().terminate();
    EXPECT_EQ(run.wendle().wait(20s), 0);
}

TEST(TrafficE2E, NewFlightAsksForARestartAndEnds) {
    StandInRun run(json::array({{{"t", 5}, {"do", "flight_loaded"}}}));
    run.startWendle();
    ASSERT_TRUE(run.logShows("Exiting: NEW FLIGHT", 30s)) << run.log();
    ASSERT_TRUE(
        run.logShows("New flight detected, Wendle_P3D will close, please restart manually ..."));
    EXPECT_TRUE(run.wendle().running());  // it waits 10 s before it goes
    EXPECT_EQ(run.wendle().wait(25s), 0);
}

TEST(TrafficE2E, ClosingWhileWaitingForTheFlightStartsNoReader) {
    StandInRun run(json::array({{{"t", 0}, {"do", "pause"}}}));
    run.startWendle();
    ASSERT_TRUE(run.logShows("Prepar3D v5 (5.4.9.28482) connected"));
    std::this_thread::sleep_for(1s);
    run.wendle().terminate();
    EXPECT_EQ(run.wendle().wait(20s), 0);
    const std::string log = run.log();
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos);
    EXPECT_EQ(log.find("Reader connected"), std::string::npos) << log;
}

}  // namespace
}  // namespace wnd
