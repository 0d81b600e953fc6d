// The static set's life on a world of the tests' own: calculated when the park airport's
// file is read, placed one aircraft at a time, activated, renewed, and taken away again.
#include "parking/static_parking.h"

#include "board/status_board.h"
#include "parking/parking_fixture.h"

namespace wnd::parkingtest {
namespace {

class StaticParkingTest : public ParkingTest {
  protected:
    void SetUp() override {
        ParkingTest::SetUp();
        gf_board().reset();
        gs().parking_percentage.set(100);
    }
    // The simulator: every queued creation is identified and, after the frozen cycles, the
    // engine hands it on.
    void createAll() {
        for (int guard = 0; guard < 1000; ++guard) {
            parking.placeNext();
            PacingQueues::Due due = world.pacingQueues.step();
            if (due.removal) {
                removals.push_back(*due.removal);
            }
            if (due.creation) {
                parking.staticActivated(
                    {nextObject++, due.creation->aircraftId, NoticeKind::StaticIdentified, 0, 0});
            } else if (parking.chosen().empty() && world.pacingQueues.staticCreationCount() == 0) {
                break;
            }
        }
    }
    void confirmRemovals() {
        for (int i = 0; i < 200; ++i) {
            if (auto r = world.pacingQueues.step().removal) {
                removals.push_back(*r);
            }
        }
        for (std::uint32_t oid : removals) {
            parking.staticRemoved(oid);
        }
    }
    std::vector<std::string> standsWithStatic() const {
        std::vector<std::string> out;
        for (const StaticEntry& e : parking.aircraft()) {
            out.push_back(e.standId);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    StaticParking parking{world};
    std::uint32_t nextObject = 100;
    std::vector<std::uint32_t> removals;
};

// (Where and how they appear in the simulator: the black-box test in tests/e2e.)
TEST_F(StaticParkingTest, PlacingRefusesStandsALiveOrStaticAircraftBlocks) {
    load(stand("A", 0, opt("HB-AAA", "SWR1", 2, "20")) + stand("B", 30, "") +  // neighbour of A
         stand("C", 200, opt("HB-CCC", "SWR3", 2, "20")) +
         stand("D", 400, opt("HB-DDD", "SWR4", 2, "20")) +
         stand("E", 430, opt("HB-EEE", "SWR5", 2, "20")) +  // neighbour of D
         stand("F", 600, opt("HB-FFF", "SWR6", 2, "20", false, "B738")));
    world.typesWithoutLivery = {"B738"};
    parking.follow();
    ASSERT_EQ(parking.chosen().size(), 4U);  // A, C, D, F (E is D's neighbour)
    // Meanwhile live aircraft arrived: one on C, one next to A.
    world.live = {{0x4b0001, 3, "EZS12", "HB-JXA", true, 0, "A320"},
                  {0x4b0002, 2, "EZS14", "HB-JXB", true, 0, "A320"}};
    for (int i = 0; i < 4; ++i) {
        parking.lf_detcs();
    }
    EXPECT_TRUE(
        log.contains("C       : no static parking for SWR3, live aircraft EZS12 standing "
                     "here"));
    EXPECT_TRUE(
        log.contains("A       : no static parking for SWR1, live aircraft EZS14 is "
                     "adjacent at B, possibly colliding"));
    ASSERT_EQ(parking.aircraft().size(), 1U);  // D; F found no livery
    // Once the live ones have gone, the update fills A and C; E stays free beside D, and F's
    // flight, without a livery, is not chosen again.
    world.live.clear();
    parking.update();
    ASSERT_EQ(parking.chosen().size(), 2U);
    EXPECT_EQ(parking.chosen()[0].standId + parking.chosen()[1].standId, "CA");  // A first
}

TEST_F(StaticParkingTest, StandsTooCloseForTheTwoAircraftAreRefusedWhateverTheirRadii) {
    // 37 m apart: the 20 m radii do not make them neighbours, the 18.5 m half wingspans of
    // the two aircraft would touch.
    load(stand("A", 0, opt("HB-AAA", "SWR1", 2, "20")) +
         stand("B", 37, opt("HB-BBB", "SWR2", 2, "20")));
    parking.follow();
    ASSERT_EQ(parking.chosen().size(), 2U);
    parking.lf_detcs();
    parking.lf_detcs();
    EXPECT_EQ(parking.aircraft().size(), 1U);
    EXPECT_TRUE(log.contains("possibly colliding")) << log.text();
}

TEST_F(StaticParkingTest, RenewalChangesOnlyWhatTheSlotChangedAndMakesRoomForLiveTraffic) {
    load(stand("A", 0, opt("HB-AAA", "SWR1", 2, "18:20")) +    // until 10:30
         stand("B", 100, opt("HB-BBB", "SWR2", 2, "20:26")) +  // on until 13:30
         stand("C", 200, opt("HB-CCC", "SWR3", 2, "21:23")) +  // from 10:30
         stand("D", 300, "") + stand("E", 400, ""));
    gs().parking_percentage.set(40);  // 2 of 5
    parking.follow();
    createAll();
    EXPECT_EQ(standsWithStatic(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(gf_board().parking.staticCount.load(), 2);
    EXPECT_EQ(gf_board().parking.wantedPercent.load(), 40);

    // In the same half hour nothing changes.
    parking.renew();
    EXPECT_TRUE(parking.chosen().empty());
    EXPECT_EQ(standsWithStatic(), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(log.contains("Parking adjustments: 0 to be removed, 0 to be added"));

    // Half an hour later A's flight has left and C's has come; B stays where it is.
    world.slot = {2, 21};
    parking.renew();
    EXPECT_TRUE(log.contains("Parking adjustments: 1 to be removed, 1 to be added"));
    createAll();
    confirmRemovals();
    EXPECT_EQ(standsWithStatic(), (std::vector<std::string>{"B", "C"}));

    // Three live parked aircraft where two are wanted: the longest parked makes room, and
    // the static ones give their places up.
    world.live = {{0x4b0001, 4, "EZS12", "HB-JXA", true, 300, "A320"},
                  {0x4b0002, 5, "EZS14", "HB-JXB", true, 100, "A320"},
                  {0x4b0003, 1, "EZS16", "HB-JXC", true, 200, "A320"}};
    parking.renew();
    EXPECT_TRUE(log.contains("live parked EZS14 at E removed"));
    EXPECT_EQ(world.removedLive, (std::vector<std::uint32_t>{0x4b0002}));
    EXPECT_TRUE(log.contains("Parking adjustments: 2 to be removed, 0 to be added"));
    confirmRemovals();
    EXPECT_TRUE(parking.aircraft().empty());
}

TEST_F(StaticParkingTest, LiveAircraftTakeStandsAndTheParkLimitRemovesTheEarliest) {
    load(stand("A", 0, opt("HB-AAA", "SWR1", 2, "14:20")) +
         stand("B", 100, opt("HB-BBB", "SWR2", 2, "20")) +
         stand("C", 200, opt("HB-CCC", "SWR3", 2, "16:20")) +
         stand("D", 300, opt("HB-DDD", "SWR4", 2, "19:20")));
    parking.follow();
    ASSERT_EQ(parking.chosen().size(), 4U);
    parking.standTakenByLive(4);  // D: no static aircraft is placed there any more
    EXPECT_EQ(parking.chosen().size(), 3U);
    parking.lf_detcs();  // one queued, not yet sent: the nearest to the user goes first
    ASSERT_EQ(parking.aircraft().size(), 1U);
    EXPECT_EQ(parking.aircraft()[0].standId, "A");
    const std::uint32_t stand = parking.aircraft()[0].stand;
    const std::uint32_t id = parking.aircraft()[0].aircraftId;
    ASSERT_TRUE(parking.staticOnStand(stand)->queued);
    parking.removeStaticOnStand(stand);  // a queued one is dropped at once, its id free
    EXPECT_TRUE(parking.aircraft().empty());
    EXPECT_EQ(world.pacingQueues.staticCreationCount(), 0U);
    EXPECT_FALSE(parking.ids().inUse(id));

    createAll();
    ASSERT_EQ(parking.aircraft().size(), 2U);
    EXPECT_EQ(parking.staticCount(), 2);
    EXPECT_EQ(parking.parkLimit(), 4);
    // The earliest occupancy (C, seen there from 08:00 on) goes first.
    const auto earliest = parking.removeEarliestStatic();
    ASSERT_TRUE(earliest.has_value());
    EXPECT_EQ(earliest->first, "C");
    EXPECT_EQ(earliest->second, "SWR3");
    EXPECT_EQ(parking.staticCount(), 2);  // being removed still counts
    confirmRemovals();
    EXPECT_EQ(parking.staticCount(), 1);
    EXPECT_FALSE(parking.staticRemoved(999));  // not a static object
}

TEST_F(StaticParkingTest, FlushLostAndRefusedCreationsLeaveNoAircraftBehind) {
    load(stand("A", 0, opt("HB-AAA", "SWR1", 2, "20")) +
         stand("B", 100, opt("HB-BBB", "SWR2", 2, "20")));
    parking.follow();
    createAll();
    ASSERT_EQ(parking.aircraft().size(), 2U);
    // NAV_LIGHTS_WHILE_PARKED switched off applies at once, once.
    CommandBatch batch;
    world.commandQueues.tryTake(batch);
    parking.followNavLightSetting(false);
    parking.followNavLightSetting(false);
    ASSERT_TRUE(world.commandQueues.tryTake(batch));
    EXPECT_EQ(batch.events, (std::vector<ClientEventCommand>{{100, simid::kEvNavLights, 0},
                                                             {101, simid::kEvNavLights, 0}}));
    // Flush: all removed; under INITIAL_LOAD_ONLY the update adds none, without it two.
    parking.removeAll();
    gs().INITIAL_LOAD_ONLY.set(true);
    parking.update();
    confirmRemovals();
    EXPECT_TRUE(parking.aircraft().empty() && parking.chosen().empty());
    EXPECT_FALSE(gf_board().staticParkingActive.load());
    gs().INITIAL_LOAD_ONLY.set(false);
    parking.update();
    ASSERT_EQ(parking.chosen().size(), 2U);
    // Sent, then the flight stopped and the simulator's notices were dropped: the aircraft
    // will never be reported, so its stand is filled again.
    parking.lf_detcs();
    ASSERT_TRUE(world.pacingQueues.step().creation.has_value());
    parking.flightStopped();
    EXPECT_TRUE(parking.aircraft().empty());
    // Refused by the simulator: the livery is reported, the stand freed.
    parking.lf_detcs();
    ASSERT_EQ(parking.aircraft().size(), 1U);
    const std::uint32_t id = parking.aircraft()[0].aircraftId;
    EXPECT_EQ(id, 4U);  // 3 may still stand in the simulator
    parking.staticCreationRefused(id);
    EXPECT_EQ(world.refused, (std::vector<std::string>{"SWR A320"}));
    EXPECT_TRUE(parking.aircraft().empty());
    EXPECT_FALSE(gf_standByNumber(stands(), 2)->takenByStatic);
}

TEST(StaticIdsTest, NeverAnIdInUse) {
    StaticIds ids;
    std::set<std::uint32_t> seen;
    for (std::uint32_t i = 0; i < kLastStaticAircraftId; ++i) {
        seen.insert(ids.allocate());
    }
    EXPECT_EQ(seen.size(), kLastStaticAircraftId);  // no id twice, none 0
    EXPECT_EQ(*seen.begin(), 1U);
    EXPECT_EQ(*seen.rbegin(), kLastStaticAircraftId);
    EXPECT_EQ(ids.allocate(), 0U);  // all in use
    ids.release(5);
    ids.release(5);
    EXPECT_EQ(ids.allocate(), 5U);
    EXPECT_EQ(ids.allocate(), 0U);
}

}  // namespace
}  // namespace wnd::parkingtest
