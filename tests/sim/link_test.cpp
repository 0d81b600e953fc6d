// The link on the in-process stand-in: registration, open handling, the user aircraft, the
// creation and identification of AI aircraft, the frame's command sending, disconnects.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim_test_util.h"
#include "simconnect/standin/scenario.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using simstandin::Action;
using simstandin::Scenario;
using simtest::LinkOnStandIn;

simstandin::TimelineEntry act(Action a) {
    simstandin::TimelineEntry e;
    e.action = a;
    return e;
}

Scenario zurich() {
    Scenario sc;
    sc.zulu = simstandin::gf_parseZulu("2024-03-01T10:29:45Z");
    sc.user.title = "Wendle Test Boeing";
    sc.user.atcModel = "B738";
    sc.refuseTitles = {"Refused Livery"};
    return sc;
}

std::size_t countIf(const std::vector<nlohmann::json>& lines,
                    const std::function<bool(const nlohmann::json&)>& pred) {
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), pred));
}

// The registration the simulator must see, in its order, with its identifiers.
std::vector<std::string> expectedRegistration() {
    std::vector<std::string> r = {"open Wendle_P3D 0"};
    for (const char* s : {"201 Sim", "202 ObjectAdded", "203 ObjectRemoved", "205 PositionChanged",
                          "206 FlightLoaded", "204 Frame"}) {
        r.push_back(std::string("subscribe ") + s);
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
        r.push_back(std::string("define ") + d + " 0 4294967295");
    }
    for (const char* m :
         {"220 GEAR_SET", "221 ENGINE_AUTO_START", "222 ENGINE_AUTO_SHUTDOWN", "223 THROTTLE_SET",
          "218 FLAPS_SET", "219 SPOILERS_SET", "208 NAV_LIGHTS_SET", "207 BEACON_LIGHTS_SET",
          "211 LANDING_LIGHTS_SET", "209 TAXI_LIGHTS_SET", "210 STROBES_SET", "213 LOGO_LIGHTS_SET",
          "212 CABIN_LIGHTS_SET", "214 ALL_LIGHTS_TOGGLE", "215 FREEZE_LATITUDE_LONGITUDE_SET",
          "216 FREEZE_ALTITUDE_SET", "217 FREEZE_ATTITUDE_SET"}) {
        r.push_back(std::string("map ") + m);
    }
    for (int id :
         {208, 207, 211, 209, 210, 213, 212, 214, 218, 219, 220, 222, 223, 215, 216, 217}) {
        r.push_back(fmt::format("group 301 {} 1", id));
    }
    r.push_back("priority 301 1");
    return r;
}

TEST_F(LinkOnStandIn, RegistersInTheFixedOrderAndConnectsAsPrepar3dV5) {
    gf_setSimConnectApi(&api_);
    start(zurich());
    ASSERT_TRUE(waitRunning());
    const auto expected = expectedRegistration();
    std::vector<std::string> calls;
    testkit::waitUntil(
        [&] {
            calls = api_.calls();
            return calls.size() >= expected.size();
        },
        5s);
    ASSERT_GE(calls.size(), expected.size());
    calls.resize(expected.size());
    EXPECT_EQ(calls, expected);

    EXPECT_TRUE(link_->connected());
    EXPECT_EQ(link_->simulatorName(), "Lockheed Martin Prepar3D v5 (5.4.9.28482)");
    EXPECT_TRUE(logHas("==> Lockheed Martin Prepar3D v5 (5.4.9.28482) connected"));
    EXPECT_EQ(gf_display().simLink.load(), 2);  // connected, title and stand not known
    EXPECT_EQ(gf_display().status(), "Waiting for Prepar3Dv5 ...");

    // Pausing and resuming follow the "Sim" event.
    sim_->core().perform(act(Action::Pause));
    EXPECT_TRUE(testkit::waitUntil([&] { return !link_->simulatorRunning(); }, 5s));
    sim_->core().perform(act(Action::Resume));
    EXPECT_TRUE(waitRunning());
}

TEST_F(LinkOnStandIn, RefusesAnotherSimulatorWithUserError78) {
    Scenario sc = zurich();
    sc.simName = "KittyHawk";
    start(sc);
    ASSERT_TRUE(testkit::waitUntil([&] { return !link_->clientRunning(); }, 5s));
    EXPECT_EQ(gf_display().error(), "78: KittyHawk, (MSFS) not being P3D connects ... ?");
    EXPECT_FALSE(gf_runControl().stopRequested());  // the user must mend it; the run waits
    EXPECT_EQ(gf_display().simLink.load(), 0);
}

TEST_F(LinkOnStandIn, UserAircraftTimeTitleAndModel) {
    auto& d = gf_dbase();
    d.halfWingspans = {{"B738", 0.0097}};
    d.largestHalfWingspan = 0.0429;
    d.categories[kLarge] = {"B738"};
    start(zurich());
    ASSERT_TRUE(waitRunning());
    ASSERT_TRUE(waitUserPosition());
    const UserAircraftData u = link_->userAircraft();
    EXPECT_NEAR(u.latitude, 47.4647, 1e-6);
    EXPECT_NEAR(u.longitude, 8.5492, 1e-6);
    EXPECT_EQ(link_->userObjectId(), 1u);
    // The stand-in's clock runs from its zulu time; day 61 of 2024 is 1 March.
    const std::int64_t start = *simstandin::gf_parseZulu("2024-03-01T10:29:45Z");
    EXPECT_GE(link_->simulationTime(), start);
    EXPECT_LT(link_->simulationTime(), start + 30);

    link_->requestUserOnGround();
    EXPECT_TRUE(testkit::waitUntil([&] { return link_->userOnGround().has_value(); }, 5s));
    EXPECT_TRUE(*link_->userOnGround());
    EXPECT_TRUE(gf_runControl().oneSecondTick());

    link_->requestUserTitleAndModel();
    ASSERT_TRUE(testkit::waitUntil([&] { return link_->userModel().has_value(); }, 5s));
    EXPECT_EQ(link_->userTitle(), "Wendle Test Boeing");
    EXPECT_EQ(gf_display().userTitle(), "Wendle Test Boeing");
    EXPECT_EQ(link_->userModel()->category, kLarge);
    EXPECT_TRUE(
        waitLog("SimConnect: User aircraft model: B738, half wing span: 18.0 meter, "
                "category: 2"));
    EXPECT_TRUE(logHas("SimConnect: User aircraft title: Wendle Test Boeing"));
}

TEST_F(LinkOnStandIn, CreationsAreIdentifiedFrozenAndReported) {
    start(zurich());
    ASSERT_TRUE(waitRunning());
    ASSERT_TRUE(waitUserPosition());
    link_->queueLiveCreation(simtest::creation(0x4B1234, "SWR100"));
    link_->queueStaticCreation(simtest::creation(7, "EZY7", "Wendle Test Livery", 47.45, 8.56));
    for (int i = 0; i < 51; ++i) {
        link_->pacingStep();
    }
    ASSERT_TRUE(testkit::waitUntil([&] { return link_->addedObjects().size() == 2; }, 5s));
    std::vector<SimNotice> notices;
    testkit::waitUntil(
        [&] {
            link_->requestAircraftInRange();
            link_->takeNotices(notices);
            return link_->pendingCreations().empty();
        },
        5s, 50ms);
    ASSERT_TRUE(link_->pendingCreations().empty());
    link_->takeNotices(notices);
    std::erase_if(notices, [](const SimNotice& n) { return n.kind == NoticeKind::InRange; });
    ASSERT_EQ(notices.size(), 2u);
    const auto live = std::find_if(notices.begin(), notices.end(),
                                   [](const auto& n) { return n.aircraftId == 0x4B1234; });
    const auto stat = std::find_if(notices.begin(), notices.end(),
                                   [](const auto& n) { return n.aircraftId == 7; });
    ASSERT_NE(live, notices.end());
    ASSERT_NE(stat, notices.end());
    EXPECT_EQ(live->kind, NoticeKind::LiveIdentified);
    EXPECT_NEAR(live->b, 1500.0 - 1416.0, 1.0);  // above the ground of the stand-in
    EXPECT_EQ(stat->kind, NoticeKind::StaticIdentified);

    // Released and frozen: three freeze events, data 1, for each.
    const std::uint32_t oid = live->objectId;
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            return countIf(trace("client_event"), [&](const nlohmann::json& j) {
                       return j["name"].get<std::string>().starts_with("FREEZE_") && j["data"] == 1;
                   }) == 6;
        },
        5s));
    EXPECT_GE(countIf(trace("release"), [&](const nlohmann::json& j) { return j["oid"] == oid; }),
              1u);

    // Flaps go out between two releases; the flight plan reaches the simulator.
    AiControls ac{oid, kLarge, 0, 0};
    link_->setFlaps(ac, 1);
    gf_createFlightPlanFolder(dir_.path());
    EXPECT_TRUE(link_->setFlightPlan(oid, kLarge, "LSZH", "EGLL", "SWR100"));
    EXPECT_EQ(testkit::readFile(gf_flightPlanPath(oid)), gf_flightPlanText(kLarge, "LSZH", "EGLL"));
    EXPECT_FALSE(link_->setFlightPlan(oid + 1, kLarge, "", "EGLL", "SWR101"));
    EXPECT_FALSE(std::filesystem::exists(gf_flightPlanPath(oid + 1)));
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            return countIf(trace("client_event"),
                           [&](const nlohmann::json& j) {
                               return j["name"] == "FLAPS_SET" && j["data"] == 3072;
                           }) == 1 &&
                   countIf(trace("release"),
                           [&](const nlohmann::json& j) { return j["oid"] == oid; }) >= 3 &&
                   countIf(trace("flight_plan"),
                           [&](const nlohmann::json& j) { return j["oid"] == oid; }) == 1;
        },
        5s));
    gf_removeFlightPlanFolder();
}

TEST_F(LinkOnStandIn, ARefusedCreationRemovesExactlyItsPendingCreation) {
    start(zurich());
    ASSERT_TRUE(waitRunning());
    ASSERT_TRUE(waitUserPosition());
    link_->queueLiveCreation(simtest::creation(0x400001, "SWR1"));
    link_->queueLiveCreation(simtest::creation(0x400002, "SWR2", "Refused Livery"));
    link_->queueLiveCreation(simtest::creation(0x400003, "SWR3"));
    for (int i = 0; i < 101; ++i) {
        link_->pacingStep();
    }
    const auto notices = waitNotices(1);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], (SimNotice{0, 0x400002, NoticeKind::CreationRefused, 0, 0}));
    ASSERT_TRUE(testkit::waitUntil([&] { return link_->pendingCreations().size() == 2; }, 5s));
    auto pending = link_->pendingCreations();
    std::sort(pending.begin(), pending.end(),
              [](const auto& a, const auto& b) { return a.aircraftId < b.aircraftId; });
    EXPECT_EQ(pending[0].callsign, "SWR1");
    EXPECT_EQ(pending[1].callsign, "SWR3");

    // Another program's aircraft with the refused callsign is not taken for ours.
    sctest::Client other(sim_->port(), "Other");
    ASSERT_TRUE(other.opened());
    ASSERT_NE(other.waitFor(SIMCONNECT_RECV_ID_OPEN), nullptr);
    ASSERT_EQ(
        SimConnect_AICreateNonATCAircraft(other.h, "Wendle Test Livery", "SWR2",
                                          sctest::initPosition(47.46, 8.55, 1500, 0, true), 1),
        kScOk);
    other.pumpFor(100ms);
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            link_->requestAircraftInRange();
            other.pumpFor(20ms);
            return logHas("just spawned, but not by Wendle_P3D, oid: ") &&
                   logHas("callsign 'SWR2', altaboveGnd:5 ft, onground:1, gnd_alt:1416 ft");
        },
        5s, 50ms));
}

TEST_F(LinkOnStandIn, ObjectsNotAboveTheUserAreNeverMovedOrRemoved) {
    start(zurich());
    ASSERT_TRUE(waitRunning());  // no position asked: the user object id stays 2
    sctest::Client other(sim_->port(), "Other");
    ASSERT_TRUE(other.opened());
    ASSERT_NE(other.waitFor(SIMCONNECT_RECV_ID_OPEN), nullptr);
    for (const char* tail : {"OTHER2", "OTHER3"}) {
        ASSERT_EQ(
            SimConnect_AICreateNonATCAircraft(other.h, "Wendle Test Livery", tail,
                                              sctest::initPosition(47.46, 8.55, 1500, 0, true), 1),
            kScOk);
    }
    ASSERT_TRUE(testkit::waitUntil([&] { return sim_->core().aiObjects().size() == 2; }, 5s));
    ASSERT_TRUE(testkit::waitUntil(
        [&] {
            other.pumpFor(10ms);
            return link_->addedObjects() == std::vector<std::uint32_t>{3};
        },
        5s));
    for (std::uint32_t oid : {2u, 3u}) {
        PositionCommand p;
        p.objectId = oid;
        p.position.latitude = 47.47;
        p.position.longitude = 8.56;
        p.position.altitude = 3000;
        link_->addPosition(p);
        link_->setNavLight(AiControls{oid, kLarge, 0, 0}, true);
    }
    link_->swapPositionBuffers();
    link_->queueRemoval(2);
    link_->pacingStep();
    ASSERT_TRUE(waitLog("==> SimConnect call to remove ac with objectid 2"));
    EXPECT_TRUE(testkit::waitUntil(
        [&] { return !trace("pos").empty() && !trace("client_event").empty(); }, 5s));
    other.pumpFor(200ms);
    for (const auto& ev : {"pos", "client_event", "remove"}) {
        for (const auto& j : trace(ev)) {
            EXPECT_NE(j["oid"], 2) << ev;
        }
    }
    EXPECT_EQ(sim_->core().aiObjects().size(), 2u);
}

TEST_F(LinkOnStandIn, AFrameThatFindsTheLockBusySendsNothingAndLosesNothing) {
    start(zurich());
    ASSERT_TRUE(waitRunning());
    ASSERT_TRUE(waitUserPosition());
    link_->queueLiveCreation(simtest::creation(0x4B0001, "SWR1"));
    link_->pacingStep();
    ASSERT_TRUE(testkit::waitUntil([&] { return sim_->core().aiObjects().size() == 1; }, 5s));
    const std::uint32_t oid = sim_->core().aiObjects().front().id;

    link_->queueLiveCreation(simtest::creation(0x4B0002, "SWR2"));
    for (int i = 0; i < 50; ++i) {
        link_->pacingStep();
    }
    PositionCommand p;
    p.objectId = oid;
    p.position.latitude = 47.5;
    p.position.longitude = 8.6;
    p.position.altitude = 4000;
    link_->addPosition(p);
    ASSERT_TRUE(link_->swapPositionBuffers());
    link_->setGear(AiControls{oid, kLarge, 0, 0}, false);
    {
        auto held = link_->lockCommands();
        const auto busy = link_->framesBusy();
        ASSERT_TRUE(testkit::waitUntil([&] { return link_->framesBusy() >= busy + 3; }, 5s));
        EXPECT_EQ(sim_->core().aiObjects().size(), 1u);
        EXPECT_EQ(countIf(trace("client_event"),
                          [](const nlohmann::json& j) { return j["name"] == "GEAR_SET"; }),
                  0u);
        EXPECT_EQ(sim_->core().setDataApplied(), 0u);
    }
    ASSERT_TRUE(testkit::waitUntil([&] { return sim_->core().aiObjects().size() == 2; }, 5s));
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            return sim_->core().setDataApplied() == 1 &&
                   countIf(trace("client_event"),
                           [](const nlohmann::json& j) { return j["name"] == "GEAR_SET"; }) == 1;
        },
        5s));
}

TEST_F(LinkOnStandIn, CommandFailureEmptiesTheQueuesWithoutSending) {
    start(zurich());
    ASSERT_TRUE(waitRunning());
    ASSERT_TRUE(waitUserPosition());
    link_->handleRequestError();
    link_->queueLiveCreation(simtest::creation(0x4B0001, "SWR1"));
    link_->pacingStep();
    const auto sent = link_->framesSent();
    ASSERT_TRUE(testkit::waitUntil([&] { return link_->framesSent() >= sent + 3; }, 5s));
    EXPECT_TRUE(link_->outgoing().creations.empty());
    EXPECT_TRUE(sim_->core().aiObjects().empty());
    EXPECT_EQ(gf_display().status(), "SimConnect request error");
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::SimConnectError);
    EXPECT_EQ(gf_runControl().restartDelay(), 9);
}

TEST_F(LinkOnStandIn, NewFlightEndsTheRunAfterThirtySeconds) {
    start(zurich());
    ASSERT_TRUE(waitRunning());
    sim_->core().perform(act(Action::PositionChanged));
    ASSERT_TRUE(waitLog("\nUser ac position changed\n"));
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::NewFlight);
    EXPECT_EQ(gf_runControl().restartDelay(), 30);
    sim_->core().perform(act(Action::FlightLoaded));
    EXPECT_TRUE(waitLog("\nSimConnect: New file event\n"));
}

TEST_F(LinkOnStandIn, QuitOfTheSimulatorEndsTheRunAsSimWasClosed) {
    start(zurich());
    ASSERT_TRUE(waitRunning());
    sim_->core().perform(act(Action::Quit));
    ASSERT_TRUE(testkit::waitUntil([&] { return !link_->clientRunning(); }, 5s));
    EXPECT_FALSE(link_->simulatorRunning());
    EXPECT_FALSE(link_->connected());
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::SimWasClosed);
    EXPECT_EQ(gf_runControl().restartDelay(), 0);
    EXPECT_TRUE(logHas("Flight Simulator no longer connected, Wendle_P3D will stop ..."));
    EXPECT_TRUE(logHas("SimConnect closed ok"));
    EXPECT_EQ(gf_display().simLink.load(), 0);
}

TEST_F(LinkOnStandIn, RetriesUntilTheSimulatorAnswersAndStopsWhenAsked) {
    // Nobody listens on this port: the link keeps retrying until it is stopped.
    sctest::writeCfg(dir_.path(), 1);
    gf_tcpSimConnect().setConfigFolder(dir_.path());
    link_ = std::make_unique<SimLink>();
    link_->prepare(6);
    link_->startClient();
    std::this_thread::sleep_for(350ms);
    EXPECT_TRUE(link_->clientRunning());
    EXPECT_EQ(gf_display().status(), "Waiting for Prepar3Dv6 ...");
    const auto t0 = std::chrono::steady_clock::now();
    link_->stopClient();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 150ms);
    EXPECT_FALSE(link_->clientRunning());
}

}  // namespace
}  // namespace wnd
