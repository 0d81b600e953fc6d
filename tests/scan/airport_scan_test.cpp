// The add-on airport scan on generated scenery folders: links, generated files, the scan
// log, tblo.zip and the folder rules.
#include "scan/airport_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <set>

#include "bgl_writer.h"
#include "board/status_board.h"
#include "refdata/dbase.h"
#include "scan/scan_state.h"
#include "testkit/log_capture.h"
#include "util/program.h"
#include "util/user_error.h"
#include "util/zip_archive.h"

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;

namespace wnd {
namespace {

class AirportScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_dbase().publishers = {{"Aerosoft"}, {"FlyTampa", "FT"}};
        gf_airportScanState().setTaskLimit(2);
    }
    void TearDown() override {
        gf_dbase().reset();
        gf_board().setTbloRequest({});
        gf_board().reset();
    }

    // An airport with stands numbered from `first` downwards.
    void scenery(const fs::path& rel, const std::string& ident, int stands, int helipads = 0) {
        testbgl::Airport a;
        a.ident = ident;
        a.names = {ident + " Intl"};
        a.parkingLists.emplace_back();
        for (int i = 0; i < stands; ++i) {
            a.parkingLists[0].push_back(
                {.number = static_cast<std::uint32_t>(stands * 4 - i), .lat = 47.45 + i * 0.001});
        }
        for (int i = 0; i < helipads; ++i) {
            a.helipads.push_back({.lat = 47.5 + i * 0.001});
        }
        testkit::writeFile(dir / "scenery" / rel, testbgl::build({.airports = {a}}));
    }
    void delivered(const fs::path& rel, int stands) {
        std::string xml = "<root><parkpositions>";
        for (int i = 0; i < stands; ++i) {
            xml += "<parkpos id=\"x" + std::to_string(i) + "\"/>";
        }
        testkit::writeFile(dir / "archive" / rel, xml + "</parkpositions></root>");
    }
    AirportScanOptions options(std::vector<std::string> folders) {
        AirportScanOptions o;
        for (std::size_t i = 0; i < folders.size(); ++i) {
            o.folders.emplace_back("afolder" + std::to_string(i), folders[i]);
        }
        o.stockScenery = dir / "P3D" / "Scenery";
        o.base = dir.path();
        o.delivered = gf_deliveredAirportsOnDisk(dir.path());
        o.isRtAirport = [](std::string_view c) {
            return std::set<std::string, std::less<>>{"EDDF", "LSZH", "EGLC",
                                                      "YMML", "KBOS", "LEAB"}
                .contains(c);
        };
        o.inAirportsDb = [](std::string_view c) { return c == "EDDF" || c == "KBOS"; };
        return o;
    }
    std::string scanLog() const { return testkit::readFile(dir / "AirportsScanLog.txt"); }

    testkit::TempDir dir;
    testkit::LogCapture log;
};

TEST_F(AirportScanTest, LinksGeneratesAndPacksUnknownAirports) {
    scenery("Aerosoft/EDDF/scenery/EDDF_AF.bgl", "EDDF", 3);
    delivered("thirdparty/Aerosoft/EDDF.xml", 2);
    scenery("Aerosoft/LSZH/LSZH.BGL", "LSZH", 3);
    delivered("thirdparty/Aerosoft/LSZH.xml", 5);
    scenery("orbx/EGLC/a.bgl", "EGLC", 3);
    delivered("simaddon/EGLC.xml", 1);
    scenery("ORBX/YMML/a.bgl", "YMML", 2, 1);
    scenery("FT/KBOS/statics/KBOS.bgl", "KBOS", 7);
    scenery("FT/KBOS/KBOS.bgl", "KBOS", 1);
    scenery("Other/ZZZZ.bgl", "ZZZZ", 1);
    testkit::writeFile(dir / "scenery" / "readme.txt", "not scenery");
    testkit::writeFile(dir / "airports" / "my_thirdparty" / "OLD.xml", "<root/>");
    testkit::writeFile(dir / "tblo" / "OLD.xml", "<root/>");

    ASSERT_TRUE(gf_runAirportScan(options({(dir / "scenery").string()})));
    const fs::path tp = dir / "airports" / "my_thirdparty";
    const fs::path orbx = dir / "airports" / "my_ORBX";
    EXPECT_FALSE(fs::exists(tp / "OLD.xml"));
    EXPECT_FALSE(fs::exists(dir / "tblo" / "OLD.xml"));
    EXPECT_EQ(testkit::readFile(tp / "LSZH.txt"), "archive/thirdparty/Aerosoft/LSZH.xml\n");
    EXPECT_FALSE(fs::exists(tp / "LSZH.xml"));
    EXPECT_FALSE(fs::exists(tp / "EDDF.txt"));  // the generated file is the richer one
    EXPECT_EQ(testkit::readFile(orbx / "EGLC.txt"), "archive/simaddon/EGLC.xml\n");
    EXPECT_FALSE(fs::exists(orbx / "EGLC.xml"));
    EXPECT_TRUE(fs::exists(orbx / "YMML.xml"));
    for (const std::string line :
         {"thirdparty airport LSZH linked to archive/thirdparty/Aerosoft/LSZH.xml",
          "===> EDDF has 3 parkpos while archived one has 2",
          "Generated airports/my_thirdparty/EDDF.xml: 3 positions",
          "from filename => publisher simaddon",
          "simaddon airport EGLC linked to archive/simaddon/EGLC.xml",
          "YMML does not exist as simaddon",
          "Generated airports/my_ORBX/YMML.xml: 3 positions, of which 1 helipad",
          "thirdparty FlyTampa KBOS does not exist",
          "Generated airports/my_thirdparty/KBOS.xml: 1 position\n",
          "ZZZZ is not an airport supported by RealTraffic "}) {
        EXPECT_THAT(scanLog(), HasSubstr(line));
    }
    EXPECT_THAT(scanLog(), Not(HasSubstr("7 position")));  // statics are not entered

    // The generated file in the airport file format, stands in natural order.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((tp / "EDDF.xml").c_str()));
    const pugi::xml_node root = doc.child("root");
    EXPECT_EQ(std::string_view(root.child("meta").attribute("version").value()),
              kProgramVersionText);
    std::vector<std::string> properties;
    for (pugi::xml_node p : root.child("parameters").children("parameter")) {
        properties.push_back(std::string(p.attribute("name").value()) + "=" +
                             p.attribute("value").value());
    }
    EXPECT_THAT(
        properties,
        testing::ElementsAre(
            "airport_name=EDDF Intl", "publisher=Aerosoft", "altitude=1417", "num_parkpos=3",
            "BGLpath=" + (dir / "scenery/Aerosoft/EDDF/scenery/EDDF_AF.bgl").string()));
    std::vector<std::string> stands;
    for (pugi::xml_node p : root.child("parkpositions").children("parkpos")) {
        std::string attrs;
        for (pugi::xml_attribute a : p.attributes()) {
            attrs += std::string(a.name()) + "=" + a.value() + " ";
        }
        stands.push_back(attrs);
    }
    EXPECT_THAT(stands,
                testing::ElementsAre(
                    "id=g10 latitude=47.452000 longitude=8.550000 heading=90.0 radius=20.0 ",
                    "id=g11 latitude=47.451000 longitude=8.550000 heading=90.0 radius=20.0 ",
                    "id=g12 latitude=47.450000 longitude=8.550000 heading=90.0 radius=20.0 "));

    // tblo.zip holds the generated files of airports of the database.
    std::optional<ZipArchive> zip = ZipArchive::openForReading(dir / "tblo" / "tblo.zip");
    ASSERT_TRUE(zip);
    std::vector<std::string> names;
    for (const ZipArchive::Entry& e : zip->entries()) {
        names.push_back(e.name);
    }
    EXPECT_THAT(names, testing::ElementsAre("EDDF.xml", "KBOS.xml"));
    EXPECT_EQ(gf_board().tbloRequest(), "Mail tblo.zip to support@wendle.example");
    EXPECT_THAT(log.text(), HasSubstr("[zip] Added 2 files, ok_close=true, exists=true"));
    EXPECT_EQ(gf_airportScanState().running(), 0);
}

TEST_F(AirportScanTest, FolderRules) {
    testkit::writeFile(dir / "airports" / "my_thirdparty" / "KEEP.xml", "<root/>");
    EXPECT_FALSE(gf_runAirportScan(options({})));
    EXPECT_EQ(gf_board().status(),
              "Exit Wendle_P3D first!   Then set one or more afolder parameters to your add-on "
              "airports, see Manual 6.2");
    EXPECT_TRUE(fs::exists(dir / "airports" / "my_thirdparty" / "KEEP.xml"));

    try {
        gf_runAirportScan(options({(dir / "p3d" / "SCENERY" / "0101").string()}));
        ADD_FAILURE() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.number(), 42);
        EXPECT_STREQ(e.what(),
                     "42: parameter afolder0 points to stock airports instead of add-on airports!");
    }

    fs::create_directories(dir / "P3D" / "Scenery");
    testkit::writeFile(dir / "afile", "");
    const std::string s = (dir / "scenery").string();
    fs::create_directories(s);
    ASSERT_TRUE(
        gf_runAirportScan(options({(dir / "P3D" / "Scenery").string(), (dir / "missing").string(),
                                   (dir / "afile").string(), s, s + "/"})));
    const std::string text = log.text();
    EXPECT_THAT(text, HasSubstr((dir / "missing").string() + " does not exist, skipped!"));
    EXPECT_THAT(text, HasSubstr((dir / "afile").string() + " is not a folder name, skipped!"));
    EXPECT_THAT(text, HasSubstr(s + "/ is searched already, skipped!"));
    EXPECT_THAT(text, HasSubstr("The scan will search 5 folders"));
    EXPECT_THAT(text, HasSubstr("All your third party airports are recognised"));
    EXPECT_EQ(gf_board().status(), "Warning: Scan has not found any add-on airports");
    EXPECT_FALSE(fs::exists(dir / "airports" / "my_thirdparty" / "KEEP.xml"));
}

// Add-ons ship an airport record in several files (one with the name only): the file with
// the most stands is the one kept, whatever order the tasks end in.
TEST_F(AirportScanTest, ManyFilesOfOneAirportKeepTheRichest) {
    for (int i = 0; i < 30; ++i) {
        const std::string sub = "Aerosoft/LEAB/" + std::to_string(i);
        scenery(sub + "/LEAB_ALT.bgl", "LEAB", 0);
        scenery(sub + "/LEAB_CVX.bgl", "LEAB", i == 17 ? 5 : 2);
    }
    gf_airportScanState().setTaskLimit(3);
    ASSERT_TRUE(gf_runAirportScan(options({(dir / "scenery").string()})));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((dir / "airports" / "my_thirdparty" / "LEAB.xml").c_str()));
    EXPECT_STREQ(doc.child("root")
                     .child("parameters")
                     .find_child_by_attribute("name", "num_parkpos")
                     .attribute("value")
                     .value(),
                 "5");
    EXPECT_THAT(doc.child("root")
                    .child("parameters")
                    .find_child_by_attribute("name", "BGLpath")
                    .attribute("value")
                    .value(),
                HasSubstr("/17/LEAB_CVX.bgl"));
    const std::string text = scanLog();
    // Per file the missing delivered file, and the file generated or not written.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 60 * 2) << text;
    EXPECT_THAT(text, HasSubstr("parkpos, not more than the"));
    EXPECT_EQ(gf_airportScanState().running(), 0);
}

}  // namespace
}  // namespace wnd
