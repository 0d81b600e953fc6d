// The airport scan driver's own rules (the black-box run in scan_e2e_test covers links,
// generated files and tblo.zip).
#include "scan/airport_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <pugixml.hpp>

#include "bgl_writer.h"
#include "board/status_board.h"
#include "refdata/dbase.h"
#include "scan/scan_state.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "util/user_error.h"

namespace fs = std::filesystem;
using testing::HasSubstr;

namespace wnd {
namespace {

class AirportScanTest : public ::testing::Test {
  protected:
    void SetUp() override { gf_dbase().publishers = {{"Aerosoft"}}; }
    void TearDown() override {
        gf_dbase().reset();
        gf_board().reset();
    }
    AirportScanOptions options(const std::vector<fs::path>& folders) {
        AirportScanOptions o;
        for (const fs::path& f : folders) {
            o.folders.emplace_back("afolder" + std::to_string(o.folders.size()), f.string());
        }
        o.stockScenery = dir / "P3D" / "Scenery";
        o.base = dir.path();
        o.delivered = gf_deliveredAirportsOnDisk(dir.path());
        o.isRtAirport = [](std::string_view c) { return c == "LEAB"; };
        return o;
    }

    testkit::TempDir dir;
    testkit::LogCapture log;
};

TEST_F(AirportScanTest, NoFolderEmptiesNothingAndStockFoldersAreRefusedInAnyCase) {
    testkit::writeFile(dir / "airports" / "my_thirdparty" / "KEEP.xml", "<root/>");
    EXPECT_FALSE(gf_runAirportScan(options({})));
    EXPECT_EQ(gf_board().status(),
              "Exit Wendle_P3D first!   Then set one or more afolder parameters to your add-on "
              "airports, see Manual 6.2");
    EXPECT_TRUE(fs::exists(dir / "airports" / "my_thirdparty" / "KEEP.xml"));
    EXPECT_EQ(testkit::errorText([&] {
                  gf_runAirportScan(options({dir / "other", dir / "p3d" / "SCENERY" / "0101"}));
              }),
              "42: parameter afolder1 points to stock airports instead of add-on airports!");
}

// Add-ons ship an airport record in several files (one with the name only): the file with
// the most stands is the one kept, whatever order the tasks end in.
TEST_F(AirportScanTest, ManyFilesOfOneAirportKeepTheRichest) {
    for (int i = 0; i < 30; ++i) {
        for (int stands : {0, i == 17 ? 5 : 2}) {
            testbgl::Airport a;
            a.ident = "LEAB";
            a.parkingLists.emplace_back();
            for (int k = 0; k < stands; ++k) {
                a.parkingLists[0].push_back({.number = static_cast<std::uint32_t>(k)});
            }
            testkit::writeFile(dir / "scenery" / "Aerosoft" / std::to_string(i) /
                                   (std::to_string(stands) + ".bgl"),
                               testbgl::build({.airports = {a}}));
        }
    }
    gf_airportScanState().setTaskLimit(3);
    ASSERT_TRUE(gf_runAirportScan(options({dir / "scenery"})));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((dir / "airports" / "my_thirdparty" / "LEAB.xml").c_str()));
    const pugi::xml_node params = doc.child("root").child("parameters");
    EXPECT_STREQ(params.find_child_by_attribute("name", "num_parkpos").attribute("value").value(),
                 "5");
    EXPECT_THAT(params.find_child_by_attribute("name", "BGLpath").attribute("value").value(),
                HasSubstr((std::filesystem::path("Aerosoft") / "17" / "5.bgl").string()));
    // Per file the missing delivered file, and the file generated or not written.
    const std::string text = testkit::readFile(dir / "AirportsScanLog.txt");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 60 * 2) << text;
    EXPECT_THAT(text, HasSubstr("parkpos, not more than the"));
    EXPECT_EQ(gf_airportScanState().running(), 0);
}

}  // namespace
}  // namespace wnd
