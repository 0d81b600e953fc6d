// The matching ladder, step by step, and its summary.
#include "liveries/matching.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "liveries_test_util.h"


namespace wnd {
namespace {

class MatchingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const LiveryCatalogue cat = {
            {"DLH A320 Special", "A320", "DLH", "D-AIPA", false, 0, {}},
            {"DLH A320 Fleet", "A320", "DLH", "", false, 0, {}},
            {"DLH B744", "B744", "DLH", "", false, 0, {}},
            {"BAW B744", "B744", "BAW", "", false, 0, {}},
            {"UPS B744F", "B744", "UPS", "", true, 0, {}},
            {"FSLTL_BAW_A320", "A320", "BAW", "", false, 0, {}},
            {"ZZZ C172", "C172", "ZZZ", "", false, 0, {}},
            {"ZZZ A320", "A320", "ZZZ", "", false, 0, {}},
            {"NJE C56X", "C56X", "NJE", "", false, 0, {}},
            {"ZZZ EC35", "EC35", "ZZZ", "", false, 0, {}},
        };
        gf_liveries().catalogue = cat;
        lf_indexCatalogue(cat);
        lf_addInlineRegcodes(cat);
        RegcodeTables& t = gf_liveries().regcodes;
        t.specialLiveries.insert("DLH A320 Special");
        t.uniqueRegistrations.insert("D-AIPA");
    }
    MatchAircraft ac(const std::string& airline, const std::string& type, const std::string& reg,
                     TypeCategory category, bool cargo = false) {
        return MatchAircraft{"TEST123", airline, type, reg, category, cargo, "", false, -1};
    }
    // The title and step the ladder gives at a depth ("" and -1 for none).
    std::pair<std::string, int> match(int depth, MatchAircraft a) {
        gs().MATCHING_DEPTH.set(depth);
        gf_matchLivery(a);
        return {a.title, a.step};
    }

    livtest::WorkFolder work;
};

using Result = std::pair<std::string, int>;

TEST_F(MatchingTest, TheLadderGivesEachStep) {
    // Depth 1 without a registration code gives nothing; with one, step 0 (unique).
    EXPECT_EQ(match(1, ac("DLH", "A320", "", kLarge)), Result("", -1));
    EXPECT_EQ(match(1, ac("DLH", "A320", "D-AIPA", kLarge)), Result("DLH A320 Special", 0));
    // Step 2, airline and type; the database's airline of the registration next.
    EXPECT_EQ(match(2, ac("DLH", "A320", "D-AXXX", kLarge)), Result("DLH A320 Fleet", 2));
    EXPECT_EQ(match(2, ac("CLH", "A320", "D-AIPX", kLarge)), Result("DLH A320 Fleet", 2));
    // A cargo aircraft falls back to the passenger liveries of its airline.
    EXPECT_EQ(match(2, ac("BAW", "B744", "", kHeavy, true)), Result("BAW B744", 2));
    EXPECT_EQ(match(2, ac("UPS", "B744", "", kHeavy, true)), Result("UPS B744F", 2));
    // Private flights take the generic airline at depth 2 already.
    EXPECT_EQ(match(2, ac("PVT", "C172", "", kLight)), Result("ZZZ C172", 4));
    // Step 3, a similar type of the same size, only from depth 3 on.
    EXPECT_EQ(match(2, ac("DLH", "A321", "", kLarge)), Result("", -1));
    EXPECT_EQ(match(3, ac("DLH", "A321", "", kLarge)), Result("DLH A320 Fleet", 3));
    // Depth 4: the generic airline for any category.
    EXPECT_EQ(match(3, ac("XYZ", "A320", "", kLarge)), Result("", -1));
    EXPECT_EQ(match(4, ac("XYZ", "A320", "", kLarge)), Result("ZZZ A320", 4));
    // A business jet of an unknown airline reaches steps 5 and 6 at depth 3; a heavy does not.
    EXPECT_EQ(match(3, ac("XYZ", "C56X", "", kBuzjet)), Result("NJE C56X", 5));
    EXPECT_EQ(match(3, ac("XYZ", "C25A", "", kBuzjet)), Result("NJE C56X", 6));
    EXPECT_EQ(match(3, ac("XYZ", "B748", "", kHeavy)), Result("", -1));
    EXPECT_EQ(match(2, ac("XYZ", "C56X", "", kBuzjet)), Result("", -1));
    // A light type without similar liveries takes the category's generic models.
    EXPECT_EQ(match(3, ac("", "C150", "", kLight)), Result("ZZZ C172", 6));
    EXPECT_EQ(match(3, ac("XYZ", "EC35", "", kRotorcraft)), Result("ZZZ EC35", 4));

    std::vector<int> counts;
    for (const auto& c : gf_liveries().matchCounts) {
        counts.push_back(c.load());
    }
    EXPECT_EQ(counts, (std::vector<int>{1, 0, 4, 1, 3, 1, 2}));
}

TEST_F(MatchingTest, FailedAndSpecialTitlesAreNotChosen) {
    // A special livery is kept for its own registration, even when picked at random.
    gs().RANDOM.set(true);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(match(2, ac("DLH", "A320", "D-AIPB", kLarge)).first, "DLH A320 Fleet");
    }
    // The only candidate failed: never offered again, at any step.
    gf_addFailedLivery("DLH B744");
    EXPECT_EQ(match(4, ac("DLH", "B744", "", kHeavy)), Result("", -1));
    // A failed registration code moves on down the ladder.
    gf_addFailedLivery("DLH A320 Special");
    EXPECT_EQ(match(2, ac("DLH", "A320", "D-AIPA", kLarge)), Result("DLH A320 Fleet", 2));
    // Once the last usable candidate failed, only the special one remains: it is not taken.
    gf_liveries().clearFailedTitles();
    gf_addFailedLivery("DLH A320 Fleet");
    EXPECT_EQ(match(2, ac("DLH", "A320", "D-AIPB", kLarge)), Result("", -1));
    MatchAircraft a = ac("DLH", "A320", "D-AIPA", kLarge);
    gs().MATCHING_DEPTH.set(2);
    ASSERT_TRUE(gf_matchLivery(a));
    EXPECT_EQ(a.title, "DLH A320 Special");  // its own registration still gets it
}

TEST_F(MatchingTest, FlagsParkedVariantAndSummary) {
    MatchAircraft a = ac("BAW", "A320", "", kLarge);
    gs().MATCHING_DEPTH.set(2);
    ASSERT_TRUE(gf_matchLivery(a));
    EXPECT_TRUE(a.fsltl);
    // Static parking keeps the title the aircraft has.
    MatchAircraft parked = ac("BAW", "A320", "", kLarge);
    parked.title = "ZZZ A320";
    EXPECT_TRUE(gf_matchLiveryForParked(parked));
    EXPECT_EQ(parked.title, "ZZZ A320");
    MatchAircraft none = ac("XYZ", "B748", "N1", kHeavy);
    EXPECT_FALSE(gf_matchLiveryForParked(none));

    gf_writeMatchingSummary(true);
    const std::string summary = testkit::readFile(gf_liveries().paths.matchingSummary());
    EXPECT_EQ(summary,
              "live traffic livery matching summary\nMatches at step:\n0: 0\n1: 0\n2: 1\n3: 0\n"
              "4: 0\n5: 0\n6: 0\n");
    EXPECT_EQ(gf_liveries().matchCounts[2].load(), 0);
    // A summary file that cannot be written says so in the log.
    std::filesystem::remove(gf_liveries().paths.matchingSummary());
    std::filesystem::create_directories(gf_liveries().paths.matchingSummary());
    lf_logMatchingSummary();
    EXPECT_TRUE(work.logHas("6: 0\nCould not be created\n"));
}

}  // namespace
}  // namespace wnd
