// Registration codes: the shipped file, the user's files, the in-line codes and merging.
#include "liveries/regcodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "liveries/livery_scan.h"
#include "liveries/matching.h"
#include "liveries_test_util.h"
#include "refdata/encrypted_file.h"
#include "refdata/refdata_test_util.h"

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::UnorderedElementsAre;
using wnd::testkit::writeFile;

namespace wnd {
namespace {

class RegcodesTest : public ::testing::Test {
  protected:
    // The shipped file as the program finds it: encrypted in input.
    void ship(const std::string& liveries) {
        const fs::path enc = gf_liveries().paths.regcodesEnc();
        testing::packXml(enc.parent_path(), enc.filename().string(),
                         "<?xml version=\"1.0\"?>\n<root><AIG-regcodes>" + liveries +
                             "</AIG-regcodes></root>\n");
    }
    void userFile(const std::string& name, const std::string& text) {
        writeFile(gf_liveries().paths.myRegcodes() / name, text);
    }
    static std::vector<std::string> keys(const TextSet& s) { return {s.begin(), s.end()}; }

    livtest::WorkFolder work;
};

TEST_F(RegcodesTest, TitlesWithoutRegistrationsAreNotUsedByTheScan) {
    ship(R"(<livery title="Banned" /><livery title="Kept" reg="D-AAAA" />)"
         R"(<livery title="Kept" reg="D-AAAB" />)");
    userFile("mine.txt", "Mine Banned;\r\nTypo Only;X\r\nshort\r\n");
    userFile("ignored.cfg", "Not Read;\n");
    const std::string cfg = livtest::section(0, "Banned", "x", "DLH") +
                            livtest::section(1, "Mine Banned", "x", "DLH") +
                            livtest::section(2, "Typo Only", "x", "DLH") +
                            livtest::section(3, "Kept", "x", "DLH") + livtest::general("A320");
    livtest::writePackage(work / "lib", cfg, {"texture.x", "model", "ai.air"});
    gs().lfolder[0].set((work / "lib").string());
    lf_scanLiveries();
    EXPECT_THAT(keys(gf_liveries().regcodes.dontUseTitles),
                UnorderedElementsAre("Banned", "Mine Banned"));
    const std::string log = work.log();
    EXPECT_THAT(log, HasSubstr("==> wrong regcode length 'X' in "));
    EXPECT_FALSE(fs::exists(gf_liveries().paths.regcodesXml()));
    EXPECT_TRUE(log.find("2 liveries found in") != std::string::npos) << log;
}

TEST_F(RegcodesTest, InlineShippedAndUserCodesMergeWithTheirReports) {
    LiveryCatalogue cat;
    for (const char* t : {"L1", "L2", "L3", "L4", "L5", "L6"}) {
        cat.push_back(Livery{t, "A320", "DLH", "", false, 0, {}});
    }
    cat[0].atcid = "D-AIPX";
    cat[1].atcid = "D-AIPX";
    ASSERT_TRUE(lf_writeLiveriesScanned(cat, gf_liveries().paths.catalogue()));
    ship(R"(<livery title="L3" reg="D-AIPX" /><livery title="Not Installed" reg="D-ZZZZ" />)");
    userFile("a.txt",
             "\xEF\xBB\xBFL4;D-ABCD, d-abce;#\nL5 ; D-ABCF ;#\nL6;D-ABCG,XY,ABCDEFGHIJKLM\n"
             "a;b;c;d;e;f\nNot Installed;D-ZZZY\n");
    userFile("b.TXT", "L6;D-ABCD\n");
    gf_processScannedLiveries();

    const RegcodeTables& t = gf_liveries().regcodes;
    std::map<std::string, std::string> index(t.index.begin(), t.index.end());
    EXPECT_THAT(index, ElementsAre(std::pair{"D-ABCD", "L6"}, std::pair{"D-ABCE", "L4"},
                                   std::pair{"D-ABCF", "L5"}, std::pair{"D-ABCG", "L6"},
                                   std::pair{"D-AIPX", "L3"}));
    EXPECT_THAT(keys(t.uniqueRegistrations), ElementsAre("D-ABCF"));
    EXPECT_THAT(keys(t.specialRegistrations), UnorderedElementsAre("D-ABCD", "D-ABCE", "D-ABCF"));
    EXPECT_THAT(keys(t.specialLiveries), UnorderedElementsAre("L4", "L5"));

    EXPECT_THAT(work.report(LiveryReport::InlineRegcodes),
                ElementsAre("D-AIPX 'L2' => already in use by 'L1'"));
    const std::string enc = gf_liveries().paths.regcodesEnc().string();
    const std::string folder = gf_liveries().paths.myRegcodes().string();
    EXPECT_THAT(
        work.report(LiveryReport::OfflineRegcodes),
        ElementsAre("Processing file " + enc,
                    "   regcode D-AIPX for 'L3', instead of the same for 'L1'",
                    "0 new regcodes added, 1 regcode replaced", "Processing files in " + folder,
                    "4 new regcodes added, 3 regcodes defined as special",
                    "   regcode D-ABCD for 'L6', instead of the same for 'L4'",
                    "0 new regcodes added, 1 regcode replaced"));
    EXPECT_THAT(work.report(LiveryReport::MultRegcodes),
                ElementsAre(HasSubstr("regcode D-ABCD for 'L4' and for 'L6'")));
    EXPECT_THAT(work.log(), HasSubstr("==> wrong regcode length 'ABCDEFGHIJKLM' in "));

    // The ladder's first steps: 0 for a livery made for one registration, else 1.
    gs().MATCHING_DEPTH.set(1);
    MatchAircraft ac{"TEST1", "DLH", "A320", "D-ABCF", kLarge, false, "", false, -1};
    ASSERT_TRUE(gf_matchLivery(ac));
    EXPECT_EQ(ac.title, "L5");
    EXPECT_EQ(ac.step, 0);
    ac.registration = "D-ABCE";
    ASSERT_TRUE(gf_matchLivery(ac));
    EXPECT_EQ(ac.title, "L4");
    EXPECT_EQ(ac.step, 1);
    ac.registration = "D-ZZZZ";
    EXPECT_FALSE(gf_matchLivery(ac));
}

TEST_F(RegcodesTest, DamagedShippedFileOnlyShortensTheTables) {
    const fs::path xml = gf_liveries().paths.regcodesXml();
    writeFile(xml, "<root><AIG-regcodes><livery");
    std::vector<RegcodeRecord> records;
    EXPECT_EQ(lf_readRegcodeFile(records, xml), -1);
    EXPECT_FALSE(fs::exists(xml));
    writeFile(xml, "<root><other /></root>");
    EXPECT_EQ(lf_readRegcodeFile(records, xml), -1);
    writeFile(xml, "<root><AIG-regcodes /></root>");
    EXPECT_EQ(lf_readRegcodeFile(records, xml), 0);  // empty, as shipped today: no error
    EXPECT_TRUE(work.logHas("==> Failed to load " + xml.string()));
    EXPECT_TRUE(work.logHas("==> No <AIG-regcodes> node found in XML."));
    EXPECT_TRUE(records.empty());
}

}  // namespace
}  // namespace wnd
