// Traffic flowing end to end: RealTraffic's lines and weather into the real `wendle`, and
// the program's link putting an aircraft into the simulator process and steering it there.
#include <gtest/gtest.h>

#include "sim/sim_test_util.h"
#include "standin_run.h"

namespace wnd {
namespace {

using e2e::StandInRun;
using namespace std::chrono_literals;

TEST(TrafficE2E, RunsAgainstBothStandInsUntilClosed) {
    StandInRun run(nlohmann::json::array(), true);
    run.startWendle();
    ASSERT_TRUE(run.logShows("Waiting for Prepar3Dv5 ..."));
    ASSERT_TRUE(run.logShows(e2e::simConnectedText())) << run.log();
    run.startRealTraffic({"--flights", "6", "--qnh", "1020"});
    ASSERT_TRUE(run.logShows("RealTraffic connected")) << run.log() << run.realTrafficOut();
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
    EXPECT_NE(run.realTrafficOut().find("received Qs121="), std::string::npos);
}

class LinkToSimProcess : public simtest::RunFrame {};

// The link against the wendle-sim binary: an aircraft created, identified, given a flight
// plan, moved and removed, all of it in the process's trace; then the simulator process is
// ended, which the link takes for a closed simulator.
TEST_F(LinkToSimProcess, AnAircraftLivesInTheSimulatorUntilItGoes) {
    sctest::SimProcess sim(R"({
        "zulu": "2024-03-01T10:29:45Z",
        "user": {"title": "Wendle Test Boeing", "atc_model": "B738", "lat": 47.4647,
                 "lon": 8.5492, "alt_ft": 1421, "heading_deg": 0, "on_ground": true},
        "trace": {"interval_s": 0.05}
    })");
    const std::uint16_t port = sim.port();
    ASSERT_NE(port, 0) << sim.process().err();
    simtest::writeCfg(dir_.path(), port);
    gf_tcpSimConnect().setConfigFolder(dir_.path());
    gf_createFlightPlanFolder(dir_.path());

    SimLink link;
    link.prepare(5);
    link.startClient();
    ASSERT_TRUE(testkit::waitUntil([&] { return link.simulatorRunning(); }, 5s));
    ASSERT_TRUE(simtest::waitUserPosition(link));

    link.pacing().queueLiveCreation(simtest::creation(0x4B1234, "SWR100"));
    link.pacingStep();
    std::vector<SimNotice> notices;
    const auto identified = [&] {
        return std::find_if(notices.begin(), notices.end(), [](const SimNotice& n) {
            return n.kind == NoticeKind::LiveIdentified;
        });
    };
    ASSERT_TRUE(testkit::waitUntil(
        [&] {
            link.requestAircraftInRange();
            link.takeNotices(notices);
            return identified() != notices.end();
        },
        3s, 50ms));
    EXPECT_EQ(identified()->aircraftId, 0x4B1234u);
    const std::uint32_t oid = identified()->objectId;
    const std::string object = "\"oid\":" + std::to_string(oid);
    EXPECT_TRUE(link.setFlightPlan(oid, kLarge, "LSZH", "EGLL", "SWR100"));
    PositionCommand p;
    p.objectId = oid;
    p.position.latitude = 47.47;
    p.position.longitude = 8.56;
    p.position.altitude = 2500;
    link.queues().addPosition(p);
    link.queues().swapPositionBuffers();
    ASSERT_TRUE(testkit::waitUntil(
        [&] { return sim.trace().find("\"ev\":\"pos\"," + object) != std::string::npos; }, 3s));
    link.pacing().queueRemoval(oid);
    ASSERT_TRUE(testkit::waitUntil(
        [&] {
            link.pacingStep();
            return sim.trace().find("\"ev\":\"remove\"," + object) != std::string::npos;
        },
        3s));

    sim.process().terminate();
    EXPECT_EQ(sim.process().wait(10s), 0);
    ASSERT_TRUE(testkit::waitUntil([&] { return !link.clientRunning(); }, 5s));
    EXPECT_FALSE(link.simulatorRunning());
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::SimWasClosed);
    EXPECT_EQ(gf_runControl().restartDelay(), 0);
    EXPECT_EQ(gf_board().simLink.load(), LinkState::Off);
    gf_removeFlightPlanFolder();

    const std::string trace = sim.trace();
    EXPECT_NE(trace.find("\"ev\":\"create\"," + object +
                         ",\"title\":\"Wendle Test Livery\","
                         "\"tail\":\"SWR100\""),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("\"name\":\"FREEZE_ALTITUDE_SET\""), std::string::npos);
    EXPECT_NE(trace.find("\"ev\":\"flight_plan\"," + object), std::string::npos);
    EXPECT_NE(trace.find("\"ev\":\"pos\"," + object + ",\"lat\":47.47,\"lon\":8.56"),
              std::string::npos);
    EXPECT_NE(trace.find(R"("ev":"state","sim":"running")"), std::string::npos);
    EXPECT_NE(trace.find(R"("ev":"user")"), std::string::npos);
    EXPECT_EQ(trace.find(R"("ev":"exception")"), std::string::npos);
}

}  // namespace
}  // namespace wnd
