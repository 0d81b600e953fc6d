// The stand-in in this process, driven through our own client: what no test of the program
// plays against it. The open, the registration, the user requests, creations and their trace
// are played by the program's link in tests/sim and tests/e2e.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/socket.h"
#include "simconnect/harness.h"
#include "simconnect/wire.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using sctest::Client;
using sctest::isEvent;
using sctest::isReplyTo;
using sctest::Msg;
using sctest::StandIn;
using simstandin::Action;
using simstandin::Scenario;

constexpr double kEps = 1e-9;
// The identifiers of the program's registration (sctest::registerLikeTheProgram) and requests.
constexpr DWORD kSim = 201, kAdded = 202, kRemoved = 203;
constexpr DWORD kOnGroundDef = 409;
constexpr DWORD kCreateRequest = 104, kRemoveRequest = 105, kOnGroundRequest = 108,
                kFlightPlanRequest = 110;

simstandin::TimelineEntry act(Action a, double t = 0) {
    simstandin::TimelineEntry e;
    e.t = t;
    e.action = a;
    return e;
}

Scenario zurich() {
    Scenario sc;
    sc.simName = "Lockheed Martin\xC2\xAE Prepar3D\xC2\xAE v5";
    sc.simVersion = {5, 4, 9, 28482};
    sc.zulu = simstandin::gf_parseZulu("2024-03-01T10:29:45Z");
    sc.user.title = "Wendle Test Cessna";
    sc.user.atcModel = "C172";
    sc.user.lat = 47.4647;
    sc.user.lon = 8.5492;
    sc.user.altFt = 1421;
    sc.user.onGround = true;
    return sc;
}

// Creates one AI aircraft and returns its object id (0 on failure).
DWORD create(Client& c, const char* title, const char* tail,
             const SIMCONNECT_DATA_INITPOSITION& pos) {
    const std::size_t before = c.count(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    if (SimConnect_AICreateNonATCAircraft(c.h, title, tail, pos, kCreateRequest) != kScOk ||
        !c.pumpUntil([&] { return c.count(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID) > before; })) {
        return 0;
    }
    const auto last = std::find_if(c.msgs.rbegin(), c.msgs.rend(), [](const Msg& m) {
        return m.id() == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID;
    });
    return last->as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>().dwObjectID;
}

TEST(StandIn, TheOnGroundRequestTicksEverySimulatorSecondAndStopsWhilePaused) {
    StandIn sim(zurich());
    Client c(sim.port());
    sctest::registerLikeTheProgram(c.h);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(c.h, kOnGroundRequest, kOnGroundDef, 0,
                                                SIMCONNECT_PERIOD_SECOND),
              kScOk);
    auto ticks = [&] {
        return c.count(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, isReplyTo(kOnGroundRequest));
    };
    ASSERT_TRUE(c.pumpUntil([&] { return ticks() >= 3; }, 5s));

    sim.core().perform(act(Action::Pause));
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_EVENT, isEvent(kSim, 0)), nullptr);
    const std::size_t paused = ticks();
    c.pumpFor(1500ms);
    EXPECT_EQ(ticks(), paused);
    sim.core().perform(act(Action::Resume));
    ASSERT_TRUE(
        c.pumpUntil([&] { return c.count(SIMCONNECT_RECV_ID_EVENT, isEvent(kSim, 1)) == 2; }));
    EXPECT_TRUE(c.pumpUntil([&] { return ticks() > paused; }, 3s));
}

TEST(StandIn, ReportsTheExceptionsTheProgramHandles) {
    Scenario sc = zurich();
    sc.objectLimit = 2;
    StandIn sim(sc);
    Client c(sim.port());
    sctest::registerLikeTheProgram(c.h);
    const auto pos = sctest::initPosition(47.46, 8.56, 0, 0, true);

    // The object limit.
    const DWORD a = create(c, "A", "A1", pos);
    const DWORD b = create(c, "B", "B1", pos);
    ASSERT_TRUE(a > 1 && b > a);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(c.h, "C", "C1", pos, kCreateRequest), kScOk);
    const DWORD limitSendId = c.lastSendId();
    const Msg* tooMany = c.waitException(SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS);
    ASSERT_NE(tooMany, nullptr);
    EXPECT_EQ(tooMany->as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, limitSendId);

    // Unknown ids.
    ASSERT_EQ(SimConnect_AIRemoveObject(c.h, 999, kRemoveRequest), kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID), nullptr);

    // A size that does not fit the definition (one 64-bit integer).
    double twoDoubles[2] = {1, 2};
    ASSERT_EQ(
        SimConnect_SetDataOnSimObject(c.h, kOnGroundDef, a, 0, 0, sizeof twoDoubles, twoDoubles),
        kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE), nullptr);

    // Flight plans: a missing file fails, an existing one (with or without .pln) is taken.
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(c.h, a, (sim.dir() / "nope.pln").c_str(),
                                                 kFlightPlanRequest),
              kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED), nullptr);
    testkit::writeFile(sim.dir() / "12.pln", "<?xml version=\"1.0\"?>\n");
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(c.h, a, (sim.dir() / "12.pln").c_str(),
                                                 kFlightPlanRequest),
              kScOk);
    ASSERT_EQ(
        SimConnect_AISetAircraftFlightPlan(c.h, b, (sim.dir() / "12").c_str(), kFlightPlanRequest),
        kScOk);
    c.pumpFor(100ms);
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EXCEPTION), 4u);
    ASSERT_EQ(sim.traceOf("flight_plan").size(), 2u);
    EXPECT_EQ(sim.traceOf("exception").size(), 4u);

    // The user aircraft is not an AI object.
    ASSERT_EQ(SimConnect_AIRemoveObject(c.h, simstandin::kUserObjectId, kRemoveRequest), kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE), nullptr);
}

TEST(StandIn, AVersionItDoesNotSpeakIsAMismatch) {
    StandIn sim(zurich());
    platform::Socket s = platform::Socket::create(platform::SocketType::Tcp);
    ASSERT_TRUE(s.connect("127.0.0.1", sim.port()));
    scwire::PacketWriter w;
    scwire::gf_encodeOpen(w, "MSFS client", 6);
    w.endClient(1);
    ASSERT_GT(s.send(w.buffer().data(), w.size()), 0);
    std::uint8_t reply[64] = {};
    s.setReceiveTimeout(5s);
    ASSERT_EQ(s.receive(reply, sizeof reply), 24);
    EXPECT_EQ(scwire::gf_readU32(reply + 8), SIMCONNECT_RECV_ID_EXCEPTION);
    EXPECT_EQ(scwire::gf_readU32(reply + 12), SIMCONNECT_EXCEPTION_VERSION_MISMATCH);
    EXPECT_EQ(scwire::gf_readU32(reply + 16), 1u);
    EXPECT_EQ(s.receive(reply, sizeof reply), 0);  // and it hangs up
}

TEST(StandIn, RefusesConnectionsUntilItsStartDelayHasPassed) {
    Scenario sc = zurich();
    sc.startDelayS = 0.5;
    StandIn sim(sc);
    EXPECT_EQ(sim->port(), 0);
    const auto listening = sim.port();  // waits for the listener
    ASSERT_NE(listening, 0);
    Client c(listening);
    EXPECT_NE(c.waitFor(SIMCONNECT_RECV_ID_OPEN), nullptr);
    EXPECT_GE(sim.core().elapsedSeconds(), 0.5);
}

// The user aircraft moved by the timeline and an unfrozen AI aircraft fly on by themselves.
TEST(StandIn, TheMovedUserAndUnfrozenAircraftFlyOn) {
    Scenario sc = zurich();
    simstandin::TimelineEntry move = act(Action::MoveUser, 1.2);
    move.lat = 48.0;
    move.lon = 9.0;
    move.altFt = 5000.0;
    move.onGround = false;
    move.headingDeg = 45.0;
    move.groundSpeedKt = 250.0;
    sc.timeline = {move};
    StandIn sim(sc);
    Client c(sim.port());
    sctest::registerLikeTheProgram(c.h);
    ASSERT_GT(create(c, "Cruiser", "N1", sctest::initPosition(47.0, 8.0, 10000, 90, false, 300)),
              1u);
    ASSERT_TRUE(testkit::waitUntil([&] { return !sim.core().userAircraft().userOnGround; }, 2s));
    const auto u = sim.core().userAircraft();
    EXPECT_NEAR(u.lat, 48.0, 0.01);  // and moving on at 250 kt
    EXPECT_NEAR(u.altFt, 5000.0, kEps);
    const auto o = sim.core().aiObjects().at(0);
    EXPECT_NEAR(o.lat, 47.0, 1e-3);
    EXPECT_GT(o.lon, 8.0005);  // 300 kt east for over a second: about 0.002 degree
    EXPECT_NEAR(o.altFt, 10000.0, kEps);
}

// A client's aircraft go with it. (Failed requests, which break every link, are played
// against the program in tests/e2e.)
TEST(StandIn, AClientsAircraftGoWithIt) {
    StandIn sim(zurich());
    Client watcher(sim.port());
    sctest::registerLikeTheProgram(watcher.h);
    // Frames come once its subscriptions are in (connections are served side by side).
    ASSERT_NE(watcher.waitFor(SIMCONNECT_RECV_ID_EVENT_FRAME), nullptr);
    const auto pos = sctest::initPosition(47.46, 8.56, 0, 0, true);
    DWORD oid = 0;
    {
        Client creator(sim.port());
        oid = create(creator, "A", "A1", pos);
        ASSERT_GT(oid, 1u);
        ASSERT_NE(watcher.waitFor(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, isEvent(kAdded, oid)),
                  nullptr);
    }
    EXPECT_NE(watcher.waitFor(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, isEvent(kRemoved, oid)),
              nullptr);
    EXPECT_TRUE(sim.core().aiObjects().empty());
}

}  // namespace
}  // namespace wnd
