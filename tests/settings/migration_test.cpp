#include "settings_fixture.h"
#include "util/program.h"

namespace fs = std::filesystem;

namespace wnd {
namespace {

TEST_F(SettingsTest, MissingNewerOrUnreadableVersionIsSetWithoutMigration) {
    for (const std::string version : {"", "12.0.0", "banana"}) {
        SCOPED_TRACE(version);
        std::vector<std::pair<std::string, std::string>> values{{"LOG", "true"}};
        if (!version.empty()) {
            values.emplace_back("PROGRAM_VERSION", version);
        }
        writeParameters(values);
        EXPECT_FALSE(gf_readAndMigrateParameters());
        EXPECT_EQ(gs().PROGRAM_VERSION.value(), std::string(kProgramVersionText));
        EXPECT_NE(value("LOG"), "<missing>");
    }
    EXPECT_EQ(log().find("This is a version update"), std::string::npos);
}

TEST_F(SettingsTest, UpdateFrom1102KeepsValuesAndDropsObsoleteKeys) {
    testkit::writeFile(dir_ / "EGLL.xml", "old airport file");
    testkit::writeFile(dir_ / "notes.xml", "kept");
    testkit::writeFile(dir_ / "TO_BE_LEARNED_OFFLINE" / "a.txt", "x");
    testkit::writeFile(dir_ / "versions.json", "{}");
    writeParameters({{"PROGRAM_VERSION", "11.0.2"},
                     {"RANGE", "65"},
                     {"LOG", "true"},
                     {"MAX_LIVE", "12"},
                     {"AI_PACKAGE_ORDER", "x"}});
    EXPECT_FALSE(gf_readAndMigrateParameters());
    EXPECT_EQ(gs().RANGE.value(), 65);
    EXPECT_EQ(value("LOG"), "<missing>");
    EXPECT_EQ(value("MAX_LIVE"), "<missing>");
    EXPECT_EQ(value("AI_PACKAGE_ORDER"), "<missing>");
    EXPECT_NE(value("RANGE"), "<missing>");
    EXPECT_TRUE(log_.contains("This is a version update from 11.0.2 -> " +
                              std::string(kProgramVersionText)));
    EXPECT_FALSE(fs::exists(dir_ / "EGLL.xml"));
    EXPECT_TRUE(fs::exists(dir_ / "notes.xml"));
    EXPECT_FALSE(fs::exists(dir_ / "TO_BE_LEARNED_OFFLINE"));
    EXPECT_FALSE(fs::exists(dir_ / "versions.json"));
    EXPECT_EQ(value("PROGRAM_VERSION"), std::string(kProgramVersionText));
}

TEST_F(SettingsTest, TooOldVersionIsReplacedByDefaults) {
    writeParameters({{"PROGRAM_VERSION", "11.0.1"}, {"RANGE", "65"}, {"MY_OWN", "x"}});
    EXPECT_FALSE(gf_readAndMigrateParameters());
    // The values read stay in force for this process; the file starts again.
    EXPECT_EQ(gs().RANGE.value(), 65);
    EXPECT_EQ(elements().size(), 66U);
    EXPECT_EQ(value("RANGE"), "40");
    EXPECT_EQ(value("MY_OWN"), "<missing>");
    const std::string text = log();
    EXPECT_NE(text.find("Your previous version was too old to convert the old text box "
                        "parameters to the newdropbox values."),
              std::string::npos);
    EXPECT_NE(text.find("Wendle_P3D re-starts with default parameter values ..."),
              std::string::npos);
}

}  // namespace
}  // namespace wnd
