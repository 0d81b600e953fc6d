// A run's life against the simulator, from outside: the real `wendle` through the simulator's
// pause, resume and quit (with the traffic by UDP only), a broken link, a new flight, and a
// close while it waits for the flight.
#include <gtest/gtest.h>

#include "standin_run.h"

namespace wnd {
namespace {

using e2e::count;
using e2e::StandInRun;
using nlohmann::json;
using namespace std::chrono_literals;

// The pause switches the not-running mode on once, the resume off; the simulator's quit
// reaches the program as a closed simulator: it stops for good, and both processes end.
// With Aerowinx, RealTraffic is not asked for a connection: the traffic comes by UDP only.
TEST(SimLifecycle, PauseResumeAndTheSimulatorsQuitEndTheRun) {
    StandInRun run(json::array({{{"t", 8}, {"do", "pause"}},
                                {{"t", 11}, {"do", "resume"}},
                                {{"t", 15}, {"do", "quit"}}}),
                   true, {{"AEROWINX", "true"}});
    // Traffic from the start, so the cycle runs before the pause.
    run.startRealTraffic({"--no-psx", "--center", "47.45,8.56", "--flights", "4"});
    ASSERT_TRUE(run.logShows("Traffic Reader connected")) << run.log();
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
    EXPECT_EQ(log.find("Waiting for RealTraffic"), std::string::npos);
    EXPECT_EQ(run.simulator().process().wait(10s), 0);
}

// A link that breaks under a running simulator is a failed request: the run stops with exit
// reason SIMCONNECT ERROR, starts again 9 s later and finds the simulator again.
TEST(SimLifecycle, ABrokenLinkIsARequestErrorAndTheRunRestarts) {
    StandInRun run(json::array({{{"t", 5}, {"do", "fail_requests"}}}));
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
    ASSERT_TRUE(run.logShows("Exiting: NEW FLIGHT", 30s)) << run.log();
    ASSERT_TRUE(
        run.logShows("New flight detected, Wendle_P3D will close, please restart manually ..."));
    EXPECT_TRUE(run.wendle().running());  // it waits 10 s before it goes
    EXPECT_EQ(run.wendle().wait(25s), 0);
}

TEST(SimLifecycle, ClosingWhileWaitingForTheFlightStartsNoReader) {
    StandInRun run(json::array({{{"t", 0}, {"do", "pause"}}}));
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
