#include <algorithm>
#include <thread>

#include "settings/sim_version.h"
#include "settings_fixture.h"
#include "util/files.h"
#include "util/program.h"

namespace wnd {
namespace {

// The order of the keys in the file is seen by tests/e2e (first and last of a first start).
TEST_F(SettingsTest, MissingFileIsCreatedWithEveryKey) {
    EXPECT_TRUE(gf_readAllParameters());
    const auto all = elements();
    EXPECT_EQ(all.size(), 66U);
    // AIRP_HEIGHT stands in two groups and is written in both.
    EXPECT_EQ(std::ranges::count(all, "AIRP_HEIGHT", &decltype(all)::value_type::first), 2);
    EXPECT_EQ(value("PROGRAM_VERSION"), std::string(kProgramVersionText));
    EXPECT_TRUE(log_.contains("parameters.xml not found, creating new with default values:"));
}

TEST_F(SettingsTest, ValuesAreClampedButNotSnappedToTheList) {
    writeParameters({{"MAX_LIVE_SEL", "7"},
                     {"MAX_PARK_SEL", "9999"},
                     {"RANGE", "-3"},
                     {"HOLDING_THRESHOLD_METERS", "abc"},
                     {"MAX_FIT", "99999999999999"},
                     {"AEROWINX", "true"},
                     {"RANDOM", "nonsense"},
                     {"PORT_NUMBER", "12345"}});
    EXPECT_FALSE(gf_readAllParameters());
    Settings& s = gs();
    EXPECT_EQ(s.MAX_LIVE_SEL.value(), 7);
    EXPECT_EQ(s.MAX_PARK_SEL.value(), 500);
    EXPECT_EQ(s.RANGE.value(), 2);
    EXPECT_EQ(s.HOLDING_THRESHOLD_METERS.value(), 10);
    EXPECT_EQ(s.MAX_FIT.value(), 47);
    EXPECT_TRUE(s.AEROWINX.value());
    EXPECT_FALSE(s.RANDOM.value());
    EXPECT_EQ(s.PORT_NUMBER.value(), "12345");
    // Missing keys were added with their defaults; the read values were written back.
    EXPECT_EQ(value("AIRP_RANGE"), "20");
    EXPECT_EQ(value("MAX_LIVE_SEL"), "7");
    EXPECT_NE(log().find("MAX_PARK_SEL=500"), std::string::npos);
}

TEST_F(SettingsTest, FirstOfTwoWinsAndUnknownParametersAreKept) {
    writeParameters({{"RANGE", "20"}, {"RANGE", "80"}, {"MY_OWN", "keep me"}, {"WEEK", "true"}});
    gf_readAllParameters();
    EXPECT_EQ(gs().RANGE.value(), 20);
    gs().WEEK.set(false);
    gf_saveParameter(gs().WEEK);
    EXPECT_EQ(value("MY_OWN"), "keep me");
    EXPECT_EQ(value("WEEK"), "false");
    gf_removeParameterKey("RANGE");
    EXPECT_EQ(value("RANGE"), "80");
    EXPECT_NE(log().find("Parameter 'RANGE' removed"), std::string::npos);
}

TEST_F(SettingsTest, OldLayoutWithoutRootGetsItsRootOnTheNextChange) {
    writeParameters({{"RANGE", "65"}, {"MY_OWN", "x"}}, false);
    EXPECT_FALSE(gf_readAllParameters());
    EXPECT_EQ(gs().RANGE.value(), 65);
    EXPECT_EQ(file().find("<root>"), std::string::npos);
    gs().AIRP_RANGE.set(30);
    gf_saveParameter(gs().AIRP_RANGE);
    EXPECT_TRUE(log_.contains(
        "Placing a root level around a new parameters.xml to make it 100% xml compliance"));
    EXPECT_EQ(file().find("<root>\n  <parameters>\n"), file().find('\n') + 1);
    EXPECT_EQ(value("AIRP_RANGE"), "30");
    EXPECT_EQ(value("RANGE"), "65");
    EXPECT_EQ(value("MY_OWN"), "x");
}

TEST_F(SettingsTest, SaveOneWithoutAFileWritesThatParameter) {
    gs().DESTINATION.set("LSZH");
    gf_saveParameter(gs().DESTINATION);
    EXPECT_EQ(elements(),
              (std::vector<std::pair<std::string, std::string>>{{"DESTINATION", "LSZH"}}));
}

TEST_F(SettingsTest, SavesFromTwoThreadsNeverLoseEachOthersValues) {
    gf_saveAllParameters(false);
    auto saver = [](IntParameter& p) {
        for (int i = 1; i <= 1000; ++i) {
            p.set(i);
            gf_saveParameter(p);
        }
    };
    std::thread window(saver, std::ref(gs().MAIN_WINDOW_X));
    std::thread run(saver, std::ref(gs().MAIN_WINDOW_Y));
    window.join();
    run.join();
    EXPECT_EQ(value("MAIN_WINDOW_X"), "1000");
    EXPECT_EQ(value("MAIN_WINDOW_Y"), "1000");
}

// Files that are bad from the start (truncated, binary, too large, without parameters) are
// played by the real program in tests/e2e. One that turns bad while the program runs: saving
// one value keeps the others.
TEST_F(SettingsTest, AFileThatTurnsBadKeepsTheOtherValuesOnTheNextSave) {
    EXPECT_TRUE(gf_readAllParameters());
    gs().RANGE.set(65);
    gs().WEEK.set(true);
    write("<root><parameters><para");
    gf_saveParameter(gs().RANGE);
    EXPECT_EQ(value("RANGE"), "65");
    EXPECT_EQ(value("WEEK"), "true");
}

TEST_F(SettingsTest, FailedSaveKeepsTheOldFileAndTheValuesInMemory) {
    gf_readAllParameters();
    const std::string before = file();
    gs().RANGE.set(100);
    testing::failNextAtomicWrites(1);
    gf_saveParameter(gs().RANGE);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(gs().RANGE.value(), 100);
    EXPECT_NE(log().find("saving: " + gs().filePath.string() + " failed"), std::string::npos);
}

TEST_F(SettingsTest, SimulatorVersionFromPathOrParameter) {
    Settings& s = gs();
    s.SIM_INSTALL_PATH.set("C:\\Prepar3D v5");
    EXPECT_EQ(gf_simulatorVersion(), 5);
    s.SIM_INSTALL_PATH.set("D:\\P3DV6");
    EXPECT_EQ(gf_simulatorVersion(), 6);
    s.SIM_INSTALL_PATH.set("D:\\Sim");
    s.P3D_VERSION.set(6);
    EXPECT_EQ(gf_simulatorVersion(), 6);
    s.P3D_VERSION.set(5);
    EXPECT_EQ(gf_simulatorVersion(), 5);
}

}  // namespace
}  // namespace wnd
