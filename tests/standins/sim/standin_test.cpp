// The stand-in in this process, driven through our own client: what no test of the program
// plays against it. The open, the registration, the user requests, creations and their trace
// are played by the program's link in tests/sim and tests/e2e.
#include <gtest/gtest.h>

#include <algorithm>

#include "simconnect/harness.h"

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
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(c.h, a, (sim.dir() / "nope.pln").string().c_str(),
                                                 kFlightPlanRequest),
              kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED), nullptr);
    testkit::writeFile(sim.dir() / "12.pln", "<?xml version=\"1.0\"?>\n");
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(c.h, a, (sim.dir() / "12.pln").string().c_str(),
                                                 kFlightPlanRequest),
              kScOk);
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(c.h, b, (sim.dir() / "12").string().c_str(),
                                                 kFlightPlanRequest),
              kScOk);
    c.pumpFor(100ms);
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EXCEPTION), 4u);
    ASSERT_EQ(sim.traceOf("flight_plan").size(), 2u);
    EXPECT_EQ(sim.traceOf("exception").size(), 4u);

    // The user aircraft is not an AI object.
    ASSERT_EQ(SimConnect_AIRemoveObject(c.h, simstandin::kUserObjectId, kRemoveRequest), kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE), nullptr);
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
