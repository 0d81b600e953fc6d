// The link with its SimClient thread: the registration, then on the in-process stand-in the
// open handling, the user aircraft, AI aircraft created, identified, frozen, moved and given
// a flight plan, and the retries and stop without a simulator.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "board/status_board.h"
#include "sim_test_util.h"
#include "standins/sim/scenario.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using simstandin::Scenario;

class LinkOnStandIn : public simtest::RunFrame {
  protected:
    void start(Scenario sc) {
        sim_ = std::make_unique<sctest::StandIn>(std::move(sc));
        simtest::writeCfg(dir_.path(), sim_->port());
        gf_tcpSimConnect().setConfigFolder(dir_.path());
        link_ = std::make_unique<SimLink>();
        link_->prepare(5);
        link_->startClient();
    }
    void TearDown() override {
        if (link_) {
            link_->stopClient();
        }
        link_.reset();
        sim_.reset();
        RunFrame::TearDown();  // the transport is the backend again
    }
    bool waitRunning() {
        return testkit::waitUntil([&] { return link_->simulatorRunning(); }, 5s);
    }
    // Trace lines of one kind that have all of `fields`.
    std::size_t traced(const std::string& ev, const nlohmann::json& fields = {}) {
        const auto lines = sim_->traceOf(ev);
        return static_cast<std::size_t>(std::ranges::count_if(lines, [&](const auto& j) {
            return std::ranges::all_of(fields.items(), [&](const auto& f) {
                return j.contains(f.key()) && j[f.key()] == f.value();
            });
        }));
    }

    std::unique_ptr<sctest::StandIn> sim_;
    std::unique_ptr<SimLink> link_;
};

Scenario zurich() {
    Scenario sc;
    sc.zulu = simstandin::gf_parseZulu("2024-03-01T10:29:45Z");
    sc.user.title = "Wendle Test Boeing";
    sc.user.atcModel = "B738";
    return sc;
}

// The registration the simulator must see, in its order, with its identifiers.
TEST_F(LinkOnStandIn, RegistersInTheFixedOrder) {
    simtest::FakeApi api;
    gf_setSimConnectApi(&api);
    link_ = std::make_unique<SimLink>();
    link_->prepare(5);
    link_->startClient();
    ASSERT_TRUE(testkit::waitUntil([&] { return api.calls().size() >= 74; }, 5s));
    link_->stopClient();
    std::vector<std::string> r = {"open Wendle_P3D 0"};
    for (const char* s : {"201 Sim", "202 ObjectAdded", "203 ObjectRemoved", "205 PositionChanged",
                          "206 FlightLoaded", "204 Frame"}) {
        r.push_back(fmt::format("subscribe {}", s));
    }
    const char* defs[] = {
        "401 SPOILERS HANDLE POSITION percent 4",
        "401 GENERAL ENG THROTTLE LEVER POSITION:1 percent 4",
        "401 GENERAL ENG THROTTLE LEVER POSITION:2 percent 4",
        "402 Plane Latitude degree 4",
        "402 Plane Longitude degree 4",
        "402 Plane Pitch degrees radians 4",
        "402 Plane Bank degrees radians 4",
        "402 Plane Heading degrees true radians 4",
        "402 Plane Altitude feet 4",
        "402 Vertical Speed feet per second 4",
        "402 Airspeed True knots 4",
        "403 Plane Latitude degree 4",
        "403 Plane Longitude degree 4",
        "403 Plane Pitch degrees radians 4",
        "403 Plane Bank degrees radians 4",
        "403 Plane Heading degrees true radians 4",
        "403 Plane Altitude feet 4",
        "403 Plane Alt Above Ground feet 4",
        "403 Ground Velocity knots 4",
        "403 ZULU TIME Seconds 2",
        "403 ZULU DAY OF YEAR Number 2",
        "403 ZULU YEAR Number 2",
        "403 LIGHT STATES Mask 2",
        "404 Plane Alt Above Ground feet 4",
        "404 Ground Altitude feet 4",
        "404 SIM ON GROUND Bool 2",
        "404 ATC ID - 6",
        "405 Static CG to Ground feet 4",
        "405 Static Pitch radians 4",
        "406 Light On States Mask 2",
        "407 TITLE - 11",
        "408 ATC MODEL - 6",
        "409 SIM ON GROUND Bool 2",
    };
    for (const char* d : defs) {
        r.push_back(fmt::format("define {} 0 4294967295", d));
    }
    for (const char* m :
         {"220 GEAR_SET", "221 ENGINE_AUTO_START", "222 ENGINE_AUTO_SHUTDOWN", "223 THROTTLE_SET",
          "218 FLAPS_SET", "219 SPOILERS_SET", "208 NAV_LIGHTS_SET", "207 BEACON_LIGHTS_SET",
          "211 LANDING_LIGHTS_SET", "209 TAXI_LIGHTS_SET", "210 STROBES_SET", "213 LOGO_LIGHTS_SET",
          "212 CABIN_LIGHTS_SET", "214 ALL_LIGHTS_TOGGLE", "215 FREEZE_LATITUDE_LONGITUDE_SET",
          "216 FREEZE_ALTITUDE_SET", "217 FREEZE_ATTITUDE_SET"}) {
        r.push_back(fmt::format("map {}", m));
    }
    for (int id :
         {208, 207, 211, 209, 210, 213, 212, 214, 218, 219, 220, 222, 223, 215, 216, 217}) {
        r.push_back(fmt::format("group 301 {} 1", id));
    }
    r.push_back("priority 301 1");
    EXPECT_EQ(api.calls(), r);
}

TEST_F(LinkOnStandIn, ConnectsToPrepar3dV5AndReadsTheUserAircraft) {
    auto& d = gf_dbase();
    d.halfWingspans = {{"B738", 0.0097}};
    d.largestHalfWingspan = 0.0429;
    d.categories[kLarge] = {"B738"};
    start(zurich());
    ASSERT_TRUE(waitRunning());
    EXPECT_EQ(link_->simulatorName(), "Lockheed Martin Prepar3D v5 (5.4.9.28482)");
    EXPECT_TRUE(logHas("==> Lockheed Martin Prepar3D v5 (5.4.9.28482) connected"));
    EXPECT_EQ(gf_board().simLink.load(),
              LinkState::Waiting);  // connected, title and stand not known
    EXPECT_EQ(gf_board().status(), "Waiting for Prepar3Dv5 ...");
    ASSERT_TRUE(simtest::waitUserPosition(*link_));
    const UserAircraftData u = link_->userAircraft();
    EXPECT_NEAR(u.latitude, 47.4647, 1e-6);
    EXPECT_EQ(link_->userObjectId(), 1u);
    // The stand-in's clock runs from its zulu time.
    const std::int64_t start = *simstandin::gf_parseZulu("2024-03-01T10:29:45Z");
    EXPECT_GE(link_->simulationTime(), start);
    EXPECT_LT(link_->simulationTime(), start + 30);

    link_->requestUserOnGround();
    EXPECT_TRUE(testkit::waitUntil([&] { return link_->userOnGround().has_value(); }, 5s));
    EXPECT_TRUE(*link_->userOnGround());
    link_->requestUserTitleAndModel();
    ASSERT_TRUE(testkit::waitUntil([&] { return link_->userModel().has_value(); }, 5s));
    EXPECT_EQ(gf_board().userTitle(), "Wendle Test Boeing");
    EXPECT_TRUE(
        waitLog("SimConnect: User aircraft model: B738, half wing span: 18.0 meter, "
                "category: 2"));
    EXPECT_FALSE(logHas("SIMCONNECT_EXCEPTION")) << log();  // it knew every registration
}

TEST_F(LinkOnStandIn, RefusesAnotherSimulatorWithUserError78) {
    Scenario sc = zurich();
    sc.simName = "KittyHawk";
    start(sc);
    ASSERT_TRUE(testkit::waitUntil([&] { return !link_->clientRunning(); }, 5s));
    EXPECT_EQ(gf_board().error(), "78: KittyHawk, (MSFS) not being P3D connects ... ?");
    EXPECT_FALSE(gf_runControl().stopRequested());  // the user must mend it; the run waits
    EXPECT_EQ(gf_board().simLink.load(), LinkState::Off);
}

TEST_F(LinkOnStandIn, CreationsAreIdentifiedFrozenMovedAndGivenAFlightPlan) {
    Scenario sc = zurich();
    sc.refuseTitles = {"Refused Livery"};
    start(sc);
    ASSERT_TRUE(waitRunning());
    ASSERT_TRUE(simtest::waitUserPosition(*link_));
    link_->pacing().queueLiveCreation(simtest::creation(0x4B1234, "SWR100"));
    link_->pacing().queueLiveCreation(simtest::creation(0x4B0002, "SWR2", "Refused Livery"));
    for (int i = 0; i < 51; ++i) {
        link_->pacingStep();
    }
    std::vector<SimNotice> notices;
    ASSERT_TRUE(testkit::waitUntil(
        [&] {
            link_->requestAircraftInRange();
            link_->takeNotices(notices);
            std::erase_if(notices,
                          [](const SimNotice& n) { return n.kind == NoticeKind::InRange; });
            return notices.size() == 2;
        },
        5s, 50ms));
    EXPECT_TRUE(link_->pendingCreations().empty());
    std::ranges::sort(notices, {}, &SimNotice::kind);
    EXPECT_EQ(notices[0].kind, NoticeKind::LiveIdentified);
    EXPECT_NEAR(notices[0].b, 1500.0 - 1416.0, 1.0);  // above the ground of the stand-in
    EXPECT_EQ(notices[1], (SimNotice{0, 0x4B0002, NoticeKind::CreationRefused}));

    const std::uint32_t oid = notices[0].objectId;
    AiControls ac{oid, kLarge};
    link_->commands().setFlaps(ac, 1);
    PositionCommand p;
    p.objectId = oid;
    p.position.latitude = 47.47;
    p.position.longitude = 8.56;
    p.position.altitude = 3000;
    link_->queues().addPosition(p);
    link_->queues().swapPositionBuffers();
    gf_createFlightPlanFolder(dir_.path());
    EXPECT_TRUE(link_->setFlightPlan(oid, kLarge, "LSZH", "EGLL", "SWR100"));
    EXPECT_EQ(testkit::readFile(gf_flightPlanPath(oid)), gf_flightPlanText(kLarge, "LSZH", "EGLL"));
    EXPECT_FALSE(link_->setFlightPlan(oid + 1, kLarge, "", "EGLL", "SWR101"));
    EXPECT_FALSE(std::filesystem::exists(gf_flightPlanPath(oid + 1)));
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            return traced("client_event", {{"oid", oid}, {"data", 1}}) == 3 &&  // the freezes
                   traced("client_event", {{"name", "FLAPS_SET"}, {"data", 3072}}) == 1 &&
                   traced("release", {{"oid", oid}}) >= 3 &&
                   traced("pos", {{"oid", oid}, {"lat", 47.47}}) >= 1 &&
                   traced("flight_plan", {{"oid", oid}}) == 1;
        },
        5s));
    gf_removeFlightPlanFolder();
}

TEST_F(LinkOnStandIn, RetriesUntilTheSimulatorAnswersAndStopsWhenAsked) {
    // Nobody listens on this port: the link keeps retrying until it is stopped.
    simtest::writeCfg(dir_.path(), 1);
    gf_tcpSimConnect().setConfigFolder(dir_.path());
    link_ = std::make_unique<SimLink>();
    link_->prepare(6);
    link_->startClient();
    std::this_thread::sleep_for(350ms);
    EXPECT_TRUE(link_->clientRunning());
    EXPECT_EQ(gf_board().status(), "Waiting for Prepar3Dv6 ...");
    const auto t0 = std::chrono::steady_clock::now();
    link_->stopClient();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 150ms);
    EXPECT_FALSE(link_->clientRunning());
}

}  // namespace
}  // namespace wnd
