// The command side without a simulator (what lands in the outgoing queues) and the dispatch
// rules fed with hand-made messages.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "board/status_board.h"
#include "sim_test_util.h"

namespace wnd {
namespace {

using simtest::RunFrame;

// A message built by hand, 8-byte aligned and zero padded like the transport's.
struct Message {
    alignas(8) std::array<std::uint8_t, 1024> bytes{};
    DWORD size = 0;

    template <typename T>
    T& as() {
        return *reinterpret_cast<T*>(bytes.data());
    }
    template <typename T>
    void put(std::size_t offset, const T& v) {
        std::memcpy(bytes.data() + offset, &v, sizeof v);
    }
};

Message header(DWORD recvId, std::size_t size) {
    Message m;
    m.size = static_cast<DWORD>(size);
    m.as<SIMCONNECT_RECV>().dwID = recvId;
    m.as<SIMCONNECT_RECV>().dwSize = m.size;
    return m;
}

Message objectData(DWORD recvId, DWORD requestId, DWORD objectId, std::size_t dataSize) {
    Message m = header(recvId, kSimObjectDataOffset + dataSize);
    m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwRequestID = requestId;
    m.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID = objectId;
    return m;
}

Message userPosition(double lat, double lon, DWORD objectId = 1) {
    Message m = objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, simid::kReqUserPosition, objectId,
                           sizeof(UserAircraftData));
    UserAircraftData u;
    u.latitude = lat;
    u.longitude = lon;
    u.altitude = -20.0;
    u.zuluYear = 2024;
    u.zuluDayOfYear = 61;
    u.zuluTime = 37785;
    m.put(kSimObjectDataOffset, u);
    return m;
}

Message inRange(DWORD objectId, double agl, double groundAlt, bool onGround,
                const std::string& atcId) {
    Message m =
        objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, simid::kReqInRange, objectId, 56);
    m.put(kSimObjectDataOffset, agl);
    m.put(kSimObjectDataOffset + 8, groundAlt);
    m.put(kSimObjectDataOffset + 16, std::int64_t{onGround ? 1 : 0});
    std::memcpy(m.bytes.data() + kSimObjectDataOffset + 24, atcId.data(),
                std::min<std::size_t>(atcId.size(), 31));
    return m;
}

Message addRemove(DWORD eventId, DWORD objectId,
                  SIMCONNECT_SIMOBJECT_TYPE type = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) {
    Message m = header(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE,
                       sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE));
    auto& e = m.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
    e.uEventID = eventId;
    e.dwData = objectId;
    e.eObjType = type;
    return m;
}

Message exceptionMsg(DWORD exception, DWORD sendId = 0, DWORD index = 0) {
    Message m = header(SIMCONNECT_RECV_ID_EXCEPTION, sizeof(SIMCONNECT_RECV_EXCEPTION));
    auto& e = m.as<SIMCONNECT_RECV_EXCEPTION>();
    e.dwException = exception;
    e.dwSendID = sendId;
    e.dwIndex = index;
    return m;
}

void feed(SimLink& link, Message m) {
    link.dispatchForTest(&m.as<SIMCONNECT_RECV>(), m.size);
}

class Commands : public RunFrame {
  protected:
    void SetUp() override {
        RunFrame::SetUp();
        link_.prepare(5);
    }
    std::vector<ClientEventCommand> events() { return link_.outgoing().events; }
    void clearQueues() {
        link_.sendFrame();  // no connection: the queues are emptied
    }
    SimLink link_;
};

TEST_F(Commands, FlapsAndThrottleAreSentOnlyWhenTheStepChanges) {
    AiControls ac{5000, kLarge, 0, 0};
    link_.setFlaps(ac, 0);  // already there
    link_.setFlaps(ac, 2);
    link_.setFlaps(ac, 2);
    link_.setFlaps(ac, 4);  // no such step
    link_.setThrottle(ac, 4);
    link_.setThrottle(ac, 4);
    link_.setThrottle(ac, 5);
    EXPECT_EQ(events(), (std::vector<ClientEventCommand>{{5000, simid::kEvFlaps, 10240},
                                                         {5000, simid::kEvThrottle, 16383}}));
    EXPECT_EQ(ac.flapsStep, 2u);
    EXPECT_EQ(ac.throttleStep, 4u);
    EXPECT_TRUE(logHas("==> gf_setFlaps: invalid flaps index"));

    // After a respawn any valid step goes out again, step 0 included.
    clearQueues();
    ac.afterRespawnRemoval();
    ac.objectId = 6000;
    link_.setFlaps(ac, 0);
    link_.setThrottle(ac, 0);
    EXPECT_EQ(events(), (std::vector<ClientEventCommand>{{6000, simid::kEvFlaps, 0},
                                                         {6000, simid::kEvThrottle, 0}}));
}

TEST_F(Commands, RotorcraftGetThrottleAndLightsButNoGearSpoilersOrFlaps) {
    AiControls heli{7000, kRotorcraft, 0, 0};
    link_.setGear(heli, true);
    link_.setSpoilers(heli, true);
    link_.setFlaps(heli, 3);
    link_.setThrottle(heli, 4);
    link_.setNavLight(heli, true);
    EXPECT_EQ(events(), (std::vector<ClientEventCommand>{{7000, simid::kEvThrottle, 16383},
                                                         {7000, simid::kEvNavLights, 1}}));
    AiControls jet{7001, kHeavy, 0, 0};
    clearQueues();
    link_.setGear(jet, false);
    link_.setSpoilers(jet, true);
    link_.setSpoilers(jet, false);
    EXPECT_EQ(events(), (std::vector<ClientEventCommand>{{7001, simid::kEvGear, 0},
                                                         {7001, simid::kEvSpoilers, 16383},
                                                         {7001, simid::kEvSpoilers, 0}}));
}

TEST_F(Commands, ParkedConfiguration) {
    gs().RANDOM.set(false);
    gs().NAV_LIGHTS_WHILE_PARKED.set(false);
    AiControls ac{8000, kLarge, 3, 2};
    link_.setParkedConfiguration(ac, false);
    const std::vector<ClientEventCommand> expected = {
        {8000, simid::kEvThrottle, 0},       {8000, simid::kEvFlaps, 0},
        {8000, simid::kEvEngineShutdown, 0}, {8000, simid::kEvNavLights, 0},
        {8000, simid::kEvBeaconLights, 0},   {8000, simid::kEvLandingLights, 0},
        {8000, simid::kEvTaxiLights, 0},     {8000, simid::kEvStrobes, 0},
        {8000, simid::kEvLogoLights, 1},     {8000, simid::kEvCabinLights, 1}};
    EXPECT_EQ(events(), expected);
    // With the stand flag the cabin stays dark; steps already at 0 send nothing.
    clearQueues();
    gs().NAV_LIGHTS_WHILE_PARKED.set(true);
    link_.setParkedConfiguration(ac, true);
    const auto again = events();
    ASSERT_EQ(again.size(), 8u);
    EXPECT_EQ(again[0].eventId, simid::kEvEngineShutdown);
    EXPECT_EQ(again[1], (ClientEventCommand{8000, simid::kEvNavLights, 1}));
    EXPECT_EQ(again[7], (ClientEventCommand{8000, simid::kEvCabinLights, 0}));
}

TEST_F(Commands, PacingSendsOneCreationPer50CyclesLiveFirstAndOneRemovalPer10) {
    link_.queueStaticCreation(simtest::creation(7, "STATIC7"));
    link_.queueLiveCreation(simtest::creation(0x4B0001, "LIVE1"));
    link_.queueLiveCreation(simtest::creation(0x4B0002, "LIVE2"));
    link_.queueLiveCreation(simtest::creation(0x4B0003, "LIVE3"));
    for (std::uint32_t oid = 100; oid < 105; ++oid) {
        link_.queueRemoval(oid);
    }
    EXPECT_TRUE(link_.creationQueued("LIVE3"));
    EXPECT_TRUE(link_.cancelQueuedCreation(0x4B0003));
    EXPECT_FALSE(link_.creationQueued("LIVE3"));
    EXPECT_FALSE(link_.cancelQueuedCreation(0x4B0003));

    std::vector<std::pair<int, std::string>> created;
    std::vector<std::pair<int, std::uint32_t>> removed;
    for (int cycle = 0; cycle < 160; ++cycle) {
        link_.pacingStep();
        const auto out = link_.outgoing();
        for (const auto& c : out.creations) {
            created.emplace_back(cycle, c.tailNumber);
        }
        for (auto oid : out.removals) {
            removed.emplace_back(cycle, oid);
        }
        clearQueues();
    }
    EXPECT_EQ(created, (std::vector<std::pair<int, std::string>>{
                           {0, "LIVE1"}, {50, "LIVE2"}, {100, "STATIC7"}}));
    EXPECT_EQ(removed, (std::vector<std::pair<int, std::uint32_t>>{
                           {0, 100}, {10, 101}, {20, 102}, {30, 103}, {40, 104}}));
    EXPECT_EQ(link_.liveCreationQueueSize() + link_.staticCreationQueueSize(), 0u);
}

TEST_F(Commands, PositionsSwapOncePerCycleAndABusyLockDropsTheCycle) {
    PositionCommand p;
    p.objectId = 42;
    p.position.latitude = 47.0;
    link_.addPosition(p);
    EXPECT_TRUE(link_.swapPositionBuffers());
    ASSERT_EQ(link_.outgoing().positions.size(), 1u);

    // A newer cycle replaces what the frame has not sent yet.
    p.position.latitude = 47.5;
    link_.addPosition(p);
    EXPECT_TRUE(link_.swapPositionBuffers());
    auto out = link_.outgoing();
    ASSERT_EQ(out.positions.size(), 1u);
    EXPECT_DOUBLE_EQ(out.positions[0].position.latitude, 47.5);

    {
        auto held = link_.lockCommands();
        p.position.latitude = 48.0;
        link_.addPosition(p);
        EXPECT_FALSE(link_.swapPositionBuffers());
        EXPECT_FALSE(link_.sendFrame());  // busy: sends and empties nothing
    }
    out = link_.outgoing();
    ASSERT_EQ(out.positions.size(), 1u);
    EXPECT_DOUBLE_EQ(out.positions[0].position.latitude, 47.5);
    EXPECT_EQ(link_.framesBusy(), 1u);
    // The dropped cycle left nothing behind for the next swap.
    EXPECT_TRUE(link_.swapPositionBuffers());
    EXPECT_TRUE(link_.outgoing().positions.empty());
}

TEST_F(Commands, TwentyRefusedLiveriesEndTheRunWithUserError81) {
    for (int i = 0; i < 19; ++i) {
        const std::string title = fmt::format("Livery {}", i);
        link_.creationRefused("SWR1", title, "A320", "SWR");
        link_.creationRefused("SWR2", title, "A321", "SWR");  // the same livery counts once
    }
    EXPECT_EQ(link_.failedLiveryCount(), 19u);
    EXPECT_TRUE(link_.isFailedLivery("Livery 3"));
    EXPECT_TRUE(link_.isFailedCombination("A321", "SWR"));
    EXPECT_FALSE(link_.isFailedCombination("A330", "SWR"));
    EXPECT_EQ(gf_board().status(), "SWR2 'Livery 18' could not be created by your Sim!");
    try {
        link_.creationRefused("SWR3", "Livery 19", "A320", "SWR");
        FAIL() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.number(), 81);
        EXPECT_STREQ(e.what(),
                     "81: There are too many liveries that could not be created!, see Log.txt");
    }
    EXPECT_TRUE(
        logHas("\n===> Error 81, There are too many liveries that could not be created!\n"));
}

TEST_F(Commands, NoLiverySetAndItsReport) {
    link_.writeNoLiveryReport();
    EXPECT_FALSE(logHas("No match found for:"));
    const std::string key = SimLink::noLiveryKey("EZY", "A20N", "G-UZHA");
    EXPECT_EQ(SimLink::noLiveryKey("PVT", "C72", ""), "PVT C72  ");
    link_.addNoLivery(key);
    link_.addNoLivery(SimLink::noLiveryKey("AAL", "B38M", "N314RG"));
    EXPECT_TRUE(link_.isNoLivery(key));
    link_.writeNoLiveryReport();
    EXPECT_TRUE(logHas("\nNo match found for:\nAAL B38M N314RG\nEZY A20N G-UZHA\n" +
                       std::string(48, '-') + "\n"));
}

// ---- Dispatch rules ----

TEST_F(Commands, ObjectsAddedAtOrBelowTheUserAreNeverTaken) {
    feed(link_, userPosition(47.46, 8.55, 10));
    ASSERT_EQ(link_.userObjectId(), 10u);
    feed(link_, addRemove(simid::kEvObjectAdded, 9));
    feed(link_, addRemove(simid::kEvObjectAdded, 10));
    feed(link_, addRemove(simid::kEvObjectAdded, 11));
    feed(link_, addRemove(simid::kEvObjectAdded, 12, SIMCONNECT_SIMOBJECT_TYPE_BOAT));
    EXPECT_EQ(link_.addedObjects(), std::vector<std::uint32_t>{11});
    // An object that goes before it was identified leaves the list.
    feed(link_, addRemove(simid::kEvObjectRemoved, 11));
    EXPECT_TRUE(link_.addedObjects().empty());
    std::vector<SimNotice> n;
    link_.takeNotices(n);
    EXPECT_EQ(n, (std::vector<SimNotice>{{11, 0, NoticeKind::ObjectRemoved, 0, 0}}));
    // By-type replies about the user or below are ignored.
    feed(link_, inRange(10, 0, 1400, true, "HB-ABC"));
    EXPECT_EQ(link_.noticeCount(), 0u);
}

TEST_F(Commands, AircraftInRangeBecomeNoticesUnlessHighOrNamelessOrStarred) {
    feed(link_, userPosition(47.46, 8.55, 1));
    feed(link_, inRange(20, 0.0, 1416.0, true, "SWR12"));
    feed(link_, inRange(21, 2500.0, 1416.0, false, "SWR13"));
    feed(link_, inRange(22, 2500.5, 1416.0, false, "SWR14"));
    feed(link_, inRange(23, 100.0, 1416.0, false, ""));
    feed(link_, inRange(24, 100.0, 1416.0, false, "EZY1*"));
    std::vector<SimNotice> n;
    link_.takeNotices(n);
    EXPECT_EQ(n, (std::vector<SimNotice>{{20, 1, NoticeKind::InRange, 1416.0, 0.0},
                                         {21, 0, NoticeKind::InRange, 1416.0, 2500.0}}));
}

TEST_F(Commands, NullPositionSuppressesTeleportAndUnrecognizedId) {
    feed(link_, exceptionMsg(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID));
    feed(link_, userPosition(0.0, 0.0));
    feed(link_, userPosition(47.46, 8.55));  // from 0,0: no teleport
    EXPECT_FALSE(gf_runControl().stopRequested());
    EXPECT_FALSE(logHas("UNRECOGNIZED_ID"));
    EXPECT_DOUBLE_EQ(link_.userAircraft().altitude, 0.0);  // negative altitude kept at 0
    EXPECT_EQ(link_.simulationTime(), *gf_simulationTime(2024, 61, 37785));
    feed(link_, exceptionMsg(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID));
    EXPECT_TRUE(logHas("==> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"));
    feed(link_, userPosition(47.60, 8.55));  // 8.4 nm
    EXPECT_FALSE(gf_runControl().stopRequested());
    feed(link_, userPosition(47.80, 8.55));  // 12 nm
    EXPECT_TRUE(logHas("\nTeleport\n"));
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::NewFlight);
    EXPECT_EQ(gf_runControl().restartDelay(), 30);
}

TEST_F(Commands, OnGroundIsKnownOnlyAfterThePositionButTicksAlways) {
    auto onGround = objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, simid::kReqOnGround, 1, 8);
    onGround.put(kSimObjectDataOffset, std::int64_t{1});
    feed(link_, onGround);
    EXPECT_TRUE(gf_runControl().takeOneSecondTick());
    EXPECT_FALSE(link_.userOnGround());
    feed(link_, userPosition(47.46, 8.55));
    feed(link_, onGround);
    EXPECT_TRUE(gf_runControl().takeOneSecondTick());
    EXPECT_EQ(link_.userOnGround(), std::optional<bool>(true));
}

TEST_F(Commands, ExceptionTable) {
    feed(link_, exceptionMsg(SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS));
    EXPECT_EQ(gf_board().status(), "SimConnect: too many objects (max 1000)");
    EXPECT_TRUE(logHas("\nSimConnect: too many objects (max 1000)\n"));
    feed(link_, exceptionMsg(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED));
    EXPECT_TRUE(logHas("==> SimConnect exception: load flight plan failed"));
    feed(link_, exceptionMsg(SIMCONNECT_EXCEPTION_DATUM_ID));
    EXPECT_TRUE(logHas("==> SIMCONNECT_EXCEPTION #30"));
    try {
        feed(link_, exceptionMsg(SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 1, 3));
        FAIL();
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "95: SimConnect Version Mismatch, dwIndex: 3");
    }
    feed(link_, header(77, 12));
    EXPECT_TRUE(logHas("! Unknown Dispatch dwID 77"));
}

}  // namespace
}  // namespace wnd
