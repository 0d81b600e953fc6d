// The program's link, in this process, against the simulator process: the user aircraft
// read, aircraft created, refused, identified, frozen, steered and removed there, and a
// simulator that is not Prepar3D refused.
#include <gtest/gtest.h>

#include "sim/sim_test_util.h"
#include "simconnect/tcp_client.h"
#include "standin_run.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;

class LinkToSimProcess : public simtest::RunFrame {
  protected:
    void start(const std::string& scenario) {
        sim_ = std::make_unique<sctest::SimProcess>(scenario);
        const std::uint16_t port = sim_->port();
        ASSERT_NE(port, 0) << sim_->process().err();
        sctest::writeSimConnectCfg(dir_.path(), port);
        gf_tcpSimConnect().setConfigFolder(dir_.path());
        link_.startClient();
    }
    std::size_t traced(const std::string& ev, const nlohmann::json& fields = {}) {
        return sim_->traceOf(ev, fields).size();
    }
    std::unique_ptr<sctest::SimProcess> sim_;
};

TEST_F(LinkToSimProcess, AnAircraftLivesInTheSimulatorUntilItGoes) {
    auto& d = gf_dbase();
    d.halfWingspans = {{"B738", 0.0097}};
    d.largestHalfWingspan = 0.0429;
    d.categories[kLarge] = {"B738"};
    start(R"({
        "zulu": "2024-03-01T10:29:45Z",
        "user": {"title": "Wendle Test Boeing", "atc_model": "B738", "lat": 47.4647,
                 "lon": 8.5492, "alt_ft": 1421, "heading_deg": 0, "on_ground": true},
        "refuse_titles": ["Refused Livery"],
        "trace": {"interval_s": 0.05}
    })");
    // (The connection's log line and status: the black-box runs in this folder.)
    ASSERT_TRUE(testkit::waitUntil([&] { return link_.simulatorRunning(); }, 5s));
    EXPECT_EQ(gf_board().simLink.load(), LinkState::Waiting);  // title and stand not known
    // Asked for until it has come (the user object id is then known).
    ASSERT_TRUE(testkit::waitUntil(
        [&] {
            const auto u = link_.requestUserPosition();
            return !gf_isNullPosition(u.latitude, u.longitude);
        },
        5s, 20ms));
    EXPECT_NEAR(link_.userAircraft().latitude, 47.4647, 1e-6);
    EXPECT_EQ(link_.userObjectId(), 1u);
    EXPECT_GE(link_.simulationTime(), 1709288985);  // the simulator's clock, from its zulu time
    EXPECT_LT(link_.simulationTime(), 1709288985 + 30);
    link_.requestUserOnGround();
    EXPECT_TRUE(testkit::waitUntil([&] { return link_.userOnGround() == true; }, 5s));
    link_.requestUserTitleAndModel();
    ASSERT_TRUE(testkit::waitUntil([&] { return link_.userModel().has_value(); }, 5s));
    EXPECT_EQ(gf_board().userTitle(), "Wendle Test Boeing");
    EXPECT_TRUE(
        waitLog("SimConnect: User aircraft model: B738, half wing span: 18.0 meter, category: 2"));

    // One creation is refused, the other identified by its callsign.
    link_.pacing().queueLiveCreation(simtest::creation(0x4B1234, "SWR100"));
    link_.pacing().queueLiveCreation(simtest::creation(0x4B0002, "SWR2", "Refused Livery"));
    for (int i = 0; i < 51; ++i) {
        link_.pacingStep();
    }
    std::vector<SimNotice> notices;
    ASSERT_TRUE(testkit::waitUntil(
        [&] {
            link_.requestAircraftInRange();
            link_.takeNotices(notices);
            std::erase_if(notices,
                          [](const SimNotice& n) { return n.kind == NoticeKind::InRange; });
            return notices.size() == 2;
        },
        5s, 50ms));
    EXPECT_TRUE(link_.pendingCreations().empty());
    std::ranges::sort(notices, {}, &SimNotice::kind);
    EXPECT_EQ(notices[0].kind, NoticeKind::LiveIdentified);
    EXPECT_EQ(notices[0].aircraftId, 0x4B1234u);
    EXPECT_NEAR(notices[0].b, 1500.0 - 1416.0, 1.0);  // above the simulator's ground
    EXPECT_EQ(notices[1], (SimNotice{0, 0x4B0002, NoticeKind::CreationRefused}));

    // Flaps, a position and a flight plan (removals: the window's black-box run).
    const std::uint32_t oid = notices[0].objectId;
    AiControls ac{oid, kLarge};
    link_.commands().setFlaps(ac, 1);
    PositionCommand p;
    p.objectId = oid;
    p.position.latitude = 47.47;
    p.position.longitude = 8.56;
    p.position.altitude = 3000;
    link_.queues().addPosition(p);
    link_.queues().swapPositionBuffers();
    gf_createFlightPlanFolder(dir_.path());
    EXPECT_TRUE(link_.setFlightPlan(oid, kLarge, "LSZH", "EGLL", "SWR100"));
    EXPECT_EQ(testkit::readFile(gf_flightPlanPath(oid)), gf_flightPlanText(kLarge, "LSZH", "EGLL"));
    EXPECT_FALSE(link_.setFlightPlan(oid + 1, kLarge, "", "EGLL", "SWR101"));
    EXPECT_FALSE(std::filesystem::exists(gf_flightPlanPath(oid + 1)));
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            return traced("client_event", {{"oid", oid}, {"data", 1}}) == 3 &&  // the freezes
                   traced("client_event", {{"name", "FLAPS_SET"}, {"data", 3072}}) == 1 &&
                   traced("release", {{"oid", oid}}) >= 3 &&
                   traced("pos", {{"oid", oid}, {"lat", 47.47}, {"lon", 8.56}}) >= 1 &&
                   traced("flight_plan", {{"oid", oid}}) == 1;
        },
        5s));
    EXPECT_EQ(traced("exception"), 1u);  // the refusal: the registration was known
    EXPECT_FALSE(logHas("SIMCONNECT_EXCEPTION")) << log();

    // The simulator process ends: for the link a closed simulator.
    sim_->process().terminate();
    EXPECT_EQ(sim_->process().wait(10s), 0);
    ASSERT_TRUE(testkit::waitUntil([&] { return !link_.clientRunning(); }, 5s));
    EXPECT_FALSE(link_.simulatorRunning());
    EXPECT_FALSE(link_.connected());
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::SimWasClosed);
    EXPECT_EQ(gf_runControl().restartDelay(), 0);
    EXPECT_EQ(gf_board().simLink.load(), LinkState::Off);
    gf_removeFlightPlanFolder();
}

TEST_F(LinkToSimProcess, RefusesAnotherSimulatorWithUserError78) {
    start(R"({"simulator": {"name": "KittyHawk"}})");
    ASSERT_TRUE(testkit::waitUntil([&] { return !link_.clientRunning(); }, 5s));
    EXPECT_EQ(gf_board().error(), "78: KittyHawk, (MSFS) not being P3D connects ... ?");
    EXPECT_FALSE(gf_runControl().stopRequested());  // the user must mend it; the run waits
    EXPECT_EQ(gf_board().simLink.load(), LinkState::Off);
}

}  // namespace
}  // namespace wnd
