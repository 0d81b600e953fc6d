// The link against the real wendle-sim process: one flight with a pause, an AI aircraft
// created, identified, moved and given a flight plan, and the simulator's quit.
#include <gtest/gtest.h>

#include "sim_test_util.h"
#include "simconnect/sim_process.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;

class SimProcessLink : public simtest::RunFrame {};

TEST_F(SimProcessLink, OneFlightFromConnectToQuit) {
    sctest::SimProcess sim(R"({
        "simulator": {"name": "Lockheed Martin\u00ae Prepar3D\u00ae v5",
                      "version": [5, 4, 9, 28482]},
        "zulu": "2024-03-01T10:29:45Z",
        "user": {"title": "Wendle Test Boeing", "atc_model": "B738", "lat": 47.4647,
                 "lon": 8.5492, "alt_ft": 1421, "heading_deg": 0, "on_ground": true,
                 "ground_speed_kt": 0},
        "timeline": [{"t": 4, "do": "pause"}, {"t": 5, "do": "resume"}, {"t": 7, "do": "quit"}]
    })");
    const std::uint16_t port = sim.port();
    ASSERT_NE(port, 0);
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
    ASSERT_TRUE(testkit::waitUntil(
        [&] {
            link.requestAircraftInRange();
            link.takeNotices(notices);
            return std::any_of(notices.begin(), notices.end(), [](const SimNotice& n) {
                return n.kind == NoticeKind::LiveIdentified;
            });
        },
        3s, 50ms));
    const auto id = std::find_if(notices.begin(), notices.end(), [](const SimNotice& n) {
        return n.kind == NoticeKind::LiveIdentified;
    });
    EXPECT_EQ(id->aircraftId, 0x4B1234u);
    const std::uint32_t oid = id->objectId;
    EXPECT_TRUE(link.setFlightPlan(oid, kLarge, "LSZH", "EGLL", "SWR100"));
    PositionCommand p;
    p.objectId = oid;
    p.position.latitude = 47.47;
    p.position.longitude = 8.56;
    p.position.altitude = 2500;
    link.queues().addPosition(p);
    link.queues().swapPositionBuffers();

    ASSERT_TRUE(testkit::waitUntil([&] { return !link.simulatorRunning(); }, 6s));
    ASSERT_TRUE(testkit::waitUntil([&] { return link.simulatorRunning(); }, 3s));
    ASSERT_TRUE(testkit::waitUntil([&] { return !link.clientRunning(); }, 5s));
    EXPECT_FALSE(link.simulatorRunning());
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::SimWasClosed);
    EXPECT_EQ(gf_runControl().restartDelay(), 0);
    EXPECT_TRUE(logHas("Flight Simulator no longer connected, Wendle_P3D will stop ..."));
    EXPECT_TRUE(logHas("SimConnect closed ok"));
    EXPECT_EQ(gf_display().simLink.load(), 0);
    ASSERT_EQ(sim.process().wait(5s), 0);

    const std::string trace = sim.trace();
    EXPECT_NE(trace.find("\"ev\":\"create\",\"oid\":" + std::to_string(oid)), std::string::npos);
    EXPECT_NE(trace.find("\"name\":\"FREEZE_ALTITUDE_SET\""), std::string::npos);
    EXPECT_NE(trace.find("\"ev\":\"flight_plan\",\"oid\":" + std::to_string(oid)),
              std::string::npos);
    EXPECT_NE(trace.find("\"ev\":\"pos\",\"oid\":" + std::to_string(oid) + ",\"lat\":47.47"),
              std::string::npos);
    gf_removeFlightPlanFolder();
}

}  // namespace
}  // namespace wnd
