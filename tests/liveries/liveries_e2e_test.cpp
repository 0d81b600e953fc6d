// The real `wendle` with lfolder0/1 pointing at a generated corpus: the first start scans
// and switches SCAN_LIVERIES off, the next one reads the catalogue back.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "testkit/testkit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace wnd {
namespace {

using testkit::Process;
using testkit::readFile;
using testkit::WorkFolder;

// Runs until the start-up is past the liveries; the traffic never starts without the
// simulator, so the run is closed like the close button would.
std::string runOnce(const WorkFolder& wf) {
    Process p(testkit::binary("wendle"), {}, wf.options());
    testkit::waitUntil(
        [&] {
            const std::string log = readFile(wf.work / "Log.txt");
            return log.find("Exiting: ") != std::string::npos ||
                   log.find("registration codes\n") != std::string::npos ||
                   log.find("not built yet") != std::string::npos;
        },
        120s, 100ms);
    testkit::waitUntil([&] { return !p.running(); }, 2s);
    if (p.running()) {
        p.terminate();
    }
    EXPECT_TRUE(p.wait(30s).has_value());
    return readFile(wf.work / "Log.txt");
}

std::string parameter(const WorkFolder& wf, const char* name) {
    pugi::xml_document doc;
    doc.load_file(wf.parametersFile().c_str());
    return doc.child("root")
        .child("parameters")
        .find_child_by_attribute("name", name)
        .attribute("value")
        .value();
}

TEST(LiveriesE2E, FirstStartScansTheCorpusNextStartReadsTheCatalogue) {
    WorkFolder wf;
    const fs::path corpus = wf.dir / "corpus";
    const std::string cmd = fmt::format("\"{}\" \"{}\" \"{}\" --dbase \"{}\" > \"{}\" 2>&1",
                                        WENDLE_PYTHON, WENDLE_CORPUS_SCRIPT, corpus.string(),
                                        (testkit::sourceDir() / "data" / "dbase.xml").string(),
                                        (wf.dir / "gen.txt").string());
    ASSERT_EQ(std::system(cmd.c_str()), 0) << readFile(wf.dir / "gen.txt");
    std::ifstream in(corpus / "expected.json");
    const nlohmann::json expected = nlohmann::json::parse(in);
    wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()},
                        {"SCAN_LIVERIES", "true"},
                        {"lfolder0", expected["lfolders"][0].get<std::string>()},
                        {"lfolder1", expected["lfolders"][1].get<std::string>()}});

    std::string log = runOnce(wf);
    if (log.find("scan the liveries: not built yet") != std::string::npos) {
        GTEST_SKIP() << "start-up does not call the livery scan yet (app/duties.cpp)";
    }
    const auto total = expected["liveries"].get<std::size_t>();
    EXPECT_NE(log.find("liveries scan manual starts"), std::string::npos) << log;
    EXPECT_NE(log.find(fmt::format("\n{} liveries in output", total)), std::string::npos) << log;
    EXPECT_NE(log.find("\nErrors:\n"), std::string::npos);
    EXPECT_NE(log.find("liveries scan ends"), std::string::npos);
    EXPECT_NE(log.find(fmt::format("\n{} liveries read from output", total)), std::string::npos);
    EXPECT_NE(log.find(" registration codes\n"), std::string::npos);
    EXPECT_EQ(parameter(wf, "SCAN_LIVERIES"), "false");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((wf.work / "output" / "LiveriesScanned.xml").c_str()));
    EXPECT_EQ(std::distance(doc.child("root").child("liveries").children("liv").begin(),
                            doc.child("root").child("liveries").children("liv").end()),
              static_cast<std::ptrdiff_t>(total));
    for (const char* file :
         {"errors/InvalidAircraftCfgFiles.txt", "errors/IncompleFltsimSections.txt",
          "errors/InvalidAircraftCodes.txt", "errors/InvalidAirlineCodes.txt", "errors/Fixes.txt",
          "info/AircraftCfgWithNoFltsimSection.txt", "info/RegistrationCodeConversions.txt",
          "info/OfflineRegcodes.txt"}) {
        EXPECT_TRUE(fs::exists(wf.work / "output" / file)) << file;
    }
    EXPECT_FALSE(fs::exists(wf.work / "input" / "AIG-regcodes.xml"));

    log = runOnce(wf);
    EXPECT_EQ(log.find("liveries scan manual starts"), std::string::npos) << log;
    EXPECT_NE(log.find(fmt::format("\n{} liveries read from output", total)), std::string::npos)
        << log;
}

}  // namespace
}  // namespace wnd
