// From outside: wendle-bgl on the real scenery files, and `wendle` scanning a scenery
// folder at start-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "bgl_writer.h"
#include "testkit/testkit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using testing::HasSubstr;

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

TEST(WendleBglTool, PrintsTheAirportsOfRealFiles) {
    if (bglDir().empty() || !fs::exists(bglDir())) {
        GTEST_SKIP() << "../shared/data/testdata/bgl is absent: no real BGL files";
    }
    testkit::TempDir dir;
    std::vector<std::string> args;
    for (const char* f :
         {"KTST_TestAirport_v6.bgl", "LEAB_ADEP4_ARV187.bgl", "LEAB_ADEP5_ARV187_CVX_a.bgl",
          "Traffic_Spain_Eurofighter_ALA_14_FSX.bgl"}) {
        args.push_back((bglDir() / f).string());
    }
    args.push_back((dir / "missing.bgl").string());
    Process p(testkit::binary("wendle-bgl"), args, {.cwd = dir.path()});
    ASSERT_EQ(p.wait(30s), 1) << p.err();
    const std::vector<json> lines = jsonLines(p.out());
    ASSERT_EQ(lines.size(), 7U) << p.out();
    const json& ktst = lines[0];
    EXPECT_EQ(ktst["ident"], "KTST");
    EXPECT_EQ(ktst["name"], "Testfield Regional");
    EXPECT_EQ(ktst["altitude_ft"], 654);
    EXPECT_EQ(ktst["layout"], "v5");
    ASSERT_EQ(ktst["stands"].size(), 3U);
    EXPECT_EQ(ktst["stands"][1]["id"], "g1");
    EXPECT_EQ(ktst["stands"][1]["kind"], "gate");
    EXPECT_EQ(ktst["stands"][1]["type"], 8);
    EXPECT_DOUBLE_EQ(ktst["stands"][1]["radius_m"].get<double>(), 20.0);
    EXPECT_DOUBLE_EQ(ktst["stands"][1]["heading_deg"].get<double>(), 90.0);
    EXPECT_NEAR(ktst["stands"][1]["lat"].get<double>(), 41.3532, 1e-6);
    EXPECT_NEAR(ktst["stands"][1]["lon"].get<double>(), -89.1508, 1e-6);
    EXPECT_EQ(ktst["stands"][0]["kind"], "helipad");
    EXPECT_EQ(ktst["stands"][2]["kind"], "ramp");
    EXPECT_EQ(lines[1]["airports"], 1);
    EXPECT_EQ(lines[2]["ident"], "LEAB");
    EXPECT_EQ(lines[2]["stands"].size(), 69U);
    EXPECT_EQ(lines[4]["precheck"], false);
    EXPECT_EQ(lines[4]["airports"], 0);
    EXPECT_EQ(lines[5]["precheck"], false);
    EXPECT_TRUE(lines[6].contains("error"));
}

// Runs until the scan has ended (or the run did), then closes as the close button would.
std::string runOnce(const testkit::WorkFolder& wf, const std::string& until) {
    fs::remove(wf.work / "Log.txt");  // the program keeps it as Log0.txt anyway
    Process p(testkit::binary("wendle"), {}, wf.options());
    testkit::waitUntil(
        [&] {
            const std::string log = readFile(wf.work / "Log.txt");
            return log.find(until) != std::string::npos ||
                   log.find("Exiting: ") != std::string::npos;
        },
        120s, 100ms);
    if (p.running()) {
        p.terminate();
    }
    EXPECT_TRUE(p.wait(30s).has_value());
    return readFile(wf.work / "Log.txt");
}

TEST(AirportScanE2E, StartUpScansTheAddonFolders) {
    testkit::WorkFolder wf;
    const fs::path scenery = wf.dir / "Addon Scenery";
    testbgl::Airport lszh;
    lszh.parkingLists = {{{.number = 1}, {.number = 2}, {.number = 3}}};
    testkit::writeFile(scenery / "Aerosoft" / "LSZH" / "LSZH_AF.bgl",
                       testbgl::build({.airports = {lszh}}));
    testkit::writeFile(wf.work / "archive" / "thirdparty" / "Aerosoft" / "LSZH.xml",
                       "<root><parkpositions><parkpos id=\"a\"/><parkpos id=\"b\"/><parkpos "
                       "id=\"c\"/><parkpos id=\"d\"/></parkpositions></root>");
    const bool real = !bglDir().empty() && fs::exists(bglDir());
    if (real) {
        fs::create_directories(scenery / "Aerosoft" / "LEAB");
        fs::create_symlink(bglDir() / "LEAB_ADEP4_ARV187.bgl",
                           scenery / "Aerosoft" / "LEAB" / "LEAB_ADEP4_ARV187.bgl");
    }
    testkit::writeFile(wf.dir / "afile", "");
    wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()},
                        {"SCAN_LIVERIES", "false"},
                        {"SCAN_AIRPORTS", "true"},
                        {"afolder0", scenery.string()},
                        {"afolder1", (wf.dir / "nothere").string()},
                        {"afolder2", (wf.dir / "afile").string()},
                        {"afolder3", scenery.string()}});
    const std::string log = runOnce(wf, "airports scan ends");
    EXPECT_THAT(log, HasSubstr("nothere does not exist, skipped!"));
    EXPECT_THAT(log, HasSubstr("afile is not a folder name, skipped!"));
    EXPECT_THAT(log, HasSubstr(scenery.string() + " is searched already, skipped!"));
    EXPECT_THAT(log, HasSubstr("AirportsScanLog.txt written"));
    EXPECT_EQ(testkit::parameterValue(wf.parametersFile(), "SCAN_AIRPORTS"), "false");
    const fs::path tp = wf.work / "airports" / "my_thirdparty";
    EXPECT_EQ(readFile(tp / "LSZH.txt"), "archive/thirdparty/Aerosoft/LSZH.xml\n");
    const std::string scanLog = readFile(wf.work / "AirportsScanLog.txt");
    EXPECT_THAT(scanLog, HasSubstr("thirdparty airport LSZH linked to"));
    if (real) {
        EXPECT_THAT(scanLog, HasSubstr("Generated airports/my_thirdparty/LEAB.xml: 69 positions, "
                                       "of which 1 helipad"));
        EXPECT_THAT(readFile(tp / "LEAB.xml"),
                    HasSubstr("<parkpos id=\"r4\" latitude=\"38.946192\""));
        EXPECT_TRUE(fs::exists(wf.work / "tblo" / "tblo.zip"));
        EXPECT_THAT(log, HasSubstr("! Mail "));
    }

    // An add-on folder inside the simulator's own scenery is the user error 42.
    wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()},
                        {"SCAN_LIVERIES", "false"},
                        {"SCAN_AIRPORTS", "true"},
                        {"afolder0", (wf.dir / "Prepar3D v5" / "Scenery" / "0501").string()}});
    EXPECT_THAT(runOnce(wf, "points to stock airports"),
                HasSubstr("42: parameter afolder0 points to stock airports instead of add-on "
                          "airports!"));
}

}  // namespace
}  // namespace wnd
