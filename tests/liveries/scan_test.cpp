// The scan's rules and fixed messages on small hand-made packages and on real aircraft.cfg
// files. The walk over a large corpus runs in the black-box test (liveries_e2e_test.cpp).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

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
    fs::path package(const std::string& folder, const std::string& cfg) {
        return writePackage(work / folder, cfg, {"texture.DLH", "texture.x", "model", "ai.air"});
    }
    livtest::WorkFolder work;
    TextSet dontUse;
};

TEST_F(ScanTest, SectionsOfAnOrdinaryFile) {
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
    const fs::path file = package("pkg", cfg);
    dontUse.insert("Banned");
    const FileFindings f = lf_searchLiveriesinFile(3, file, dontUse);

    const std::string name = file.string();
    const std::optional<Livery> good = find(f, "Good");
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(std::tie(good->airl, good->type, good->atcid, good->cargo, good->folderIndex),
              std::make_tuple("DLH", "A320", "D-AIPZ", true, 3));
    EXPECT_THAT(f.log, Contains("removed spaces around: \"  Spaced Title  \" -> \"Spaced Title\""));
    EXPECT_EQ(find(f, "Private N77 Skyhawk")->atcid, "N77");  // found in the title
    EXPECT_FALSE(find(f, "Banned"));

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

TEST_F(ScanTest, AFileTooLargeForAConfigurationIsListedUnread) {
    const fs::path huge = writePackage(work / "huge", "", {});
    fs::resize_file(huge, kMaxCfgFileBytes + 1);
    const FileFindings f = lf_searchLiveriesinFile(0, huge, dontUse);
    EXPECT_THAT(
        lines(f, LiveryReport::InvalidAircraftCfgFiles),
        ElementsAre(huge.string() + " is too large for an aircraft configuration (16777217 bytes), "
                                    "skipped"));
}

TEST_F(ScanTest, IvaoFilesTakeTheTypeFromTheFolderAndTheAirlineFromTheTitle) {
    const std::string cfg = section(0, "DLH_A320 Lufthansa", "x", "") +
                            section(1, "ZZQ_A320 Someone", "x", "", "atc_id=D-AIPX") +
                            section(2, "ZZQ_A320 Nobody", "x", "") +
                            section(3, "Q1", "x", "", "atc_id=N999XX");
    const fs::path file = package("ivao/IVAO_MTL/IVAO_A320w", cfg);
    const FileFindings f = lf_searchLiveriesinIVAOFile(0, file, dontUse);
    ASSERT_EQ(f.liveries.size(), 2U);
    EXPECT_EQ(find(f, "DLH_A320 Lufthansa")->type, "A320");
    EXPECT_EQ(find(f, "ZZQ_A320 Someone")->airl, "DLH");  // from the registration
    EXPECT_THAT(lines(f, LiveryReport::IncompleteFltsimSections),
                ElementsAre(file.string() + " misses airlinecode in title: ZZQ_A320 Nobody, and "
                                            "no regcode",
                            file.string() + " misses airlinecode in title: Q1, and regcode "
                                            "unknown N999XX"));
}

class FullScanTest : public ScanTest {
  protected:
    // lfolder0 and lfolder1 with a title in both and an airline and model in both. Which
    // folders and files the walk takes is the black-box test's (liveries_e2e_test.cpp).
    void layOut() {
        package("lib0/A", section(0, "A Shared", "x", "DLH") +
                              section(1, "A Own", "x", "BAW", "atc_id=D-ALCA") + general("B744"));
        package("lib0/B", section(0, "B Sim", "x", "DLH") + general("A320"));
        // "A Own" is GEC B77W once the database corrected it: the BAW B744 here stays.
        package("lib1/A", section(0, "A Shared", "x", "BAW") + section(1, "F One", "x", "BAW") +
                              section(2, "G Same", "x", "DLH") + general("A320"));
        package("lib1/H", section(0, "H Heavy", "x", "BAW") + general("B744"));
        gs().lfolder[0].set((work / "lib0").string());
        gs().lfolder[1].set((work / "lib1").string());
    }
    std::vector<std::string> catalogueTitles() {
        std::vector<std::string> titles;
        for (const Livery& l : lf_readLiveriesScanned(gf_liveries().paths.catalogue())) {
            titles.push_back(l.title);
        }
        return titles;
    }
};

// LIG_PRIORITIZE judges airline and model after the registration database corrected them.
TEST_F(FullScanTest, PrioritizingLeavesOutAirlinesAndModelsOfAHigherPriorityFolder) {
    layOut();
    gs().LIG_PRIORITIZE.set(false);
    lf_scanLiveries();
    EXPECT_THAT(catalogueTitles(),
                ElementsAre("A Shared", "A Own", "B Sim", "F One", "G Same", "H Heavy"));
    gs().LIG_PRIORITIZE.set(true);
    std::vector<std::string> statuses;
    gf_board().setListener([&statuses](char kind, const std::string& text) {
        if (kind == 's') {
            statuses.push_back(text);
        }
    });
    lf_scanLiveries();
    gf_board().setListener(nullptr);
    EXPECT_THAT(statuses, Contains("Scanning prioritized for liveries ..."));
    EXPECT_THAT(catalogueTitles(), ElementsAre("A Shared", "A Own", "B Sim", "F One", "H Heavy"));
    EXPECT_THAT(work.report(LiveryReport::RegistrationConversions),
                ElementsAre(fmt::format("{:80} D-ALCA cargo false => true", "A Own"),
                            fmt::format("{:80} D-ALCA airl BAW => GEC", "A Own"),
                            fmt::format("{:80} D-ALCA model B744 => B77W", "A Own")));

    gf_processScannedLiveries();
    EXPECT_EQ(gf_board().liveriesCount.load(), 5);
    EXPECT_FALSE(gs().LIGHT_AIRCRAFT.value());  // no light aircraft installed
}

TEST_F(FullScanTest, FolderErrorsStopTheScanWithTheUserErrors) {
    auto userError = [] { return testkit::errorText([] { lf_scanLiveries(); }); };
    writeFile(work / "docs" / "Manual.pdf", "pdf");
    gf_saveParameter(gs().SCAN_LIVERIES);
    EXPECT_EQ(userError(),
              "48: Exit Wendle_P3D first!   Then set one or more lfolder parameters to your "
              "liveries, see Manual 5.3");
    EXPECT_THAT(work.opened, ElementsAre(work / "docs", work.path()));

    fs::create_directories(work / "nothing");
    gs().lfolder[7].set((work / "nothing").string());
    EXPECT_EQ(userError(), "53: no liveries found");
    EXPECT_TRUE(gs().SCAN_LIVERIES.value());
}

TEST_F(FullScanTest, ClosingDownOrADamagedCatalogueMeanAScanNextTime) {
    layOut();
    gf_runControl().requestStopAndClose();
    lf_scanLiveries();
    EXPECT_TRUE(gs().SCAN_LIVERIES.value());
    const fs::path catalogue = gf_liveries().paths.catalogue();
    EXPECT_FALSE(fs::exists(catalogue));

    EXPECT_TRUE(lf_readLiveriesScanned(catalogue).empty());
    fs::create_directories(catalogue.parent_path());
    writeFile(catalogue, "<root><liveries><liv title=");
    gs().SCAN_LIVERIES.set(false);
    EXPECT_TRUE(lf_readLiveriesScanned(catalogue).empty());
    EXPECT_TRUE(fs::exists(gf_liveries().paths.output() / "LiveriesScanned0.xml"));
    EXPECT_FALSE(fs::exists(catalogue));
    EXPECT_TRUE(gs().SCAN_LIVERIES.value());
}

// Real AI aircraft.cfg files (a freeware military package), with the texture and model
// folders their package has beside them.
TEST_F(ScanTest, RealAircraftCfgFiles) {
    const fs::path source = testkit::sharedDataDir() / "testdata" / "aircraft-cfg" / "SimObjects";
    if (testkit::sharedDataDir().empty() || !fs::is_directory(source)) {
        GTEST_SKIP() << "no real aircraft.cfg files to read";
    }
    const fs::path lib = work / "SimObjects";
    fs::copy(source, lib, fs::copy_options::recursive);  // a temporary copy, never the project
    gs().lfolder[0].set(lib.string());
    // Their atc_model "Typhoon" is no type code; the database would carry the fix.
    gf_dbase().knownTypes.insert("EUFI");
    gf_dbase().categories[kHighPerf].insert("EUFI");
    gf_dbase().fixes.emplace("TYPHOON", "EUFI");
    for (const auto& e : fs::recursive_directory_iterator(lib)) {
        if (e.path().filename() != "Aircraft.cfg") {
            continue;
        }
        std::vector<std::string> text;
        ASSERT_TRUE(gf_readLinesAsUtf8(gf_detectCharset(e.path()), e.path(), text));
        for (const FltsimSection& sec : lf_parseCfgLines(text).sections) {
            fs::create_directories(e.path().parent_path() / ("texture." + *sec[CfgKey::texture]));
            fs::create_directories(e.path().parent_path() / ("model." + *sec[CfgKey::model]));
            writeFile(e.path().parent_path() / (*sec[CfgKey::sim] + ".air"), "air");
        }
    }
    lf_scanLiveries();
    gf_processScannedLiveries();
    ASSERT_EQ(gf_liveries().catalogue.size(), 34U);
    const auto l =
        std::find_if(gf_liveries().catalogue.begin(), gf_liveries().catalogue.end(),
                     [](const Livery& x) { return x.title == "MAIW_NBAI_F2_SAF Ala14 C.16-31"; });
    ASSERT_NE(l, gf_liveries().catalogue.end());
    EXPECT_EQ(std::tie(l->type, l->airl, l->atcid), std::make_tuple("EUFI", "PVT", "14-01"));
    EXPECT_EQ(work.report(LiveryReport::InvalidAirlineCodes).size(), 34U);  // "141F" and such
}

}  // namespace
}  // namespace wnd
