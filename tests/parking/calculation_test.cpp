// The calculation of the static set on small airport files: the wanted number, the fill
// order, the fit search across midnight and the stand match.
#include "parking/calculation.h"

#include "parking/parking_fixture.h"

namespace wnd::parkingtest {
namespace {

class CalculationTest : public ParkingTest {
  protected:
    // One fill as the static parking runs it; the entries it chose.
    std::vector<StaticEntry> fill(int present, int wanted) {
        rules = ParkingRules::fromSettings();
        std::vector<StaticEntry> added;
        FillContext c{stands(), rules, world.slot, added, busy, keepers, rng};
        gf_fillStaticSet(c, present, wanted);
        realFit = c.realFitHours;
        return added;
    }
    void freeAll() {
        for (StandRecord& s : stands()) {
            s.takenByStatic = false;
        }
        busy.clear();
    }

    ParkingRules rules;
    std::unordered_set<std::string> busy;
    std::unordered_map<std::uint32_t, std::string> keepers;
    std::mt19937 rng{7};
    double realFit = -1.0;
};

TEST_F(CalculationTest, WantedNumberFollowsTheSmallAirportRuleAndTheLimits) {
    ParkingRules r;
    r.percentage = 40;
    EXPECT_EQ(gf_wantedStatic(r, 3), 1);
    r.percentage = 10;
    EXPECT_EQ(gf_wantedStatic(r, 3), 1);  // the small-airport rule, not round(0.3)
    r.percentage = 50;
    EXPECT_EQ(gf_wantedStatic(r, 3), 2);  // round(1.5), half away from zero
    EXPECT_EQ(gf_wantedStatic(r, 5), 3);
    r.percentage = 0;
    EXPECT_EQ(gf_wantedStatic(r, 1), 1);  // one stand: always one
    EXPECT_EQ(gf_wantedStatic(r, 2), 1);
    EXPECT_EQ(gf_wantedStatic(r, 4), 0);
    r.percentage = 30;
    r.maxParkSel = 10;
    EXPECT_EQ(gf_wantedStatic(r, 100), 10);
    r.maxParkSel = 0;
    EXPECT_EQ(gf_wantedStatic(r, 1), 0);
    EXPECT_EQ(gf_wantedStatic(r, 100), 0);

    // A custom percentage of 0 is set (no aircraft on larger airports); a negative one is not.
    gs().parking_percentage.set(30);
    gs().CUSTOM_PARKING_PERCENTAGE.set(-1);
    EXPECT_EQ(gf_wantedStatic(ParkingRules::fromSettings(), 10), 3);
    gs().CUSTOM_PARKING_PERCENTAGE.set(0);
    EXPECT_EQ(gf_wantedStatic(ParkingRules::fromSettings(), 10), 0);
    EXPECT_EQ(gf_wantedStatic(ParkingRules::fromSettings(), 1), 1);
}

TEST_F(CalculationTest, FillOrderUsesWeekDataOnlyWithWeekAndSoftOnlyWithParkSoft) {
    load(stand("A", 0, opt("HB-AAA", "SWR1", 1, "20")) +          // Monday: week data
         stand("B", 100, opt("HB-BBB", "SWR2", 2, "20", true)) +  // soft today
         stand("C", 200, opt("HB-CCC", "SWR3", 2, "20")) +        // real today
         stand("D", 300, opt("HB-DDD", "SWR4", 3, "20", true)));  // soft, Wednesday
    gs().WEEK.set(false);
    gs().PARK_SOFT.set(true);
    auto set = fill(0, 4);
    ASSERT_EQ(set.size(), 2U);
    EXPECT_EQ(set[0].standId, "C");
    EXPECT_EQ(set[0].kind, FillKind::Real);
    EXPECT_EQ(set[1].standId, "B");
    EXPECT_EQ(set[1].kind, FillKind::Soft);
    // Short of the number, the search went up to MAX_FIT.
    EXPECT_TRUE(
        log.contains("1 real position found, Max fit=24.0 hours, day 2, hh:20 or 10.0 "
                     "hrs, fit: 24.0 hour"));
    EXPECT_FALSE(log.contains("week/"));

    // With WEEK, week/real comes before soft and week/soft last.
    freeAll();
    gs().WEEK.set(true);
    set = fill(0, 4);
    ASSERT_EQ(set.size(), 4U);
    EXPECT_EQ(set[1].standId, "A");
    EXPECT_EQ(set[1].kind, FillKind::WeekReal);
    EXPECT_EQ(set[1].day, 1);
    EXPECT_EQ(set[3].standId, "D");
    EXPECT_EQ(set[3].kind, FillKind::WeekSoft);
    EXPECT_TRUE(log.contains("1 week/soft position found, Max fit=24.0 hours\n"));
}

TEST_F(CalculationTest, FitSearchLooksBackAcrossMidnightAndStopsWhenTheNumberIsReached) {
    load(stand("A", 0, opt("HB-AAA", "SWR1", 1, "46")) +    // Monday 23:00
         stand("B", 100, opt("HB-BBB", "SWR2", 2, "0")) +   // Tuesday 00:00
         stand("C", 200, opt("HB-CCC", "SWR3", 7, "47")));  // Sunday 23:30
    world.slot = {2, 1};                                    // Tuesday 00:30
    auto set = fill(0, 1);
    ASSERT_EQ(set.size(), 1U);  // B at fit 1 reaches the number: A is not looked at
    EXPECT_EQ(set[0].standId, "B");
    EXPECT_EQ(set[0].fit, 1);

    set = fill(1, 2);
    ASSERT_EQ(set.size(), 1U);
    EXPECT_EQ(set[0].standId, "A");
    EXPECT_EQ(set[0].fit, 3);
    EXPECT_EQ(set[0].day, 1);
    EXPECT_EQ(set[0].halfHour, 46);
    EXPECT_EQ(set[0].occupancySlot(), 1 * 48 + 46);
    EXPECT_DOUBLE_EQ(realFit, 2.0);

    // Monday 00:00 looks back into Sunday; MAX_FIT bounds the search.
    world.slot = {1, 0};
    gs().MAX_FIT.set(0);
    EXPECT_TRUE(fill(2, 3).empty());
    gs().MAX_FIT.set(1);
    set = fill(2, 3);
    ASSERT_EQ(set.size(), 1U);
    EXPECT_EQ(set[0].standId, "C");
    EXPECT_EQ(set[0].day, 7);
    EXPECT_EQ(gf_slotBefore({1, 0}, 1), (WeekSlot{7, 47}));
    EXPECT_EQ(gf_slotBefore({3, 5}, 53), (WeekSlot{2, 0}));
}

TEST_F(CalculationTest, StandMatchKeepsTakenStandsNeighboursAndHelipadsFree) {
    load(stand("A", 0, opt("HB-AAA", "SWR1", 2, "20")) +
         stand("A2", 30, opt("HB-AAB", "SWR2", 2, "20")) +  // overlaps A
         stand("R", 200, opt("HB-RRR", "SWR3", 2, "20")) +
         stand("H", 400, opt("HB-ZZZ", "REGA1", 2, "20", false, "EC35"), R"( heli="true")") +
         stand("L", 600, opt("HB-LLL", "SWR5", 2, "20")));
    gf_standByNumber(stands(), 3)->takenByStatic = true;  // the reserved stand
    gf_standByNumber(stands(), 5)->takenByLive = true;
    gs().HELICOPTERS.set(false);
    auto set = fill(0, 5);
    ASSERT_EQ(set.size(), 1U);  // A; A2 is its neighbour; R, L taken; H a helipad
    EXPECT_EQ(set[0].standId, "A");
    EXPECT_TRUE(gf_standByNumber(stands(), 1)->takenByStatic);

    gs().HELICOPTERS.set(true);
    set = fill(1, 5);
    ASSERT_EQ(set.size(), 1U);
    EXPECT_EQ(set[0].standId, "H");
    EXPECT_EQ(set[0].callsign, "REGA1");
}

TEST_F(CalculationTest, CandidatesKeepFileOrderOrAreShuffledWithTheKeeperFirst) {
    std::string opts;
    for (int i = 0; i < 6; ++i) {
        opts += opt(fmt::format("HB-J{:02}", i), fmt::format("SWR{}:EDW{}", 10 + i, i), 2, "18:22");
    }
    load(stand("A", 0, opts));
    // Without RANDOM: the first flight; one whose aircraft is shown already is passed over
    // and not tried again.
    busy.insert("HB-J00");
    auto set = fill(0, 1);
    ASSERT_EQ(set.size(), 1U);
    EXPECT_EQ(set[0].registration, "HB-J01");
    EXPECT_EQ(set[0].callsign, "SWR11");
    EXPECT_EQ(stands()[0].flights[0].ordinal, 0);

    // With RANDOM the choice varies, unless the static aircraft standing here matches a
    // candidate (by either callsign): it keeps its place.
    gs().RANDOM.set(true);
    auto pick = [&] {
        freeAll();
        return fill(0, 1).at(0).registration;
    };
    std::set<std::string> chosen;
    for (int i = 0; i < 30; ++i) {
        chosen.insert(pick());
    }
    EXPECT_GE(chosen.size(), 3U);
    EXPECT_FALSE(chosen.contains("HB-J00"));  // its ordinal stays 0 until renumbered
    keepers[1] = "EDW4";
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(pick(), "HB-J04");
    }
}

}  // namespace
}  // namespace wnd::parkingtest
