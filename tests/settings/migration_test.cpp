#include "settings_fixture.h"

namespace fs = std::filesystem;

namespace wnd {
namespace {

bool hasElement(const std::vector<std::pair<std::string, std::string>>& elems,
                const std::string& key) {
    for (const auto& e : elems) {
        if (e.first == key) {
            return true;
        }
    }
    return false;
}

TEST_F(SettingsTest, MissingVersionIsSetWithoutMigration) {
    writeParameters({{"RANGE", "10"}});
    EXPECT_FALSE(gf_readAndMigrateParameters());
    EXPECT_EQ(gs().PROGRAM_VERSION.value(), "11.10.9");
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
    const auto elems = elements();
    EXPECT_FALSE(hasElement(elems, "LOG"));
    EXPECT_FALSE(hasElement(elems, "MAX_LIVE"));
    EXPECT_FALSE(hasElement(elems, "AI_PACKAGE_ORDER"));
    EXPECT_TRUE(hasElement(elems, "RANGE"));
    EXPECT_NE(log().find("This is a version update from 11.0.2 -> 11.10.9"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "EGLL.xml"));
    EXPECT_TRUE(fs::exists(dir_ / "notes.xml"));
    EXPECT_FALSE(fs::exists(dir_ / "TO_BE_LEARNED_OFFLINE"));
    EXPECT_FALSE(fs::exists(dir_ / "versions.json"));
    pugi::xml_document doc;
    doc.load_file(gs().filePath.c_str());
    EXPECT_STREQ(
        doc.select_node("//parameter[@name='PROGRAM_VERSION']").node().attribute("value").value(),
        "11.10.9");
}

TEST_F(SettingsTest, TooOldVersionIsReplacedByDefaults) {
    writeParameters({{"PROGRAM_VERSION", "11.0.1"}, {"RANGE", "65"}, {"MY_OWN", "x"}});
    EXPECT_FALSE(gf_readAndMigrateParameters());
    // The values read stay in force for this process; the file starts again.
    EXPECT_EQ(gs().RANGE.value(), 65);
    const auto elems = elements();
    EXPECT_EQ(elems.size(), 66U);
    for (const auto& [k, v] : elems) {
        if (k == "RANGE") {
            EXPECT_EQ(v, "40");
        }
    }
    const std::string text = log();
    EXPECT_NE(text.find("Your previous version was too old to convert the old text box "
                        "parameters to the newdropbox values."),
              std::string::npos);
    EXPECT_NE(text.find("Wendle_P3D re-starts with default parameter values ..."),
              std::string::npos);
}

TEST_F(SettingsTest, NewerOrUnreadableVersionIsOverwrittenWithoutMigration) {
    writeParameters({{"PROGRAM_VERSION", "12.0.0"}, {"LOG", "true"}});
    EXPECT_FALSE(gf_readAndMigrateParameters());
    EXPECT_EQ(gs().PROGRAM_VERSION.value(), "11.10.9");
    EXPECT_TRUE(hasElement(elements(), "LOG"));
    EXPECT_EQ(log().find("This is a version update"), std::string::npos);

    writeParameters({{"PROGRAM_VERSION", "banana"}});
    EXPECT_FALSE(gf_readAndMigrateParameters());
    EXPECT_EQ(gs().PROGRAM_VERSION.value(), "11.10.9");
}

}  // namespace
}  // namespace wnd
