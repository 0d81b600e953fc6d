// The scan and processing as start-up runs them, on a generated corpus of AI packages with
// the shipped database, and on real aircraft.cfg files from the shared data.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "liveries/cfg_parser.h"
#include "liveries/livery_scan.h"
#include "liveries_test_util.h"
#include "util/charset.h"
#include "util/user_error.h"

namespace fs = std::filesystem;
using testing::HasSubstr;

namespace wnd {
namespace {

// Runs the corpus generator into the folder; the expectations it wrote.
nlohmann::json generate(const fs::path& out, const std::string& extra = "") {
    const std::string cmd = fmt::format("\"{}\" \"{}\" \"{}\" --dbase \"{}\" {} > \"{}\" 2>&1",
                                        WENDLE_PYTHON, WENDLE_CORPUS_SCRIPT, out.string(),
                                        (testkit::sourceDir() / "data" / "dbase.xml").string(),
                                        extra, (out.parent_path() / "gen.txt").string());
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(rc, 0) << testkit::readFile(out.parent_path() / "gen.txt");
    std::ifstream in(out / "expected.json");
    return nlohmann::json::parse(in);
}

// The shipped data files, as the program finds them in input.
void readShippedDbase(const livtest::WorkFolder& work) {
    for (const char* name : {"dbase.enc", "AIG-regcodes.enc"}) {
        fs::copy_file(testkit::stageDir() / "input" / name, work / "input" / name,
                      fs::copy_options::overwrite_existing);
    }
    ASSERT_TRUE(gf_readDbase(work / "input"));
}

const Livery* findLivery(const std::string& title) {
    for (const Livery& l : gf_liveries().catalogue) {
        if (l.title == title) {
            return &l;
        }
    }
    return nullptr;
}

class CorpusTest : public ::testing::Test {
  protected:
    void TearDown() override { gf_dbase().reset(); }
    livtest::WorkFolder work;
    testkit::TempDir corpusDir;
};

TEST_F(CorpusTest, StartUpScansTheCorpusAndTheNextStartReadsTheCatalogueBack) {
    const nlohmann::json expected = generate(corpusDir / "corpus");
    readShippedDbase(work);
    Settings& s = gs();
    s.lfolder[0].set(expected["lfolders"][0].get<std::string>());
    s.lfolder[1].set(expected["lfolders"][1].get<std::string>());
    s.SCAN_LIVERIES.set(true);
    // Start-up step 8.
    if (s.SCAN_LIVERIES.value()) {
        gf_scanLiveries();
    }
    gf_processScannedLiveries();

    const auto total = expected["liveries"].get<std::size_t>();
    EXPECT_EQ(gf_liveries().catalogue.size(), total);
    for (const auto& [title, facts] : expected["present"].items()) {
        const Livery* l = findLivery(title);
        ASSERT_NE(l, nullptr) << title;
        EXPECT_EQ(l->airl, facts["airl"].get<std::string>()) << title;
        EXPECT_EQ(l->type, facts["type"].get<std::string>()) << title;
        EXPECT_EQ(l->cargo, facts["cargo"].get<bool>()) << title;
        EXPECT_EQ(l->atcid, facts["atcid"].get<std::string>()) << title;
    }
    for (const auto& title : expected["absent"]) {
        EXPECT_EQ(findLivery(title.get<std::string>()), nullptr) << title;
    }
    const std::map<std::string, LiveryReport> reports = {
        {"AircraftCfgWithNoFltsimSection", LiveryReport::NoFltsimSection},
        {"InvalidAircraftCfgFiles", LiveryReport::InvalidAircraftCfgFiles},
        {"IncompleFltsimSections", LiveryReport::IncompleteFltsimSections},
        {"InvalidAircraftCodes", LiveryReport::InvalidAircraftCodes},
        {"InvalidAirlineCodes", LiveryReport::InvalidAirlineCodes},
        {"Fixes", LiveryReport::Fixes},
        {"RegistrationCodeConversions", LiveryReport::RegistrationConversions}};
    for (const auto& [name, report] : reports) {
        EXPECT_EQ(work.report(report).size(), expected["reports"][name].get<std::size_t>())
            << name << ":\n"
            << testkit::readFile(gf_liveries().paths.report(report));
    }
    const std::string log = work.log();
    const std::string dup = expected["lfolder1_duplicate"].get<std::string>();
    EXPECT_THAT(log, HasSubstr(fmt::format("lfolder1/SimObjects/Airplanes/SECOND_B739/aircraft.cfg "
                                           "[fltsim.0] title '{}' already exists",
                                           dup)));
    EXPECT_THAT(log, HasSubstr(fmt::format("\n{} in total\n", total)));
    EXPECT_THAT(log, HasSubstr("\nErrors:\n2 invalid airline codes, see "));
    EXPECT_THAT(log, HasSubstr("\n3 invalid model codes, see "));
    EXPECT_THAT(log, HasSubstr("\n1 code fixes, see "));
    EXPECT_THAT(log, HasSubstr("\n2 empty aircraft.cfg files, see "));
    EXPECT_THAT(log, HasSubstr(fmt::format("\n{} liveries read from ", total)));
    EXPECT_FALSE(s.SCAN_LIVERIES.value());
    EXPECT_FALSE(fs::exists(work / "input" / "AIG-regcodes.xml"));

    // The catalogue file: root, meta with the version, liv attributes in their order.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(gf_liveries().paths.catalogue().c_str()));
    EXPECT_STREQ(doc.child("root").child("meta").attribute("version").value(), "11.10.9");
    const std::vector<std::string> order = {"airl", "type", "cargo", "title", "atcid"};
    std::size_t count = 0;
    for (pugi::xml_node liv : doc.child("root").child("liveries").children("liv")) {
        ++count;
        std::size_t at = 0;
        for (pugi::xml_attribute a : liv.attributes()) {
            while (at < order.size() && order[at] != a.name()) {
                ++at;
            }
            ASSERT_LT(at, order.size())
                << a.name() << " out of order in " << liv.attribute("title").value();
        }
    }
    EXPECT_EQ(count, total);

    // The next start of the program: the catalogue is read back, not scanned.
    const LiveryCatalogue first = gf_liveries().catalogue;
    gf_liveries().reset();
    if (s.SCAN_LIVERIES.value()) {
        gf_scanLiveries();
    }
    gf_processScannedLiveries();
    ASSERT_EQ(gf_liveries().catalogue.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(gf_liveries().catalogue[i].title, first[i].title);
    }
}

// Real AI aircraft.cfg files (a freeware military package): as they are, and with the
// texture and model folders their package has beside them.
TEST_F(CorpusTest, RealAircraftCfgFiles) {
    const fs::path shared = testkit::sharedDataDir();
    if (shared.empty()) {
        GTEST_SKIP() << "../shared/data is absent: no real aircraft.cfg files to read";
    }
    const fs::path source = shared / "testdata" / "aircraft-cfg" / "SimObjects";
    if (!fs::is_directory(source)) {
        GTEST_SKIP() << source << " is absent";
    }
    const fs::path lib = corpusDir / "SimObjects";
    fs::copy(source, lib, fs::copy_options::recursive);  // a temporary copy, never the project

    livtest::fillSmallDbase();
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
    const Livery* l = findLivery("MAIW_NBAI_F2_SAF Ala14 C.16-31");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->type, "EUFI");
    EXPECT_EQ(l->airl, "PVT");  // "141F" is a parking code, no airline
    EXPECT_EQ(l->atcid, "14-01");
    EXPECT_EQ(work.report(LiveryReport::InvalidAirlineCodes).size(), 34U);
    EXPECT_EQ(work.report(LiveryReport::Fixes).size(), 2U);
    EXPECT_TRUE(work.logHas("Category HighPerf: 34 pax liveries\n"));
}

}  // namespace
}  // namespace wnd
