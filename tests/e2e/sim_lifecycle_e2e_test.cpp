// A run's life against the simulator, from outside: wendle-sim's own command line, then the
// real `wendle` through the simulator's pause, resume and quit, a broken link, a new flight,
// and a close while it waits for the flight.
#include <gtest/gtest.h>

#include "standin_run.h"

namespace wnd {
namespace {

using e2e::count;
using e2e::StandInRun;
using nlohmann::json;
using namespace std::chrono_literals;

TEST(WendleSim, BadCommandLinesAndScenariosAreClearErrors) {
    sctest::SimProcess first("{}");
    const std::string port = std::to_string(first.port());
    ASSERT_NE(port, "0");
    const struct {
        const char* scenario;
        std::vector<std::string> args;
        int status;
        std::string error;
    } cases[] = {
        {R"({"user": {"title": "X", "colour": "red"}})",
         {},
         2,
         "scenario: user: unknown member 'colour'"},
        {R"({"timeline": [{"t": 1, "do": "explode"}]})",
         {},
         2,
         "timeline[0].do: unknown action 'explode'"},
        {"{ not json", {}, 2, "scenario: not valid JSON"},
        {"{}",
         {"--port", "x"},
         2,
         "wendle-sim: 'x' is not a port number\nusage: wendle-sim --scenario FILE"},
        // The port is taken: it says so and ends.
        {"{}", {"--port", port}, 1, "cannot listen on 127.0.0.1:" + port},
    };
    for (const auto& [scenario, args, status, error] : cases) {
        sctest::SimProcess sim(scenario, args);
        EXPECT_EQ(sim.process().wait(10s), status) << scenario;
        EXPECT_NE(sim.process().err().find(error), std::string::npos) << sim.process().err();
    }
}

// The pause switches the not-running mode on once, the resume off; the simulator's quit
// reaches the program as a closed simulator: it stops for good, and both processes end.
TEST(SimLifecycle, PauseResumeAndTheSimulatorsQuitEndTheRun) {
    StandInRun run(json::array(
        {{{"t", 8}, {"do", "pause"}}, {{"t", 11}, {"do", "resume"}}, {{"t", 15}, {"do", "quit"}}}));
    run.startWendle();
    // Traffic from the start, so the cycle runs before the pause.
    run.startRealTraffic({"--no-psx", "--center", "47.45,8.56", "--flights", "4"});
    ASSERT_TRUE(run.logShows("Flight not running"));
    ASSERT_TRUE(run.logShows("Flight resumed")) << run.log();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(count(run.log(), "Flight not running"), 1U);  // the quit switches it on again
    ASSERT_TRUE(run.logShows("Exiting: SIM WAS CLOSED", 30s)) << run.log();
    EXPECT_EQ(run.wendle().wait(20s), 0);
    const std::string log = run.log();
    EXPECT_NE(log.find("Flight Simulator no longer connected, Wendle_P3D will stop ..."),
              std::string::npos);
    EXPECT_NE(log.find("SimConnect closed ok"), std::string::npos);
    EXPECT_EQ(log.find("Restarting after"), std::string::npos);

    EXPECT_EQ(run.sim().process().wait(10s), 0);
    const std::string trace = run.sim().trace();
    const auto running = trace.find(R"("ev":"state","sim":"running")");
    const auto paused = trace.find(R"("ev":"state","sim":"paused")");
    const auto resumed = trace.find(R"("ev":"state","sim":"running")", paused);
    const auto quit = trace.find(R"("ev":"state","sim":"quit")");
    EXPECT_TRUE(running < paused && paused < resumed && resumed < quit && quit != trace.npos)
        << trace;
}

// A link that breaks under a running simulator is a failed request: the run stops with exit
// reason SIMCONNECT ERROR, starts again 9 s later and finds the simulator again.
TEST(SimLifecycle, ABrokenLinkIsARequestErrorAndTheRunRestarts) {
    StandInRun run(json::array({{{"t", 5}, {"do", "fail_requests"}}}));
    run.startWendle();
    ASSERT_TRUE(run.logShows("Exiting: SIMCONNECT ERROR", 30s)) << run.log();
    EXPECT_NE(run.wendle().out().find("SimConnect request error"), std::string::npos);
    EXPECT_EQ(run.log().find("SIM WAS CLOSED"), std::string::npos) << run.log();
    ASSERT_TRUE(run.logShows("Restarting after 9 seconds"));
    ASSERT_TRUE(
        testkit::waitUntil([&] { return count(run.log(), e2e::simConnectedText()) == 2; }, 30s))
        << run.log();
    run.wendle().terminate();
    EXPECT_EQ(run.wendle().wait(20s), 0);
}

TEST(SimLifecycle, NewFlightAsksForARestartAndEnds) {
    StandInRun run(json::array({{{"t", 5}, {"do", "flight_loaded"}}}));
    run.startWendle();
    ASSERT_TRUE(run.logShows("Exiting: NEW FLIGHT", 30s)) << run.log();
    ASSERT_TRUE(
        run.logShows("New flight detected, Wendle_P3D will close, please restart manually ..."));
    EXPECT_TRUE(run.wendle().running());  // it waits 10 s before it goes
    EXPECT_EQ(run.wendle().wait(25s), 0);
}

TEST(SimLifecycle, ClosingWhileWaitingForTheFlightStartsNoReader) {
    StandInRun run(json::array({{{"t", 0}, {"do", "pause"}}}));
    run.startWendle();
    ASSERT_TRUE(run.logShows(e2e::simConnectedText()));
    std::this_thread::sleep_for(1s);
    run.wendle().terminate();
    EXPECT_EQ(run.wendle().wait(20s), 0);
    const std::string log = run.log();
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos);
    EXPECT_EQ(log.find("Reader connected"), std::string::npos) << log;
}

}  // namespace
}  // namespace wnd
