// The scan's rules on small hand-made packages and on real aircraft.cfg files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <pugixml.hpp>

#include "board/status_board.h"
#include "liveries/cfg_parser.h"
#include "liveries/livery_scan.h"
#include "liveries_test_util.h"
#include "util/charset.h"
#include "util/user_error.h"

namespace fs = std::filesystem;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using wnd::testkit::readFile;
using wnd::testkit::writeFile;

namespace wnd {
namespace {

using livtest::general;
using livtest::section;
using livtest::writePackage;

const std::vector<std::string>& lines(const FileFindings& f, LiveryReport r) {
    return f.reports[static_cast<std::size_t>(r)];
}

std::optional<Livery> find(const FileFindings& f, const std::string& title) {
    for (const FoundLivery& l : f.liveries) {
        if (l.livery.title == title) {
            return l.livery;
        }
    }
    return std::nullopt;
}

class ScanTest : public ::testing::Test {
  protected:
    void SetUp() override { livtest::fillSmallDbase(); }
    void TearDown() override { gf_dbase().reset(); }
    livtest::WorkFolder work;
    TextSet dontUse;
};

TEST_F(ScanTest, AirlineRegistrationTitleAndPathRulesOfALargeType) {
    const std::string cfg =
        section(0, "Good", "DLH", "DLH,LH", "atc_id=d-aipz\natc_parking_types=gate, cargo") +
        "[fltsim.1]\ntitle=  Spaced Title  \nsim=ai\ntexture=DLH\natc_parking_codes=DLH\n\n" +
        section(2, "Unknown Code", "x", "QQQ") + section(3, "Refuel", "x", "RFO") +
        section(4, "Private N77 Skyhawk", "x", "") + section(5, "Gone", "missing", "DLH") +
        section(6, "Bad Id", "x", "BAW", "atc_id=D AIPX") +
        section(7, "Keys Twice", "x", "BAW",
                "title=Other\natc_id=G-AAAA\natc_id=G-BBBB\natc_parking_codes=DLH\n"
                "atc_parking_types=GATE\natc_parking_types=CARGO") +
        "[fltsim.8]\ntitle=No Sim\ntexture=x\n\n[fltsim.9]\n\n" +
        section(10, "Banned", "x", "DLH") + general("A320");
    const fs::path file =
        writePackage(work / "pkg", cfg, {"texture.DLH", "texture.x", "model", "ai.air"});
    dontUse.insert("Banned");
    const FileFindings f = lf_searchLiveriesinFile(3, file, dontUse);

    const std::string name = file.string();
    const std::optional<Livery> good = find(f, "Good");
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(std::tie(good->airl, good->type, good->atcid, good->cargo, good->folderIndex),
              std::make_tuple("DLH", "A320", "D-AIPZ", true, 3));
    ASSERT_TRUE(find(f, "Spaced Title").has_value());
    EXPECT_THAT(f.log, Contains("removed spaces around: \"  Spaced Title  \" -> \"Spaced Title\""));
    EXPECT_EQ(find(f, "Unknown Code")->airl, "PVT");
    EXPECT_EQ(find(f, "Refuel")->airl, "PVT");
    EXPECT_EQ(find(f, "Private N77 Skyhawk")->atcid, "N77");  // found in the title
    EXPECT_FALSE(find(f, "Gone").has_value());
    ASSERT_TRUE(find(f, "Bad Id").has_value());
    EXPECT_EQ(find(f, "Bad Id")->atcid, "");
    ASSERT_TRUE(find(f, "Keys Twice").has_value());
    EXPECT_EQ(find(f, "Keys Twice")->airl, "BAW");  // the first of each key
    EXPECT_FALSE(find(f, "Keys Twice")->cargo);
    EXPECT_FALSE(find(f, "No Sim").has_value());
    EXPECT_FALSE(find(f, "Banned").has_value());
    EXPECT_EQ(f.liveries.size(), 7U);

    EXPECT_THAT(lines(f, LiveryReport::InvalidAirlineCodes),
                ElementsAre(HasSubstr("[fltsim.2] airline code 'QQQ' is not known")));
    EXPECT_THAT(lines(f, LiveryReport::InvalidAircraftCfgFiles),
                ElementsAre(name + " [fltsim.5] or related path does not exist: " +
                                (work / "pkg" / "texture.missing").string(),
                            "invalid atc_id=D AIPX in: " + name + " [fltsim.6]",
                            name + " [fltsim.7] has more than one title key",
                            name + " [fltsim.7] has more than one atc_parking_codes key",
                            name + " [fltsim.7] has more than one atc_parking_types key",
                            name + ", [fltsim.7], has more than one atc_id key"));
    EXPECT_THAT(lines(f, LiveryReport::IncompleteFltsimSections),
                ElementsAre(name + " [fltsim.8] misses sim", name + " [fltsim.9] misses title"));
    EXPECT_THAT(f.log,
                Contains(name + " [fltsim.3] icao_airline is missing, or it has invalid info "));
}

TEST_F(ScanTest, HeaviesWithoutAirlineNeedTheirRegistrationInTheDatabase) {
    const std::string cfg = section(0, "Heavy Nothing", "x", "") +
                            section(1, "Heavy Known", "x", "", "atc_id=N123UP") +
                            section(2, "Heavy Unknown", "x", "", "atc_id=N999XX") +
                            section(3, "Heavy BAW", "x", "BAW") + general("b747");
    const fs::path file = writePackage(work / "heavy", cfg, {"texture.x", "model", "ai.air"});
    const FileFindings f = lf_searchLiveriesinFile(0, file, dontUse);
    ASSERT_EQ(f.liveries.size(), 2U);
    EXPECT_EQ(find(f, "Heavy Known")->airl, "UPS");
    EXPECT_EQ(find(f, "Heavy BAW")->type, "B744");  // the fix
    EXPECT_THAT(lines(f, LiveryReport::Fixes),
                ElementsAre("Model fix: B747 found in " + file.string() + " changed into B744"));
    EXPECT_THAT(lines(f, LiveryReport::IncompleteFltsimSections),
                ElementsAre("'Heavy Nothing' 'B744' has no airline and no regcode info",
                            "'Heavy Unknown' 'N999XX' has no airline and regcode not in dbase"));
    EXPECT_THAT(lines(f, LiveryReport::AirlineModelConversions),
                ElementsAre(HasSubstr("Heavy Known")));
}

TEST_F(ScanTest, UnknownOrMissingTypesAndUnusableFiles) {
    const fs::path unknown =
        writePackage(work / "unknown",
                     section(0, "U1", "x", "DLH") + section(1, "U2", "x", "DLH") + general("ZZZZ"),
                     {"texture.x", "model", "ai.air"});
    FileFindings f = lf_searchLiveriesinFile(0, unknown, dontUse);
    EXPECT_TRUE(f.liveries.empty());
    EXPECT_EQ(lines(f, LiveryReport::InvalidAircraftCodes).size(), 2U);

    const fs::path noModel = writePackage(work / "nomodel", section(0, "N", "x", "DLH"),
                                          {"texture.x", "model", "ai.air"});
    f = lf_searchLiveriesinFile(0, noModel, dontUse);
    EXPECT_THAT(
        lines(f, LiveryReport::InvalidAircraftCfgFiles),
        ElementsAre("Line atc_model= is missing in [General] section of " + noModel.string()));

    const fs::path empty = writePackage(work / "empty", general("A320"), {});
    f = lf_searchLiveriesinFile(0, empty, dontUse);
    EXPECT_THAT(lines(f, LiveryReport::NoFltsimSection), ElementsAre(empty.string()));

    // Binary junk, a UTF-16 file with a lone surrogate, a file far too large.
    std::string junk;
    for (int i = 0; i < 5000; ++i) {
        junk += static_cast<char>((i * 7919) % 256);
    }
    const fs::path junkFile = writePackage(work / "junk", junk, {});
    const fs::path bad16 = writePackage(work / "bad16",
                                        std::string("\xff\xfe[\0f\0\x00\xd8"
                                                    "A\0",
                                                    10),
                                        {});
    const fs::path huge = writePackage(work / "huge", "", {});
    fs::resize_file(huge, kMaxCfgFileBytes + 1);
    for (const fs::path& p : {junkFile, bad16, huge}) {
        f = lf_searchLiveriesinFile(0, p, dontUse);
        ASSERT_EQ(lines(f, LiveryReport::InvalidAircraftCfgFiles).size(), 1U) << p;
        EXPECT_TRUE(f.liveries.empty());
    }
    EXPECT_EQ(lines(f, LiveryReport::InvalidAircraftCfgFiles)[0],
              huge.string() +
                  " is too large for an aircraft configuration (16777217 bytes), "
                  "skipped");
    f = lf_searchLiveriesinFile(0, junkFile, dontUse);
    EXPECT_EQ(lines(f, LiveryReport::InvalidAircraftCfgFiles)[0],
              "! Failed reading " + junkFile.string());
}

TEST_F(ScanTest, IvaoFilesTakeTheTypeFromTheFolderAndTheAirlineFromTheTitle) {
    const std::string cfg = section(0, "DLH_A320 Lufthansa", "x", "") +
                            section(1, "ZZQ_A320 Someone", "x", "", "atc_id=D-AIPX") +
                            section(2, "ZZQ_A320 Nobody", "x", "") +
                            section(3, "Q1", "x", "", "atc_id=N999XX");
    const fs::path file = writePackage(work / "ivao" / "IVAO_MTL" / "IVAO_A320w", cfg,
                                       {"texture.x", "model", "ai.air"});
    FileFindings f = lf_searchLiveriesinIVAOFile(0, file, dontUse);
    ASSERT_EQ(f.liveries.size(), 2U);
    EXPECT_EQ(find(f, "DLH_A320 Lufthansa")->airl, "DLH");
    EXPECT_EQ(find(f, "DLH_A320 Lufthansa")->type, "A320");
    EXPECT_EQ(find(f, "ZZQ_A320 Someone")->airl, "DLH");  // from the registration
    EXPECT_THAT(f.log,
                Contains("Model fix: A320w found in " + file.string() + " changed into A320"));
    EXPECT_THAT(lines(f, LiveryReport::IncompleteFltsimSections),
                ElementsAre(file.string() + " misses airlinecode in title: ZZQ_A320 Nobody, and "
                                            "no regcode",
                            file.string() + " misses airlinecode in title: Q1, and regcode "
                                            "unknown N999XX"));
    // The corrections of the folder names.
    for (const auto& [folder, model] : {std::pair{"IVAO_B744F", "B744"},
                                        {"IVAO_T154B2", "T154"},
                                        {"IVAO_T154M", "T154"},
                                        {"IVAO_GLID_SH", "GLID"},
                                        {"IVAO_GLID_KA8", "GLID"},
                                        {"IVAO_B77W", "B77W"}}) {
        const fs::path p = writePackage(work / "ivao" / "IVAO_MTL" / folder,
                                        section(0, std::string("DLH ") + folder, "x", ""),
                                        {"texture.x", "model", "ai.air"});
        f = lf_searchLiveriesinIVAOFile(0, p, dontUse);
        const bool changed = std::string(folder).substr(5) != model;
        EXPECT_EQ(std::count(f.log.begin(), f.log.end(),
                             fmt::format("Model fix: {} found in {} changed into {}",
                                         std::string(folder).substr(5), p.string(), model)),
                  changed ? 1 : 0)
            << folder;
        if (model == std::string("B744") || model == std::string("B77W")) {
            ASSERT_EQ(f.liveries.size(), 1U) << folder;
            EXPECT_EQ(f.liveries[0].livery.type, model);
        } else {
            EXPECT_EQ(lines(f, LiveryReport::InvalidAircraftCodes).size(), 1U) << folder;
        }
    }
}

class FullScanTest : public ScanTest {
  protected:
    // Two folders with the walk's special cases; lfolder2 is missing, lfolder3 a file.
    void layOut() {
        const fs::path f0 = work / "lib0";
        const fs::path f1 = work / "lib1";
        const std::string abc = section(0, "A Shared", "x", "DLH") +
                                section(1, "A Own", "x", "BAW", "atc_id=D-ALCA") + general("B744");
        writePackage(f0 / "SimObjects" / "A", abc, {"texture.x", "model", "ai.air"});
        writePackage(f0 / "SimObjects" / "B", section(0, "B Sim", "x", "DLH") + general("A320"),
                     {"texture.x", "model", "ai.air"}, "SIM.CFG");
        writePackage(f0 / "SimObjects" / "C", section(0, "C Backup", "x", "DLH") + general("A320"),
                     {"texture.x", "model", "ai.air"}, "aircraft.cfg.bak");
        writePackage(f0 / "Scenery" / "airport_EDDF" / "D",
                     section(0, "D Airport", "x", "DLH") + general("A320"),
                     {"texture.x", "model", "ai.air"});
        fs::path deep = f0 / "Deep";
        while (deep.string().size() < 260) {
            deep /= std::string(30, 'd');
        }
        writePackage(deep, section(0, "E Deep", "x", "DLH") + general("A320"),
                     {"texture.x", "model", "ai.air"});
        writePackage(
            f1 / "A",
            section(0, "A Shared", "x", "BAW") + section(1, "F One", "x", "BAW") + general("A320"),
            {"texture.x", "model", "ai.air"});
        writeFile(work / "afile", "x");
        Settings& s = gs();
        s.lfolder[0].set(f0.string());
        s.lfolder[1].set(f1.string());
        s.lfolder[2].set((work / "nothere").string());
        s.lfolder[3].set((work / "afile").string());
    }
};

TEST_F(FullScanTest, ScanWritesTheCatalogueListsAndSummaryAndSwitchesItselfOff) {
    layOut();
    std::vector<std::string> statuses;
    gf_board().setListener([&statuses](char kind, const std::string& text) {
        if (kind == 's') {
            statuses.push_back(text);
        }
    });
    lf_scanLiveries();
    gf_board().setListener(nullptr);
    EXPECT_THAT(statuses, Contains("Scanning prioritized for liveries ..."));
    EXPECT_FALSE(gs().SCAN_LIVERIES.value());
    pugi::xml_document params;
    ASSERT_TRUE(params.load_file(gs().filePath.c_str()));
    EXPECT_STREQ(params.child("root")
                     .child("parameters")
                     .find_child_by_attribute("name", "SCAN_LIVERIES")
                     .attribute("value")
                     .value(),
                 "false");

    const std::string log = work.log();
    const std::string lib0 = (work / "lib0").string();
    const std::string lib1 = (work / "lib1").string();
    for (const std::string& expected : std::vector<std::string>{
             "\n++++++++++++++++++++++++ liveries scan manual starts "
             "++++++++++++++++++++++++++++++++\n",
             "3 liveries found in " + lib0 + "\n", "1 liverie found in " + lib1 + "\n",
             (work / "nothere").string() + " does not exist, skipped!\n",
             (work / "afile").string() + " is not a folder name, skipped!\n",
             std::string("\n4 in total\n"), "title 'A Shared' already exists\n",
             "4 liveries in " + gf_liveries().paths.catalogue().string() + "\n",
             std::string("\nNo errors\n\nInformation:\n0 empty aircraft.cfg files, see "),
             "1 liveries updated with real live data from dbase, see " +
                 gf_liveries().paths.report(LiveryReport::RegistrationConversions).string(),
             std::string("\n++++++++++++++++++++++++ liveries scan ends "
                         "++++++++++++++++++++++++++++++++\n\n")}) {
        EXPECT_THAT(log, HasSubstr(expected));
    }
    // The registration database corrects the livery with its real data.
    const auto conversions = work.report(LiveryReport::RegistrationConversions);
    ASSERT_EQ(conversions.size(), 3U);
    EXPECT_EQ(conversions[0], fmt::format("{:80} D-ALCA cargo false => true", "A Own"));
    EXPECT_EQ(conversions[1], fmt::format("{:80} D-ALCA airl BAW => GEC", "A Own"));
    EXPECT_EQ(conversions[2], fmt::format("{:80} D-ALCA model B744 => B77W", "A Own"));

    const std::string xml = readFile(gf_liveries().paths.catalogue());
    EXPECT_THAT(xml, HasSubstr("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <meta "
                               "version=\"11.10.9\" />\n  <liveries>\n    <liv airl=\"DLH\" "
                               "type=\"B744\" title=\"A Shared\" />\n    <liv airl=\"GEC\" "
                               "type=\"B77W\" cargo=\"true\" title=\"A Own\" atcid=\"D-ALCA\" />\n"
                               "    <liv airl=\"DLH\" type=\"A320\" title=\"B Sim\" />\n"
                               "    <liv airl=\"BAW\" type=\"A320\" title=\"F One\" />\n"
                               "  </liveries>\n</root>\n"));
    EXPECT_TRUE(gf_liveries().catalogue.empty());

    // Every run then reads the catalogue back and indexes it.
    gf_processScannedLiveries();
    EXPECT_EQ(gf_liveries().catalogue.size(), 4U);
    EXPECT_EQ(gf_board().liveriesCount.load(), 4);
    EXPECT_TRUE(work.logHas("4 liveries read from "));
    EXPECT_TRUE(work.logHas("3 airlines, 2 pax aircraft models and 1 cargo aircraft models\n"));
    EXPECT_TRUE(work.logHas("\n1 registration codes\n"));
    EXPECT_TRUE(work.logHas("Category Heavy: 1 pax liverie and 1 cargo liverie\n"));
    EXPECT_TRUE(work.logHas("Category Light: No livery found\n"));
    EXPECT_TRUE(
        work.logHas("LIGHT_AIRCRAFT temporarily switched off because you do not have light "
                    "aircraft installed"));
    EXPECT_FALSE(gs().LIGHT_AIRCRAFT.value());
    // A second start-up of the same process does not do it again.
    gf_board().reset();
    gf_processScannedLiveries();
    EXPECT_EQ(gf_board().liveriesCount.load(), 4);
    EXPECT_TRUE(
        work.logHas("Processing scanned liveries skipped; already done in previous start-up"));
}

TEST_F(FullScanTest, FolderErrorsStopTheScanWithTheUserErrors) {
    writeFile(work / "docs" / "Manual.pdf", "pdf");
    gf_saveParameter(gs().SCAN_LIVERIES);
    try {
        lf_scanLiveries();
        FAIL() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.number(), 48);
        EXPECT_STREQ(e.what(),
                     "48: Exit Wendle_P3D first!   Then set one or more lfolder parameters to your "
                     "liveries, see Manual 5.3");
    }
    EXPECT_THAT(work.opened, ElementsAre(work / "docs", work.path()));

    fs::create_directories(work / "nothing");
    gs().lfolder[7].set((work / "nothing").string());
    try {
        lf_scanLiveries();
        FAIL() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.number(), 53);
        EXPECT_STREQ(e.what(), "53: no liveries found");
    }
    EXPECT_TRUE(work.logHas("No liveries found in " + (work / "nothing").string()));
    EXPECT_TRUE(gs().SCAN_LIVERIES.value());
}

TEST_F(FullScanTest, ClosingDownEndsTheScanWithoutWritingOrSwitchingOff) {
    layOut();
    gf_runControl().requestStopAndClose();
    lf_scanLiveries();
    EXPECT_TRUE(gs().SCAN_LIVERIES.value());
    EXPECT_FALSE(fs::exists(gf_liveries().paths.catalogue()));
}

TEST_F(FullScanTest, ADamagedCatalogueIsSetAsideAndScannedAgainNextTime) {
    LiveryCatalogue none = lf_readLiveriesScanned(gf_liveries().paths.catalogue());
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(work.logHas("File " + gf_liveries().paths.catalogue().string() + " not found"));
    fs::create_directories(gf_liveries().paths.output());
    writeFile(gf_liveries().paths.catalogue(), "<root><liveries><liv title=");
    gs().SCAN_LIVERIES.set(false);
    none = lf_readLiveriesScanned(gf_liveries().paths.catalogue());
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(fs::exists(gf_liveries().paths.output() / "LiveriesScanned0.xml"));
    EXPECT_FALSE(fs::exists(gf_liveries().paths.catalogue()));
    EXPECT_TRUE(gs().SCAN_LIVERIES.value());
}

// Real AI aircraft.cfg files (a freeware military package): as they are, and with the
// texture and model folders their package has beside them.
TEST_F(ScanTest, RealAircraftCfgFiles) {
    const fs::path shared = testkit::sharedDataDir();
    if (shared.empty()) {
        GTEST_SKIP() << "../shared/data is absent: no real aircraft.cfg files to read";
    }
    const fs::path source = shared / "testdata" / "aircraft-cfg" / "SimObjects";
    if (!fs::is_directory(source)) {
        GTEST_SKIP() << source << " is absent";
    }
    const fs::path lib = work / "SimObjects";
    fs::copy(source, lib, fs::copy_options::recursive);  // a temporary copy, never the project

    gs().lfolder[0].set(lib.string());
    try {
        lf_scanLiveries();
        FAIL() << "the files as they are give no livery";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.number(), 53);
    }
    // Their atc_model "Typhoon" is no type code.
    EXPECT_EQ(work.report(LiveryReport::InvalidAircraftCodes).size(), 34U);

    // With the package's folders beside them and the fix the database would carry.
    gf_dbase().knownTypes.insert("EUFI");
    gf_dbase().categories[kHighPerf].insert("EUFI");
    gf_dbase().fixes.emplace("TYPHOON", "EUFI");
    for (const auto& e : fs::recursive_directory_iterator(lib)) {
        if (e.path().filename() != "Aircraft.cfg") {
            continue;
        }
        std::vector<std::string> lines;
        ASSERT_TRUE(gf_readLinesAsUtf8(gf_detectCharset(e.path()), e.path(), lines));
        for (const FltsimSection& sec : lf_parseCfgLines(lines).sections) {
            fs::create_directories(e.path().parent_path() / ("texture." + *sec[CfgKey::texture]));
            fs::create_directories(e.path().parent_path() / ("model." + *sec[CfgKey::model]));
            testkit::writeFile(e.path().parent_path() / (*sec[CfgKey::sim] + ".air"), "air");
        }
    }
    lf_scanLiveries();
    gf_processScannedLiveries();
    ASSERT_EQ(gf_liveries().catalogue.size(), 34U);
    const auto l =
        std::find_if(gf_liveries().catalogue.begin(), gf_liveries().catalogue.end(),
                     [](const Livery& x) { return x.title == "MAIW_NBAI_F2_SAF Ala14 C.16-31"; });
    ASSERT_NE(l, gf_liveries().catalogue.end());
    EXPECT_EQ(l->type, "EUFI");
    EXPECT_EQ(l->airl, "PVT");  // "141F" is a parking code, no airline
    EXPECT_EQ(l->atcid, "14-01");
    EXPECT_EQ(work.report(LiveryReport::InvalidAirlineCodes).size(), 34U);
    EXPECT_EQ(work.report(LiveryReport::Fixes).size(), 2U);
    EXPECT_TRUE(work.logHas("Category HighPerf: 34 pax liveries\n"));
}

}  // namespace
}  // namespace wnd
