// The stand-in in this process, driven through our own client.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "platform/socket.h"
#include "simconnect/wire.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using sctest::Client;
using sctest::isEvent;
using sctest::isReplyTo;
using sctest::Msg;
using sctest::Position402;
using sctest::StandIn;
using simstandin::Action;
using simstandin::Scenario;

constexpr double kEps = 1e-9;
constexpr DWORD kSim = 201, kAdded = 202, kRemoved = 203;

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
    sc.refuseTitles = {"Refused Livery"};
    return sc;
}

// Creates one AI aircraft and returns its object id (0 on failure).
DWORD create(Client& c, const char* title, const char* tail,
             const SIMCONNECT_DATA_INITPOSITION& pos) {
    const std::size_t before = c.count(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    if (SimConnect_AICreateNonATCAircraft(c.h, title, tail, pos, 104) != kScOk ||
        !c.pumpUntil([&] { return c.count(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID) > before; })) {
        return 0;
    }
    const auto last = std::find_if(c.msgs.rbegin(), c.msgs.rend(), [](const Msg& m) {
        return m.id() == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID;
    });
    return last->as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>().dwObjectID;
}

TEST(StandIn, OpensAsPrepar3dTakesTheProgramsRegistrationAndAnswersTheUserRequests) {
    StandIn sim(zurich());
    Client c(sim.port());
    ASSERT_TRUE(c.opened());
    const Msg* open = c.waitFor(SIMCONNECT_RECV_ID_OPEN);
    ASSERT_NE(open, nullptr);
    const auto& o = open->as<SIMCONNECT_RECV_OPEN>();
    // The name goes out in the simulator's ANSI code page.
    EXPECT_STREQ(o.szApplicationName, "Lockheed Martin\xAE Prepar3D\xAE v5");
    EXPECT_EQ(o.dwApplicationVersionMajor, 5u);
    EXPECT_EQ(o.dwApplicationVersionMinor, 4u);
    EXPECT_EQ(o.dwApplicationBuildMajor, 9u);
    EXPECT_EQ(o.dwApplicationBuildMinor, 28482u);
    EXPECT_EQ(open->recv().dwVersion, 4u);

    sctest::registerLikeTheProgram(c.h);
    // "Sim" tells its state at once; frames follow.
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_EVENT, isEvent(kSim, 1)), nullptr);
    const Msg* frame = c.waitFor(SIMCONNECT_RECV_ID_EVENT_FRAME);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->as<SIMCONNECT_RECV_EVENT_FRAME>().uEventID, 204u);
    EXPECT_FLOAT_EQ(frame->as<SIMCONNECT_RECV_EVENT_FRAME>().fFrameRate, 30.0f);

    ASSERT_EQ(SimConnect_RequestDataOnSimObject(c.h, 109, 403, SIMCONNECT_OBJECT_ID_USER,
                                                SIMCONNECT_PERIOD_ONCE),
              kScOk);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(c.h, 107, 408, 0, SIMCONNECT_PERIOD_ONCE), kScOk);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(c.h, 106, 407, 0, SIMCONNECT_PERIOD_ONCE), kScOk);
    auto byRequest = [&](DWORD rq) {
        return c.waitFor(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, isReplyTo(rq));
    };
    const Msg* pos = byRequest(109);
    ASSERT_NE(pos, nullptr);
    EXPECT_EQ(pos->size, kSimObjectDataOffset + 96);
    const auto& hdr = pos->as<SIMCONNECT_RECV_SIMOBJECT_DATA>();
    EXPECT_EQ(hdr.dwObjectID, simstandin::kUserObjectId);
    EXPECT_EQ(hdr.dwDefineID, 403u);
    EXPECT_EQ(hdr.dwDefineCount, 12u);
    EXPECT_NEAR(pos->at<double>(0), 47.4647, kEps);
    EXPECT_NEAR(pos->at<double>(8), 8.5492, kEps);
    EXPECT_NEAR(pos->at<double>(40), 1421.0, kEps);
    EXPECT_NEAR(pos->at<double>(48), 5.0, kEps);  // resting on its gear
    // 2024-03-01T10:29:45Z: day 61 of a leap year.
    EXPECT_EQ(pos->at<std::int64_t>(64), 10 * 3600 + 29 * 60 + 45);
    EXPECT_EQ(pos->at<std::int64_t>(72), 61);
    EXPECT_EQ(pos->at<std::int64_t>(80), 2024);

    const Msg* model = byRequest(107);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->size, kSimObjectDataOffset + 32);
    EXPECT_STREQ(reinterpret_cast<const char*>(model->data()), "C172");
    const Msg* title = byRequest(106);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(title->data()), "Wendle Test Cessna");
    EXPECT_EQ((title->size - kSimObjectDataOffset) % 4, 0u);  // a STRINGV is padded
    // Answered in order: an exception for any registration call would have come before.
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EXCEPTION), 0u);
}

TEST(StandIn, TheOnGroundRequestTicksEverySimulatorSecondAndStopsWhilePaused) {
    StandIn sim(zurich());
    Client c(sim.port());
    sctest::registerLikeTheProgram(c.h);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(c.h, 108, 409, 0, SIMCONNECT_PERIOD_SECOND), kScOk);
    auto ticks = [&] { return c.count(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, isReplyTo(108)); };
    ASSERT_TRUE(c.pumpUntil([&] { return ticks() >= 3; }, 5s));
    const Msg* first = c.find(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->at<std::int64_t>(0), 1);

    sim.core().perform(act(Action::Pause));
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_EVENT, isEvent(kSim, 0)), nullptr);
    const std::size_t paused = ticks();
    c.pumpFor(1500ms);
    EXPECT_EQ(ticks(), paused);
    sim.core().perform(act(Action::Resume));
    ASSERT_TRUE(
        c.pumpUntil([&] { return c.count(SIMCONNECT_RECV_ID_EVENT, isEvent(kSim, 1)) == 2; }));
    EXPECT_TRUE(c.pumpUntil([&] { return ticks() > paused; }, 3s));
    const auto states = sim.traceOf("state");
    ASSERT_EQ(states.size(), 3u);
    EXPECT_EQ(states[1]["sim"], "paused");
    EXPECT_EQ(states[2]["sim"], "running");
}

TEST(StandIn, CreatesMovesReportsAndRemovesAiAircraft) {
    Scenario sc = zurich();
    sc.traceIntervalS = 0.05;
    StandIn sim(sc);
    Client c(sim.port());
    sctest::registerLikeTheProgram(c.h);
    const DWORD oid =
        create(c, "Airbus A320 Swiss", "SWR12", sctest::initPosition(47.46, 8.56, 0, 280, true));
    ASSERT_GT(oid, simstandin::kUserObjectId);
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, isEvent(kAdded, oid)), nullptr);
    EXPECT_EQ(c.find(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID)
                  ->as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>()
                  .dwRequestID,
              104u);

    // Identification as the program does it: everything in range, with the ATC ID.
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(c.h, 101, 404, 20 * 1852,
                                                    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
              kScOk);
    ASSERT_TRUE(
        c.pumpUntil([&] { return c.count(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE) == 2; }));
    const Msg* ai = c.find(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, [oid](const Msg& m) {
        return m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID == oid;
    });
    ASSERT_NE(ai, nullptr);
    EXPECT_EQ(ai->as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwoutof, 2u);
    EXPECT_NEAR(ai->at<double>(0), 5.0, kEps);     // above ground, resting
    EXPECT_NEAR(ai->at<double>(8), 1416.0, kEps);  // the user's ground
    EXPECT_EQ(ai->at<std::int64_t>(16), 1);        // on the ground
    EXPECT_STREQ(reinterpret_cast<const char*>(ai->data() + 24), "SWR12");

    // The program freezes it, then moves it itself.
    for (DWORD ev : {215u, 216u, 217u}) {
        ASSERT_EQ(SimConnect_TransmitClientEvent(c.h, oid, ev, 1, 301, 0), kScOk);
    }
    Position402 p{47.47, 8.57, 0.05, -0.1, 1.0, 2500.0, 10.0, 150.0};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(c.h, 402, oid, 0, 0, sizeof p, &p), kScOk);
    ASSERT_TRUE(testkit::waitUntil([&] { return sim.core().setDataApplied() == 1; }, 2s));
    c.pumpFor(300ms);
    auto objects = sim.core().aiObjects();
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_NEAR(objects[0].lat, 47.47, kEps);  // frozen: it stays where it was put
    EXPECT_NEAR(objects[0].lon, 8.57, kEps);
    EXPECT_NEAR(objects[0].altFt, 2500.0, kEps);
    EXPECT_TRUE(objects[0].freezeLatLon && objects[0].freezeAlt && objects[0].freezeAttitude);
    EXPECT_FALSE(objects[0].onGround());

    ASSERT_EQ(SimConnect_AIRemoveObject(c.h, oid, 105), kScOk);
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, isEvent(kRemoved, oid)),
              nullptr);
    EXPECT_TRUE(sim.core().aiObjects().empty());
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EXCEPTION), 0u);

    c.pumpFor(100ms);
    const auto created = sim.traceOf("create");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0]["oid"], oid);
    EXPECT_EQ(created[0]["title"], "Airbus A320 Swiss");
    EXPECT_EQ(created[0]["tail"], "SWR12");
    EXPECT_EQ(created[0]["on_ground"], true);
    EXPECT_NEAR(created[0]["alt_ft"].get<double>(), 1421.0, kEps);
    EXPECT_NEAR(created[0]["hdg_deg"].get<double>(), 280.0, 1e-6);
    const auto positions = sim.traceOf("pos");
    ASSERT_EQ(positions.size(), 1u);  // sampled once: its position was set once
    EXPECT_NEAR(positions[0]["lat"].get<double>(), 47.47, kEps);
    EXPECT_NEAR(positions[0]["pitch_deg"].get<double>(), 0.05 * 57.29577951308232, 1e-9);
    EXPECT_NEAR(positions[0]["hdg_deg"].get<double>(), 57.29577951308232, 1e-9);
    EXPECT_NEAR(positions[0]["vs_fps"].get<double>(), 10.0, kEps);
    EXPECT_NEAR(positions[0]["tas_kt"].get<double>(), 150.0, kEps);
    EXPECT_EQ(sim.traceOf("client_event").size(), 3u);
    EXPECT_EQ(sim.traceOf("client_event")[0]["name"], "FREEZE_LATITUDE_LONGITUDE_SET");
    ASSERT_EQ(sim.traceOf("remove").size(), 1u);
}

TEST(StandIn, ReportsTheExceptionsTheProgramHandles) {
    Scenario sc = zurich();
    sc.objectLimit = 2;
    StandIn sim(sc);
    Client c(sim.port());
    sctest::registerLikeTheProgram(c.h);
    const auto pos = sctest::initPosition(47.46, 8.56, 0, 0, true);

    // A refused title names the creation packet, so the program finds its pending creation.
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(c.h, "Refused Livery", "REF1", pos, 104), kScOk);
    const DWORD refusedSendId = c.lastSendId();
    const Msg* refused = c.waitException(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, refusedSendId);

    // The object limit.
    const DWORD a = create(c, "A", "A1", pos);
    const DWORD b = create(c, "B", "B1", pos);
    ASSERT_TRUE(a > 1 && b > a);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(c.h, "C", "C1", pos, 104), kScOk);
    const DWORD limitSendId = c.lastSendId();
    const Msg* tooMany = c.waitException(SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS);
    ASSERT_NE(tooMany, nullptr);
    EXPECT_EQ(tooMany->as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, limitSendId);

    // Unknown ids.
    ASSERT_EQ(SimConnect_AIRemoveObject(c.h, 999, 105), kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID), nullptr);

    // A size that does not fit the definition.
    const double twoDoubles[2] = {1, 2};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(c.h, 402, a, 0, 0, sizeof twoDoubles,
                                            const_cast<double*>(twoDoubles)),
              kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE), nullptr);

    // Flight plans: a missing file fails, an existing one (with or without .pln) is taken.
    ASSERT_EQ(
        SimConnect_AISetAircraftFlightPlan(c.h, a, (sim.dir() / "nope.pln").string().c_str(), 110),
        kScOk);
    ASSERT_NE(c.waitException(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED), nullptr);
    testkit::writeFile(sim.dir() / "12.pln", "<?xml version=\"1.0\"?>\n");
    ASSERT_EQ(
        SimConnect_AISetAircraftFlightPlan(c.h, a, (sim.dir() / "12.pln").string().c_str(), 110),
        kScOk);
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(c.h, b, (sim.dir() / "12").string().c_str(), 110),
              kScOk);
    c.pumpFor(100ms);
    EXPECT_EQ(c.count(SIMCONNECT_RECV_ID_EXCEPTION), 5u);
    ASSERT_EQ(sim.traceOf("flight_plan").size(), 2u);
    EXPECT_EQ(sim.traceOf("refused").at(0)["title"], "Refused Livery");
    EXPECT_EQ(sim.traceOf("exception").size(), 5u);

    // The user aircraft is not an AI object.
    ASSERT_EQ(SimConnect_AIRemoveObject(c.h, simstandin::kUserObjectId, 105), kScOk);
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

// The timeline's events reach the subscribers; the user aircraft and an unfrozen AI aircraft
// move on by themselves.
TEST(StandIn, TimelineEventsReachSubscribersAndUnfrozenAircraftFlyOn) {
    Scenario sc = zurich();
    simstandin::TimelineEntry move = act(Action::MoveUser, 1.2);
    move.lat = 48.0;
    move.lon = 9.0;
    move.altFt = 5000.0;
    move.onGround = false;
    move.headingDeg = 45.0;
    move.groundSpeedKt = 250.0;
    sc.timeline = {act(Action::PositionChanged, 1.0), act(Action::FlightLoaded, 1.1), move};
    StandIn sim(sc);
    Client c(sim.port());
    sctest::registerLikeTheProgram(c.h);
    ASSERT_GT(create(c, "Cruiser", "N1", sctest::initPosition(47.0, 8.0, 10000, 90, false, 300)),
              1u);
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_EVENT, isEvent(205, 0)), nullptr);
    const Msg* loaded = c.waitFor(SIMCONNECT_RECV_ID_EVENT_FILENAME);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->as<SIMCONNECT_RECV_EVENT_FILENAME>().uEventID, 206u);
    ASSERT_TRUE(testkit::waitUntil([&] { return !sim.core().userAircraft().userOnGround; }, 2s));
    const auto u = sim.core().userAircraft();
    EXPECT_NEAR(u.lat, 48.0, 0.01);  // and moving on at 250 kt
    EXPECT_NEAR(u.altFt, 5000.0, kEps);
    const auto o = sim.core().aiObjects().at(0);
    EXPECT_NEAR(o.lat, 47.0, 1e-3);
    EXPECT_GT(o.lon, 8.0005);  // 300 kt east for over a second: about 0.002 degree
    EXPECT_NEAR(o.altFt, 10000.0, kEps);
}

// A client's aircraft go with it, whether it closes or its link breaks. Failed requests break
// every client's link (no QUIT), but the simulator runs on and takes new connections.
TEST(StandIn, FailedRequestsDropTheClientButTheSimulatorRunsOn) {
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

    ASSERT_GT(create(watcher, "B", "B1", pos), 1u);
    sim.core().perform(act(Action::FailRequests));
    ASSERT_TRUE(watcher.pumpUntil([&] { return gf_scFailed(watcher.pump()); }));
    EXPECT_EQ(watcher.count(SIMCONNECT_RECV_ID_QUIT), 0u);  // a broken link, not a quit
    EXPECT_EQ(SimConnect_RequestDataOnSimObject(watcher.h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE),
              kScFail);
    EXPECT_TRUE(testkit::waitUntil([&] { return sim.core().aiObjects().empty(); }, 2s));
    Client late(sim.port());
    ASSERT_NE(late.waitFor(SIMCONNECT_RECV_ID_OPEN), nullptr);
}

}  // namespace
}  // namespace wnd
