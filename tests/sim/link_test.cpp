// The link on the in-process stand-in: registration, open handling, the user aircraft, the
// creation and identification of AI aircraft, the frame's command sending, disconnects.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "board/status_board.h"
#include "sim_test_util.h"
#include "standins/sim/scenario.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using simstandin::Action;
using simstandin::Scenario;

// Forwards to the TCP transport and writes down, in order, the calls that may come before any
// object is known.
class RecordingApi final : public SimConnectApi {
  public:
    std::vector<std::string> take() {
        std::lock_guard lock(mu_);
        return std::exchange(calls_, {});
    }

    HRESULT open(HANDLE* h, const char* name, HWND w, DWORD m, HANDLE e, DWORD idx) override {
        note(fmt::format("open {} {}", name, idx));
        return in().open(h, name, w, m, e, idx);
    }
    HRESULT close(HANDLE h) override { return in().close(h); }
    HRESULT callDispatch(HANDLE h, DispatchProc p, void* c) override {
        return in().callDispatch(h, p, c);
    }
    HRESULT addToDataDefinition(HANDLE h, DWORD def, const char* name, const char* units,
                                SIMCONNECT_DATATYPE type, float eps, DWORD datum) override {
        note(fmt::format("define {} {} {} {} {} {}", def, name, units != nullptr ? units : "-",
                         static_cast<DWORD>(type), static_cast<double>(eps), datum));
        return in().addToDataDefinition(h, def, name, units, type, eps, datum);
    }
    HRESULT subscribeToSystemEvent(HANDLE h, DWORD id, const char* name) override {
        note(fmt::format("subscribe {} {}", id, name));
        return in().subscribeToSystemEvent(h, id, name);
    }
    HRESULT mapClientEventToSimEvent(HANDLE h, DWORD id, const char* name) override {
        note(fmt::format("map {} {}", id, name));
        return in().mapClientEventToSimEvent(h, id, name);
    }
    HRESULT addClientEventToNotificationGroup(HANDLE h, DWORD g, DWORD id, BOOL m) override {
        note(fmt::format("group {} {} {}", g, id, m));
        return in().addClientEventToNotificationGroup(h, g, id, m);
    }
    HRESULT setNotificationGroupPriority(HANDLE h, DWORD g, DWORD p) override {
        note(fmt::format("priority {} {}", g, p));
        return in().setNotificationGroupPriority(h, g, p);
    }
    HRESULT requestDataOnSimObject(HANDLE h, DWORD r, DWORD d, DWORD o, SIMCONNECT_PERIOD p,
                                   DWORD f, DWORD org, DWORD i, DWORD l) override {
        note(fmt::format("request {} {} {} {}", r, d, o, static_cast<DWORD>(p)));
        return in().requestDataOnSimObject(h, r, d, o, p, f, org, i, l);
    }
    HRESULT requestDataOnSimObjectType(HANDLE h, DWORD r, DWORD d, DWORD radius,
                                       SIMCONNECT_SIMOBJECT_TYPE t) override {
        note(fmt::format("bytype {} {} {} {}", r, d, radius, static_cast<DWORD>(t)));
        return in().requestDataOnSimObjectType(h, r, d, radius, t);
    }
    HRESULT setDataOnSimObject(HANDLE h, DWORD d, DWORD o, DWORD f, DWORD n, DWORD size,
                               void* data) override {
        return in().setDataOnSimObject(h, d, o, f, n, size, data);
    }
    HRESULT transmitClientEvent(HANDLE h, DWORD o, DWORD e, DWORD d, DWORD g, DWORD f) override {
        return in().transmitClientEvent(h, o, e, d, g, f);
    }
    HRESULT aiCreateNonATCAircraft(HANDLE h, const char* title, const char* tail,
                                   SIMCONNECT_DATA_INITPOSITION p, DWORD r) override {
        return in().aiCreateNonATCAircraft(h, title, tail, p, r);
    }
    HRESULT aiReleaseControl(HANDLE h, DWORD o, DWORD r) override {
        return in().aiReleaseControl(h, o, r);
    }
    HRESULT aiRemoveObject(HANDLE h, DWORD o, DWORD r) override {
        return in().aiRemoveObject(h, o, r);
    }
    HRESULT aiSetAircraftFlightPlan(HANDLE h, DWORD o, const char* path, DWORD r) override {
        return in().aiSetAircraftFlightPlan(h, o, path, r);
    }
    HRESULT getLastSentPacketID(HANDLE h, DWORD* id) override {
        return in().getLastSentPacketID(h, id);
    }

  private:
    static SimConnectApi& in() { return gf_tcpSimConnect(); }
    void note(std::string s) {
        std::lock_guard lock(mu_);
        calls_.push_back(std::move(s));
    }
    std::mutex mu_;
    std::vector<std::string> calls_;
};

// A link of the test's own on the in-process stand-in (closed with the test).
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
    bool waitUserPosition() { return simtest::waitUserPosition(*link_); }
    // Trace lines of one kind that have all of `fields`.
    std::size_t traced(const std::string& ev, const nlohmann::json& fields = {}) {
        std::size_t n = 0;
        for (const auto& j : sim_->traceOf(ev)) {
            bool match = true;
            for (const auto& f : fields.items()) {
                match = match && j.contains(f.key()) && j[f.key()] == f.value();
            }
            n += match ? 1 : 0;
        }
        return n;
    }

    RecordingApi api_;  // outlives the link; installed by the tests that read it
    std::unique_ptr<sctest::StandIn> sim_;
    std::unique_ptr<SimLink> link_;
};

simstandin::TimelineEntry act(Action a) {
    simstandin::TimelineEntry e;
    e.action = a;
    return e;
}

constexpr const char* kFreezeEvents[] = {"FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET",
                                         "FREEZE_ATTITUDE_SET"};

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

Scenario zurich() {
    Scenario sc;
    sc.zulu = simstandin::gf_parseZulu("2024-03-01T10:29:45Z");
    sc.user.title = "Wendle Test Boeing";
    sc.user.atcModel = "B738";
    sc.refuseTitles = {"Refused Livery"};
    return sc;
}

TEST_F(LinkOnStandIn, RegistersInTheFixedOrderAndConnectsAsPrepar3dV5) {
    gf_setSimConnectApi(&api_);
    start(zurich());
    ASSERT_TRUE(waitRunning());
    EXPECT_TRUE(link_->connected());
    EXPECT_EQ(link_->simulatorName(), "Lockheed Martin Prepar3D v5 (5.4.9.28482)");
    EXPECT_TRUE(logHas("==> Lockheed Martin Prepar3D v5 (5.4.9.28482) connected"));
    EXPECT_EQ(gf_board().simLink.load(),
              LinkState::Waiting);  // connected, title and stand not known
    EXPECT_EQ(gf_board().status(), "Waiting for Prepar3Dv5 ...");

    link_->stopClient();  // all its calls made
    auto calls = api_.take();
    const auto expected = expectedRegistration();
    ASSERT_GE(calls.size(), expected.size());
    calls.resize(expected.size());
    EXPECT_EQ(calls, expected);
    // The stand-in knew every definition, event and group it was given.
    EXPECT_FALSE(logHas("SIMCONNECT_EXCEPTION")) << log();
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
    EXPECT_EQ(gf_board().userTitle(), "Wendle Test Boeing");
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
    std::ranges::sort(notices, {}, &SimNotice::aircraftId);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].aircraftId, 7u);
    EXPECT_EQ(notices[0].kind, NoticeKind::StaticIdentified);
    EXPECT_EQ(notices[1].aircraftId, 0x4B1234u);
    EXPECT_EQ(notices[1].kind, NoticeKind::LiveIdentified);
    EXPECT_NEAR(notices[1].b, 1500.0 - 1416.0, 1.0);  // above the ground of the stand-in

    // Released and frozen: each freeze event, data 1, for both.
    const std::uint32_t oid = notices[1].objectId;
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            return std::ranges::all_of(kFreezeEvents, [&](const char* name) {
                return traced("client_event", {{"name", name}, {"data", 1}}) == 2;
            });
        },
        5s));
    EXPECT_GE(traced("release", {{"oid", oid}}), 1u);

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
            return traced("client_event", {{"name", "FLAPS_SET"}, {"data", 3072}}) == 1 &&
                   traced("release", {{"oid", oid}}) >= 3 &&
                   traced("flight_plan", {{"oid", oid}}) == 1;
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
    std::vector<SimNotice> notices;
    testkit::waitUntil(
        [&] {
            link_->takeNotices(notices);
            return !notices.empty();
        },
        5s);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], (SimNotice{0, 0x400002, NoticeKind::CreationRefused, 0, 0}));
    ASSERT_TRUE(testkit::waitUntil([&] { return link_->pendingCreations().size() == 2; }, 5s));
    auto pending = link_->pendingCreations();
    std::sort(pending.begin(), pending.end(),
              [](const auto& a, const auto& b) { return a.aircraftId < b.aircraftId; });
    EXPECT_EQ(pending[0].callsign, "SWR1");
    EXPECT_EQ(pending[1].callsign, "SWR3");

    // Another program's aircraft with the refused callsign is not taken for ours.
    sctest::Client other(sim_->port());
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
    sctest::Client other(sim_->port());
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
    EXPECT_TRUE(
        testkit::waitUntil([&] { return traced("pos") > 0 && traced("client_event") > 0; }, 5s));
    other.pumpFor(200ms);
    for (const char* ev : {"pos", "client_event", "remove"}) {
        EXPECT_EQ(traced(ev, {{"oid", 2}}), 0u) << ev;
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
        EXPECT_EQ(traced("client_event", {{"name", "GEAR_SET"}}), 0u);
        EXPECT_EQ(sim_->core().setDataApplied(), 0u);
    }
    ASSERT_TRUE(testkit::waitUntil([&] { return sim_->core().aiObjects().size() == 2; }, 5s));
    EXPECT_TRUE(testkit::waitUntil(
        [&] {
            return sim_->core().setDataApplied() == 1 &&
                   traced("client_event", {{"name", "GEAR_SET"}}) == 1;
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
    EXPECT_EQ(gf_board().status(), "SimConnect request error");
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
