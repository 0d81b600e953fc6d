// From outside: wendle-bgl on the real scenery files, and `wendle` scanning a scenery
// folder at start-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "bgl_writer.h"
#include "testkit/testkit.h"
#include "util/program.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using testing::HasSubstr;
using testing::Not;

namespace wnd {
namespace {

using testkit::Process;
using testkit::readFile;

fs::path bglDir() {
    return testkit::sharedDataDir().empty() ? fs::path()
                                            : testkit::sharedDataDir() / "testdata" / "bgl";
}

std::vector<json> jsonLines(const std::string& text) {
    std::vector<json> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(json::parse(line));
    }
    return out;
}

// The reader's findings on the real files: a v6 airport, an FSX one with 71 parkings (three
// for vehicles) and a helipad, one with a name only, and two files without airports.
TEST(WendleBglTool, PrintsTheAirportsOfRealFiles) {
    if (bglDir().empty() || !fs::exists(bglDir())) {
        GTEST_SKIP() << "../shared/data/testdata/bgl is absent: no real BGL files";
    }
    testkit::TempDir dir;
    std::vector<std::string> args;
    for (const char* f : {"KTST_TestAirport_v6.bgl", "LEAB_ADEP4_ARV187.bgl",
                          "LEAB_ADEP5_ARV187_ALT.bgl", "LEAB_ADEP5_ARV187_CVX_a.bgl",
                          "Traffic_Spain_Eurofighter_ALA_14_FSX.bgl", "missing.bgl"}) {
        args.push_back((bglDir() / f).string());
    }
    Process p(testkit::binary("wendle-bgl"), args, {.cwd = dir.path()});
    ASSERT_EQ(p.wait(30s), 1) << p.err();
    const std::vector<json> l = jsonLines(p.out());
    ASSERT_EQ(l.size(), 9U) << p.out();
    EXPECT_EQ(l[0]["ident"], "KTST");
    EXPECT_EQ(l[0]["name"], "Testfield Regional");
    EXPECT_EQ(l[0]["altitude_ft"], 654);
    EXPECT_EQ(l[0]["layout"], "v5");
    EXPECT_EQ(l[0]["stands"][1], json::parse(R"({"id":"g1","kind":"gate","type":8,"radius_m":20.0,
        "heading_deg":90.0,"lat":41.353199891746044,"lon":-89.1508001089096})"));
    EXPECT_EQ(l[0]["stands"][0]["kind"], "helipad");
    EXPECT_EQ(l[0]["stands"][2]["kind"], "ramp");
    EXPECT_EQ(l[1]["airports"], 1);
    EXPECT_EQ(l[2]["ident"], "LEAB");
    EXPECT_EQ(l[2]["layout"], "fsx");
    EXPECT_EQ(l[2]["stands"].size(), 69U);
    EXPECT_EQ(l[2]["stands"][1]["id"], "r4");
    EXPECT_EQ(l[4]["name"], "Los Llanos");
    EXPECT_EQ(l[4]["stands"].size(), 0U);
    EXPECT_EQ(l[6]["precheck"], false);
    EXPECT_EQ(l[7]["precheck"], false);
    EXPECT_EQ(l[7]["airports"], 0);
    EXPECT_TRUE(l[8].contains("error"));
}

// An airport of `stands` parkings numbered downwards by 8 (the file lists them sorted).
void scenery(const fs::path& file, const std::string& ident, int stands, int helipads = 0) {
    testbgl::Airport a;
    a.ident = ident;
    a.names = {ident + " Intl"};
    a.parkingLists.emplace_back();
    for (int i = 0; i < stands; ++i) {
        a.parkingLists[0].push_back({.number = static_cast<std::uint32_t>((stands - 1 - i) * 8 + 2),
                                     .lat = 47.45 + i * 0.001});
    }
    a.helipads.resize(static_cast<std::size_t>(helipads));
    testkit::writeFile(file, testbgl::build({.airports = {a}}));
}

void delivered(const fs::path& file, int stands) {
    std::string xml = "<root><parkpositions>";
    for (int i = 0; i < stands; ++i) {
        xml += "<parkpos id=\"x" + std::to_string(i) + "\"/>";
    }
    testkit::writeFile(file, xml + "</parkpositions></root>");
}

TEST(AirportScanE2E, StartUpScansTheAddonFolders) {
    testkit::WorkFolder wf;
    const fs::path sc = wf.dir / "Addon Scenery";
    const fs::path archive = wf.work / "archive";
    scenery(sc / "Aerosoft/EDDF/scenery/EDDF_AF.bgl", "EDDF", 3);
    delivered(archive / "thirdparty/Aerosoft/EDDF.xml", 2);
    scenery(sc / "Aerosoft/LSZH/LSZH.BGL", "LSZH", 3);
    delivered(archive / "thirdparty/Aerosoft/LSZH.xml", 4);
    scenery(sc / "orbx/EGLC/a.bgl", "EGLC", 3);
    delivered(archive / "simaddon/EGLC.xml", 1);
    scenery(sc / "ORBX/YMML/a.bgl", "YMML", 2, 1);
    scenery(sc / "FlyTampa/KBOS/statics/KBOS.bgl", "KBOS", 7);
    scenery(sc / "FlyTampa/KBOS/KBOS.bgl", "KBOS", 1);
    scenery(sc / "Other/ZZZZ.bgl", "ZZZZ", 1);
    const bool real = !bglDir().empty() && fs::exists(bglDir());
    if (real) {
        fs::create_directories(sc / "Aerosoft" / "LEAB");
        fs::create_symlink(bglDir() / "LEAB_ADEP4_ARV187.bgl", sc / "Aerosoft/LEAB/AF.bgl");
    }
    testkit::writeFile(wf.dir / "afile", "");
    const fs::path stock = wf.dir / "Prepar3D v5" / "Scenery";
    fs::create_directories(stock);
    wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()},
                        {"SCAN_LIVERIES", "false"},
                        {"SCAN_AIRPORTS", "true"},
                        {"afolder0", sc.string()},
                        {"afolder1", (wf.dir / "nothere").string()},
                        {"afolder2", (wf.dir / "afile").string()},
                        {"afolder3", sc.string()},
                        {"afolder4", stock.string()}});
    const std::string log = wf.runUntilLogged("airports scan ends");
    for (const std::string line :
         {"nothere does not exist, skipped!", "afile is not a folder name, skipped!",
          " is searched already, skipped!", "Scenery is the stock scenery folder, skipped!",
          "AirportsScanLog.txt written", "[zip] Adding (data) tblo/EDDF.xml -> EDDF.xml",
          "[zip] Adding (data) tblo/KBOS.xml -> KBOS.xml", "! Mail tblo/tblo.zip to "}) {
        EXPECT_THAT(log, HasSubstr(line));
    }
    EXPECT_EQ(testkit::parameterValue(wf.parametersFile(), "SCAN_AIRPORTS"), "false");
    const fs::path tp = wf.work / "airports" / "my_thirdparty";
    const fs::path orbx = wf.work / "airports" / "my_ORBX";
    EXPECT_EQ(readFile(tp / "LSZH.txt"), "archive/thirdparty/Aerosoft/LSZH.xml\n");
    EXPECT_FALSE(fs::exists(tp / "LSZH.xml"));
    EXPECT_FALSE(fs::exists(tp / "EDDF.txt"));  // packed: the generated file is the richer one
    EXPECT_EQ(readFile(orbx / "EGLC.txt"), "archive/simaddon/EGLC.xml\n");
    EXPECT_FALSE(fs::exists(orbx / "EGLC.xml"));
    EXPECT_TRUE(fs::exists(wf.work / "tblo" / "tblo.zip"));
    const std::string scanLog = readFile(wf.work / "AirportsScanLog.txt");
    for (const std::string line :
         {"thirdparty airport LSZH linked to archive/thirdparty/Aerosoft/LSZH.xml",
          "===> EDDF has 3 parkpos while archived one has 2",
          "Generated airports/my_thirdparty/EDDF.xml: 3 positions\n",
          "from filename => publisher simaddon",
          "simaddon airport EGLC linked to archive/simaddon/EGLC.xml",
          "YMML does not exist as simaddon",
          "Generated airports/my_ORBX/YMML.xml: 3 positions, of which 1 helipad\n",
          "thirdparty FlyTampa KBOS does not exist",
          "Generated airports/my_thirdparty/KBOS.xml: 1 position\n",
          "ZZZZ is not an airport supported by RealTraffic "}) {
        EXPECT_THAT(scanLog, HasSubstr(line));
    }
    EXPECT_THAT(scanLog, Not(HasSubstr("7 positions")));  // statics are not entered
    if (real) {
        EXPECT_THAT(scanLog, HasSubstr("Generated airports/my_thirdparty/LEAB.xml: 69 positions, "
                                       "of which 1 helipad"));
        EXPECT_THAT(log, HasSubstr("[zip] Added 3 files, ok_close=true"));
    }
    // The generated file in the airport file format, stands in natural order.
    const std::string eddf = readFile(tp / "EDDF.xml");
    EXPECT_THAT(eddf, HasSubstr(R"(<?xml version="1.0" encoding="UTF-8"?>
<root>
  <meta version=")" + std::string(kProgramVersionText) +
                                R"(" />
  <parameters>
    <parameter name="airport_name" value="EDDF Intl" />
    <parameter name="publisher" value="Aerosoft" />
    <parameter name="altitude" value="1417" />
    <parameter name="num_parkpos" value="3" />
    <parameter name="BGLpath" value=")" +
                                (sc / "Aerosoft/EDDF/scenery/EDDF_AF.bgl").string() +
                                R"(" />
  </parameters>
  <parkpositions>
    <parkpos id="g2" latitude="47.452000" longitude="8.550000" heading="90.0" radius="20.0" />
    <parkpos id="g10" latitude="47.451000" longitude="8.550000" heading="90.0" radius="20.0" />
    <parkpos id="g18" latitude="47.450000" longitude="8.550000" heading="90.0" radius="20.0" />
  </parkpositions>
</root>)"));

    // An add-on folder inside the simulator's own scenery is the user error 42.
    wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()},
                        {"SCAN_LIVERIES", "false"},
                        {"SCAN_AIRPORTS", "true"},
                        {"afolder0", (stock / "0501").string()}});
    EXPECT_THAT(wf.runUntilLogged("points to stock airports"),
                HasSubstr("42: parameter afolder0 points to stock airports instead of add-on "
                          "airports!"));
}

}  // namespace
}  // namespace wnd
