// Learning which flights use a stand: a stay seen half hour after half hour is one record,
// a long gap starts another, midnight splits a stay into two days, and an aircraft without
// registration teaches nothing.
#include "airports/stand_learning.h"

#include <gtest/gtest.h>

#include "refdata/dbase.h"

namespace wnd {
namespace {

class StandLearning : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_dbase().reset();
        stands.resize(2);
        stands[0].number = 1;
        stands[0].id = "A1";
        stands[1].number = 2;
        stands[1].id = "A2";
    }
    void TearDown() override { gf_dbase().reset(); }
    bool see(int day, int halfHour, StandSeen kind = StandSeen::Report, std::uint32_t stand = 1) {
        return lf_addRealStandOption(stands, stand, ac, kind, {day, halfHour});
    }
    const std::vector<FlightRecord>& flights(std::size_t i = 0) { return stands[i].flights; }

    std::vector<StandRecord> stands;
    LearnAircraft ac{"HB-JLP", "SWR", "A320", "SWR100"};
};

TEST_F(StandLearning, OneStayIsOneRecordAndALongGapStartsAnother) {
    EXPECT_TRUE(see(3, 20, StandSeen::Arrived));
    EXPECT_TRUE(see(3, 22));  // 10:00 and 11:00: one stay
    ASSERT_EQ(flights().size(), 1u);
    EXPECT_EQ(flights()[0].bits.to_ullong(), 0b111ULL << 20);
    EXPECT_TRUE(flights()[0].updated);
    EXPECT_FALSE(flights()[0].soft);
    EXPECT_EQ(flights()[0].ordinal, 1);
    EXPECT_FALSE(see(3, 22, StandSeen::Arrived));  // nothing new
    EXPECT_TRUE(see(3, 27));                       // a gap of 5 still continues
    EXPECT_EQ(flights().size(), 1u);
    EXPECT_TRUE(see(3, 33));  // a gap of 6 does not
    ASSERT_EQ(flights().size(), 2u);
    EXPECT_EQ(flights()[1].bits.to_ullong(), 1ULL << 33);
    EXPECT_EQ(flights()[1].ordinal, 2);

    // A heavy aircraft's stay bridges a gap of 7.
    ac.heavy = true;
    ac.registration = "HB-JHA";
    see(3, 10, StandSeen::Arrived, 2);
    see(3, 17, StandSeen::Report, 2);
    EXPECT_EQ(flights(1).size(), 1u);
}

TEST_F(StandLearning, AStayAcrossMidnightContinuesOnTheNextDay) {
    see(7, 46, StandSeen::Arrived);  // Sunday 23:00
    see(1, 1);                       // Monday 00:30: a gap of 3 across the week's end
    ASSERT_EQ(flights().size(), 2u);
    EXPECT_EQ(flights()[0].day, 7);
    EXPECT_TRUE(flights()[0].bits.test(46) && flights()[0].bits.test(47));
    EXPECT_EQ(flights()[1].day, 1);
    EXPECT_EQ(flights()[1].bits.to_ullong(), 0b11ULL);
}

TEST_F(StandLearning, NothingIsLearnedWithoutRegistrationStandOrAgainstSoftData) {
    ac.registration.clear();
    EXPECT_FALSE(see(3, 20, StandSeen::Arrived));
    ac.registration = "HB-JLP_";  // a ghost's registration is the aircraft's own
    EXPECT_FALSE(see(3, 20, StandSeen::Arrived, 9));
    EXPECT_TRUE(flights().empty());
    FlightRecord soft;
    soft.registration = "HB-JLP";
    soft.day = 3;
    soft.soft = true;
    soft.bits.set(30);
    stands[0].flights.push_back(soft);
    EXPECT_FALSE(see(3, 20, StandSeen::Arrived));  // soft data expects it later: no record
    EXPECT_EQ(flights().size(), 1u);
    EXPECT_FALSE(see(3, 30, StandSeen::Arrived));  // on time: the soft record says it all
    EXPECT_EQ(flights().size(), 1u);
}

TEST_F(StandLearning, TheRegistrationDataNameTheAirlineAndType) {
    Dbase& d = gf_dbase();
    d.registrations = {DbaseRecord{"HB-JLP", "SWR", "A20N", "EDW", false}};
    see(2, 10, StandSeen::Spawned);
    ASSERT_EQ(flights().size(), 1u);
    EXPECT_EQ(flights()[0].airline, "EDW");  // the operator before the airline
    EXPECT_EQ(flights()[0].type, "A20N");
}

}  // namespace
}  // namespace wnd
