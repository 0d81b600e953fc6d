// The dispatch rules, fed with hand-made messages as the transport delivers them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "sim_test_util.h"

namespace wnd {
namespace {

using simtest::FakeApi;
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

Message event(DWORD recvId, DWORD eventId, DWORD data, DWORD objType = 0) {
    Message m = header(recvId, recvId == SIMCONNECT_RECV_ID_EVENT_FILENAME
                                   ? sizeof(SIMCONNECT_RECV_EVENT_FILENAME)
                                   : sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE));
    auto& e = m.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
    e.uEventID = eventId;
    e.dwData = data;
    e.eObjType = static_cast<SIMCONNECT_SIMOBJECT_TYPE>(objType);
    return m;
}

Message added(DWORD objectId, DWORD type = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) {
    return event(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, simid::kEvObjectAdded, objectId, type);
}

Message exceptionMsg(DWORD exception, DWORD sendId = 0, DWORD index = 0) {
    Message m = header(SIMCONNECT_RECV_ID_EXCEPTION, sizeof(SIMCONNECT_RECV_EXCEPTION));
    auto& e = m.as<SIMCONNECT_RECV_EXCEPTION>();
    e.dwException = exception;
    e.dwSendID = sendId;
    e.dwIndex = index;
    return m;
}

class Dispatch : public RunFrame {
  protected:
    void SetUp() override {
        RunFrame::SetUp();
        link_.prepare(5);
    }
    void feed(Message m) { link_.dispatchForTest(&m.as<SIMCONNECT_RECV>(), m.size); }
    std::vector<SimNotice> notices() {
        std::vector<SimNotice> n;
        link_.takeNotices(n);
        return n;
    }
    SimLink link_;
};

// Objects at or below the user are never taken; gone ones leave the list; aircraft in range
// become notices unless high, nameless or starred.
TEST_F(Dispatch, AddedObjectsAndAircraftInRange) {
    feed(userPosition(47.46, 8.55, 10));
    ASSERT_EQ(link_.userObjectId(), 10u);
    for (DWORD oid : {9u, 10u, 11u}) {
        feed(added(oid));
    }
    feed(added(12, SIMCONNECT_SIMOBJECT_TYPE_BOAT));
    EXPECT_EQ(link_.addedObjects(), std::vector<std::uint32_t>{11});
    feed(event(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, simid::kEvObjectRemoved, 11,
               SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT));
    EXPECT_TRUE(link_.addedObjects().empty());
    EXPECT_EQ(notices(), (std::vector<SimNotice>{{11, 0, NoticeKind::ObjectRemoved, 0, 0}}));

    feed(inRange(10, 0, 1400, true, "HB-ABC"));
    feed(inRange(20, 0.0, 1416.0, true, "SWR12"));
    feed(inRange(21, 2500.0, 1416.0, false, "SWR13"));
    feed(inRange(22, 2500.5, 1416.0, false, "SWR14"));
    feed(inRange(23, 100.0, 1416.0, false, ""));
    feed(inRange(24, 100.0, 1416.0, false, "EZY1*"));
    EXPECT_EQ(notices(), (std::vector<SimNotice>{{20, 1, NoticeKind::InRange, 1416.0, 0.0},
                                                 {21, 0, NoticeKind::InRange, 1416.0, 2500.0}}));
}

// Our creations are known by their callsign: released, frozen and reported; a refused one
// leaves exactly its own pending creation; another program's aircraft is only logged.
TEST_F(Dispatch, NewObjectsAreIdentifiedByTheirCallsign) {
    FakeApi api;
    gf_setSimConnectApi(&api);
    link_.attachHandle(reinterpret_cast<HANDLE>(std::uintptr_t{1}));
    feed(userPosition(47.46, 8.55, 1));
    link_.queues().addCreation(simtest::creation(0x4B1234, "SWR100"));
    link_.queues().addCreation(simtest::creation(7, "EZY7"));
    link_.queues().addCreation(simtest::creation(0x4B0002, "SWR2"));
    ASSERT_TRUE(link_.sendFrame());
    const auto pending = link_.pendingCreations();
    ASSERT_EQ(pending.size(), 3u);
    feed(exceptionMsg(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, pending[2].sendId));
    EXPECT_EQ(notices(), (std::vector<SimNotice>{{0, 0x4B0002, NoticeKind::CreationRefused}}));
    EXPECT_EQ(link_.pendingCreations().size(), 2u);

    for (DWORD oid : {20u, 21u, 22u}) {
        feed(added(oid));
    }
    feed(inRange(20, 84.0, 1416.0, false, "SWR100"));
    feed(inRange(21, 0.0, 1416.0, true, "EZY7"));
    feed(inRange(22, 5.0, 1416.0, true, "SWR2"));
    EXPECT_EQ(notices(), (std::vector<SimNotice>{{20, 0x4B1234, NoticeKind::LiveIdentified, 0, 84},
                                                 {21, 7, NoticeKind::StaticIdentified, 0, 0}}));
    EXPECT_TRUE(link_.pendingCreations().empty());
    EXPECT_TRUE(
        logHas("just spawned, but not by Wendle_P3D, oid: 22, callsign 'SWR2', altaboveGnd:5 ft, "
               "onground:1, gnd_alt:1416 ft"));
    const auto calls = api.calls();
    EXPECT_EQ(std::vector(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"release 20 103", "release 21 103"}));
    const auto events = link_.queues().queued().events;
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0], (ClientEventCommand{20, simid::kEvFreezeLatLon, 1}));
    EXPECT_EQ(events[4], (ClientEventCommand{21, simid::kEvFreezeAltitude, 1}));
    link_.attachHandle(nullptr);
}

TEST_F(Dispatch, NullPositionSuppressesTeleportAndUnrecognizedId) {
    feed(exceptionMsg(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID));
    feed(userPosition(0.0, 0.0));
    feed(userPosition(47.46, 8.55));  // from 0,0: no teleport
    EXPECT_FALSE(gf_runControl().stopRequested());
    EXPECT_FALSE(logHas("UNRECOGNIZED_ID"));
    EXPECT_DOUBLE_EQ(link_.userAircraft().altitude, 0.0);  // negative altitude kept at 0
    EXPECT_EQ(link_.simulationTime(), *gf_simulationTime(2024, 61, 37785));
    feed(exceptionMsg(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID));
    EXPECT_TRUE(logHas("==> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"));
    feed(userPosition(47.60, 8.55));  // 8.4 nm
    EXPECT_FALSE(gf_runControl().stopRequested());
    feed(userPosition(47.80, 8.55));  // 12 nm
    EXPECT_TRUE(logHas("\nTeleport\n"));
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::NewFlight);
    EXPECT_EQ(gf_runControl().restartDelay(), 30);
}

TEST_F(Dispatch, ANewFlightFileOrPositionEndsTheRunAfterThirtySeconds) {
    const Message news[] = {event(SIMCONNECT_RECV_ID_EVENT, simid::kEvPositionChanged, 0),
                            event(SIMCONNECT_RECV_ID_EVENT, simid::kEvFlightLoaded, 0),
                            event(SIMCONNECT_RECV_ID_EVENT_FILENAME, 0, 0)};
    const char* lines[] = {"\nUser ac position changed\n", "\nSimConnect: flight loaded event\n",
                           "\nSimConnect: New file event\n"};
    for (int i = 0; i < 3; ++i) {
        gf_runControl().reset();
        feed(news[i]);
        EXPECT_TRUE(logHas(lines[i]));
        EXPECT_EQ(gf_runControl().exitReason(), ExitReason::NewFlight);
        EXPECT_EQ(gf_runControl().restartDelay(), 30);
    }
}

TEST_F(Dispatch, OnGroundIsKnownOnlyAfterThePositionButTicksAlways) {
    Message onGround = objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, simid::kReqOnGround, 1, 8);
    onGround.put(kSimObjectDataOffset, std::int64_t{1});
    feed(onGround);
    EXPECT_TRUE(gf_runControl().takeOneSecondTick());
    EXPECT_FALSE(link_.userOnGround());
    feed(userPosition(47.46, 8.55));
    feed(onGround);
    EXPECT_TRUE(gf_runControl().takeOneSecondTick());
    EXPECT_EQ(link_.userOnGround(), std::optional<bool>(true));
}

TEST_F(Dispatch, ExceptionTable) {
    feed(exceptionMsg(SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS));
    EXPECT_EQ(gf_display().status(), "SimConnect: too many objects (max 1000)");
    EXPECT_TRUE(logHas("\nSimConnect: too many objects (max 1000)\n"));
    feed(exceptionMsg(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED));
    EXPECT_TRUE(logHas("==> SimConnect exception: load flight plan failed"));
    feed(exceptionMsg(SIMCONNECT_EXCEPTION_DATUM_ID));
    EXPECT_TRUE(logHas("==> SIMCONNECT_EXCEPTION #30"));
    try {
        feed(exceptionMsg(SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 1, 3));
        FAIL();
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "95: SimConnect Version Mismatch, dwIndex: 3");
    }
    feed(header(77, 12));
    EXPECT_TRUE(logHas("! Unknown Dispatch dwID 77"));
}

}  // namespace
}  // namespace wnd
