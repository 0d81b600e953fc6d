// A run's life against the simulator, from outside: wendle-sim's own command line and a
// client that sends it garbage, then the real `wendle` through the simulator's pause, resume and
// quit, a broken link, a new flight, and a close while it waits for the flight.
#include <gtest/gtest.h>

#include "platform/socket.h"
#include "simconnect/wire.h"
#include "standin_run.h"

namespace wnd {
namespace {

using e2e::count;
using e2e::StandInRun;
using nlohmann::json;
using namespace std::chrono_literals;

TEST(WendleSim, BadCommandLinesScenariosAndPacketSizesAreClearErrors) {
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
        // The port is taken: it says so and ends.
        {"{}", {"--port", port}, 1, "cannot listen on 127.0.0.1:" + port},
    };
    for (const auto& [scenario, args, status, error] : cases) {
        sctest::SimProcess sim(scenario, args);
        EXPECT_EQ(sim.process().wait(10s), status) << scenario;
        EXPECT_NE(sim.process().err().find(error), std::string::npos) << sim.process().err();
    }

    // A size that loses the packet boundaries closes that connection; the next is served.
    auto connect = [&] {
        auto s = platform::Socket::create(platform::SocketType::Tcp);
        EXPECT_TRUE(s.connect("127.0.0.1", first.port()));
        s.setReceiveTimeout(5s);
        return s;
    };
    const std::uint8_t size5[] = {5, 0, 0, 0, 0xAA};
    std::uint8_t reply[64];
    platform::Socket garbage = connect();
    ASSERT_EQ(garbage.send(size5, sizeof size5), 5);
    EXPECT_EQ(garbage.receive(reply, sizeof reply), 0);
    EXPECT_NE(first.process().out().find("client sent a packet size of 5: connection closed"),
              std::string::npos);
    platform::Socket good = connect();
    scwire::PacketWriter open;
    scwire::gf_encodeOpen(open, "after the garbage");
    open.endClient(1);
    ASSERT_EQ(good.send(open.buffer().data(), open.size()), static_cast<long>(open.size()));
    ASSERT_GE(good.receive(reply, sizeof reply), 12);
    EXPECT_EQ(scwire::gf_readU32(reply + 8), SIMCONNECT_RECV_ID_OPEN);
}

// The pause switches the not-running mode on once, the resume off; the simulator's quit
// reaches the program as a closed simulator: it stops for good, and both processes end.
TEST(SimLifecycle, PauseResumeAndTheSimulatorsQuitEndTheRun) {
    StandInRun run(json::array(
        {{{"t", 8}, {"do", "pause"}}, {{"t", 11}, {"do", "resume"}}, {{"t", 15}, {"do", "quit"}}}));
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
