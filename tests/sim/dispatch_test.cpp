// The dispatch rules, fed with messages encoded as the simulator sends them.
#include <gtest/gtest.h>

#include "board/status_board.h"
#include "sim_test_util.h"
#include "simconnect/wire.h"
#include "testkit/testkit.h"

namespace wnd {
namespace {

// Messages as the simulator sends them, handed over by the transport's own code.
using Packet = std::vector<std::uint8_t>;

template <typename Encode>
Packet packet(Encode&& encode) {
    scwire::PacketWriter w;
    encode(w);
    return w.buffer();
}

Packet objectData(DWORD recvId, DWORD requestId, DWORD objectId, const Packet& data) {
    return packet([&](scwire::PacketWriter& w) {
        scwire::gf_beginRecvObjectData(w, {recvId, requestId, objectId}, 4);
        w.bytes(data.data(), data.size());
        w.endServer();
    });
}

Packet userPosition(double lat, double lon, DWORD objectId = 1) {
    return objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, simid::kReqUserPosition, objectId,
                      packet([&](scwire::PacketWriter& w) {
                          for (double v : {lat, lon, 0.0, 0.0, 0.0, -20.0, 0.0, 0.0}) {
                              w.f64(v);
                          }
                          for (std::uint64_t v : {37785ULL, 61ULL, 2024ULL, 0ULL}) {
                              w.u64(v);
                          }
                      }));
}

Packet inRange(DWORD objectId, double agl, double groundAlt, bool onGround,
               const std::string& atcId) {
    return objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, simid::kReqInRange, objectId,
                      packet([&](scwire::PacketWriter& w) {
                          w.f64(agl);
                          w.f64(groundAlt);
                          w.u64(onGround ? 1U : 0U);
                          w.fixedString(atcId, 32);
                      }));
}

Packet event(DWORD eventId, DWORD data = 0) {
    return packet([&](auto& w) { scwire::gf_encodeRecvEvent(w, 0, eventId, data, 4); });
}

Packet addRemove(DWORD eventId, DWORD objectId, DWORD type = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) {
    return packet(
        [&](auto& w) { scwire::gf_encodeRecvEventAddRemove(w, eventId, objectId, type, 4); });
}

Packet exceptionMsg(DWORD exception, DWORD sendId = 0, DWORD index = 0) {
    return packet([&](auto& w) { scwire::gf_encodeRecvException(w, exception, sendId, index, 4); });
}

class Dispatch : public simtest::RunFrame {
  protected:
    void feed(const Packet& p) {
        scwire::Inbox inbox;
        ASSERT_TRUE(inbox.add(p));
        link_.dispatchForTest(inbox.message(0), inbox.messageSize(0));
    }
    std::vector<SimNotice> notices() {
        std::vector<SimNotice> n;
        link_.takeNotices(n);
        return n;
    }
};

// Objects at or below the user are never taken; gone ones leave the list; aircraft in range
// become notices unless high, nameless or starred.
TEST_F(Dispatch, AddedObjectsAndAircraftInRange) {
    feed(userPosition(47.46, 8.55, 10));
    ASSERT_EQ(link_.userObjectId(), 10u);
    for (DWORD oid : {9u, 10u, 11u}) {
        feed(addRemove(simid::kEvObjectAdded, oid));
    }
    feed(addRemove(simid::kEvObjectAdded, 12, SIMCONNECT_SIMOBJECT_TYPE_BOAT));
    EXPECT_EQ(link_.addedObjects(), std::vector<std::uint32_t>{11});
    feed(addRemove(simid::kEvObjectRemoved, 11));
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
    simtest::FakeApi& api = useFakeApi();
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
        feed(addRemove(simid::kEvObjectAdded, oid));
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
    // Both of ours are released and frozen (the e2e run sees it in the simulator).
    EXPECT_EQ(api.calls().back(), "release 21 103");
    EXPECT_EQ(link_.queues().queued().events.size(), 6u);
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
    const std::pair<Packet, const char*> news[] = {
        {event(simid::kEvPositionChanged), "\nUser ac position changed\n"},
        {event(simid::kEvFlightLoaded), "\nSimConnect: flight loaded event\n"},
        {packet([](auto& w) { scwire::gf_encodeRecvEventFilename(w, 0, "a.fxml", 0, 4); }),
         "\nSimConnect: New file event\n"}};
    for (const auto& [message, line] : news) {
        gf_runControl().reset();
        feed(message);
        EXPECT_TRUE(logHas(line));
        EXPECT_EQ(gf_runControl().exitReason(), ExitReason::NewFlight);
        EXPECT_EQ(gf_runControl().restartDelay(), 30);
    }
}

TEST_F(Dispatch, OnGroundIsKnownOnlyAfterThePositionButTicksAlways) {
    const Packet onGround = objectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, simid::kReqOnGround, 1,
                                       packet([](auto& w) { w.u64(1); }));
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
    EXPECT_EQ(gf_board().status(), "SimConnect: too many objects (max 1000)");
    EXPECT_TRUE(logHas("\nSimConnect: too many objects (max 1000)\n"));
    feed(exceptionMsg(SIMCONNECT_EXCEPTION_DATUM_ID));  // one without a text of its own
    EXPECT_TRUE(logHas("==> SIMCONNECT_EXCEPTION #30"));
    EXPECT_EQ(testkit::errorText(
                  [&] { feed(exceptionMsg(SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 1, 3)); }),
              "95: SimConnect Version Mismatch, dwIndex: 3");
    feed(packet([](auto& w) {
        w.beginServer(77);
        w.endServer();
    }));
    EXPECT_TRUE(logHas("! Unknown Dispatch dwID 77"));
}

}  // namespace
}  // namespace wnd
