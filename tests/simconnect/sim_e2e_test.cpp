// The wendle-sim binary from outside: command line, scenario errors, signals, the timeline's
// quit, and the program's whole cycle through our client.
#include <gtest/gtest.h>
#include <signal.h>

#include "harness.h"
#include "sim_process.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using sctest::Client;
using sctest::Msg;
using sctest::SimProcess;

std::size_t countLines(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

TEST(WendleSim, RunsTheWholeCycleAndTracesIt) {
    SimProcess sim(R"({
        "simulator": {"name": "Lockheed Martin® Prepar3D® v6", "version": [6, 0, 34, 31011]},
        "zulu": "2024-07-01T12:00:00Z",
        "user": {"title": "Wendle Test Cessna", "atc_model": "C172", "lat": 47.4647, "lon": 8.5492,
                 "alt_ft": 1421, "heading_deg": 280, "on_ground": true},
        "trace": {"interval_s": 0.05}
    })");
    const auto port = sim.port();
    ASSERT_NE(port, 0) << sim.process().out() << sim.process().err();
    Client c(port);
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_OPEN), nullptr);
    EXPECT_STREQ(c.find(SIMCONNECT_RECV_ID_OPEN)->as<SIMCONNECT_RECV_OPEN>().szApplicationName,
                 "Lockheed Martin\xAE Prepar3D\xAE v6");
    sctest::registerLikeTheProgram(c.h);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(c.h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), kScOk);
    const Msg* user = c.waitFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_NE(user, nullptr);
    EXPECT_NEAR(user->at<double>(32), 280.0 * 3.14159265358979 / 180.0, 1e-9);

    DWORD oids[3] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(SimConnect_AICreateNonATCAircraft(
                      c.h, "Wendle Test Airliner", ("HB-JC" + std::to_string(i)).c_str(),
                      sctest::initPosition(47.45 + 0.01 * i, 8.56, 0, 140, true), 104),
                  kScOk);
    }
    ASSERT_TRUE(c.pumpUntil([&] { return c.count(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID) == 3; }));
    int n = 0;
    for (const Msg& m : c.msgs) {
        if (m.id() == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID) {
            oids[n++] = m.as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>().dwObjectID;
        }
    }
    ASSERT_TRUE(
        c.pumpUntil([&] { return c.count(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE) == 3; }));
    for (int step = 1; step <= 3; ++step) {
        for (int k = 0; k < 3; ++k) {
            sctest::Position402 p{47.45 + 0.01 * k, 8.56 + 0.001 * step, 0, 0, 2.44, 1421, 0, 15};
            ASSERT_EQ(SimConnect_SetDataOnSimObject(c.h, 402, oids[k], 0, 0, sizeof p, &p), kScOk);
        }
        c.pumpFor(100ms);
    }
    for (DWORD oid : oids) {
        ASSERT_EQ(SimConnect_AIRemoveObject(c.h, oid, 105), kScOk);
    }
    ASSERT_TRUE(
        c.pumpUntil([&] { return c.count(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE) == 6; }));
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EXCEPTION), 0u);

    sim.process().terminate();
    EXPECT_EQ(sim.process().wait(10s), 0);
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_QUIT), nullptr);  // the process went away
    const std::string trace = sim.trace();
    EXPECT_EQ(countLines(trace, R"("ev":"create")"), 3u) << trace;
    EXPECT_EQ(countLines(trace, R"("ev":"remove")"), 3u);
    EXPECT_NE(trace.find(R"("tail":"HB-JC2")"), std::string::npos);
    EXPECT_NE(trace.find(R"("lon":8.563)"), std::string::npos);
    EXPECT_NE(trace.find(R"("ev":"state","sim":"running")"), std::string::npos);
    EXPECT_GT(countLines(trace, R"("ev":"user")"), 0u);
}

TEST(WendleSim, TheTimelinesQuitTellsTheClientsAndEndsTheProcess) {
    SimProcess sim(R"({"timeline": [{"t": 2.0, "do": "pause"}, {"t": 2.5, "do": "quit"}]})");
    const auto port = sim.port();
    ASSERT_NE(port, 0);
    Client c(port);
    sctest::registerLikeTheProgram(c.h);
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_QUIT, {}, 10s), nullptr);
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EVENT, sctest::isEvent(201, 0)), 1u);
    EXPECT_EQ(sim.process().wait(10s), 0);
    EXPECT_NE(sim.trace().find(R"("sim":"quit")"), std::string::npos);
}

TEST(WendleSim, BadCommandLinesAndScenariosAreClearErrors) {
    SimProcess first("{}");
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
        SimProcess sim(scenario, args);
        EXPECT_EQ(sim.process().wait(10s), status) << scenario;
        EXPECT_NE(sim.process().err().find(error), std::string::npos) << sim.process().err();
    }
}

}  // namespace
}  // namespace wnd
