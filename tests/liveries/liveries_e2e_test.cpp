// The real `wendle` with lfolder0/1 pointing at a generated corpus: the first start scans
// and switches SCAN_LIVERIES off, the next one reads the catalogue back.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "testkit/testkit.h"
#include "util/program.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace wnd {
namespace {

using testkit::readFile;
using testkit::WorkFolder;

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
                        {"lfolder1", expected["lfolders"][1].get<std::string>()},
                        {"lfolder2", (wf.dir / "nothere").string()},
                        {"lfolder3", (corpus / "expected.json").string()}});

    std::string log = wf.runUntilLogged("registration codes\n");
    const auto total = expected["liveries"].get<std::size_t>();
    const auto found = expected["found"].get<std::size_t>();
    for (const std::string& line :
         {std::string("liveries scan manual starts"), fmt::format("\n{} in total\n", found),
          fmt::format("\n{} liverie{} left out: airline and model already in a lower-numbered "
                      "lfolder\n",
                      found - total, found - total == 1 ? "" : "s"),
          fmt::format("\n{} liveries in output", total), std::string(" registration codes\n"),
          (wf.dir / "nothere").string() + " does not exist, skipped!\n",
          (corpus / "expected.json").string() + " is not a folder name, skipped!\n",
          fmt::format("lfolder1/SimObjects/Airplanes/SECOND_B739/aircraft.cfg [fltsim.0] title "
                      "'{}' already exists",
                      expected["lfolder1_duplicate"].get<std::string>())}) {
        EXPECT_THAT(log, HasSubstr(line));
    }
    EXPECT_EQ(testkit::parameterValue(wf.parametersFile(), "SCAN_LIVERIES"), "false");
    EXPECT_FALSE(fs::exists(wf.work / "input" / "AIG-regcodes.xml"));

    // The catalogue: root, meta with the version, liv attributes in their order.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((wf.work / "output" / "LiveriesScanned.xml").c_str()));
    EXPECT_EQ(std::string_view(doc.child("root").child("meta").attribute("version").value()),
              kProgramVersionText);
    const std::vector<std::string> order = {"airl", "type", "cargo", "title", "atcid"};
    std::map<std::string, pugi::xml_node> byTitle;
    for (pugi::xml_node liv : doc.child("root").child("liveries").children("liv")) {
        byTitle[liv.attribute("title").value()] = liv;
        std::size_t at = 0;
        for (pugi::xml_attribute a : liv.attributes()) {
            while (at < order.size() && order[at] != a.name()) {
                ++at;
            }
            ASSERT_LT(at, order.size())
                << a.name() << " out of order in " << liv.attribute("title").value();
        }
    }
    EXPECT_EQ(byTitle.size(), total);
    for (const auto& [title, facts] : expected["present"].items()) {
        ASSERT_TRUE(byTitle.contains(title)) << title;
        const pugi::xml_node liv = byTitle[title];
        EXPECT_EQ(liv.attribute("airl").value(), facts["airl"].get<std::string>()) << title;
        EXPECT_EQ(liv.attribute("type").value(), facts["type"].get<std::string>()) << title;
        EXPECT_EQ(liv.attribute("cargo").as_bool(), facts["cargo"].get<bool>()) << title;
        EXPECT_EQ(liv.attribute("atcid").value(), facts["atcid"].get<std::string>()) << title;
    }
    for (const auto& title : expected["absent"]) {
        EXPECT_FALSE(byTitle.contains(title.get<std::string>())) << title;
    }
    // The information and error lists, a line for each case of the corpus.
    for (const auto& [name, count] : expected["reports"].items()) {
        const bool info =
            name == "AircraftCfgWithNoFltsimSection" || name == "RegistrationCodeConversions";
        const fs::path file = wf.work / "output" / (info ? "info" : "errors") / (name + ".txt");
        const std::string text = readFile(file);
        EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
                  count.get<std::size_t>())
            << file << ":\n"
            << text;
    }
    EXPECT_TRUE(fs::exists(wf.work / "output" / "info" / "OfflineRegcodes.txt"));

    log = wf.runUntilLogged("registration codes\n");
    EXPECT_EQ(log.find("liveries scan manual starts"), std::string::npos) << log;
    EXPECT_NE(log.find(fmt::format("\n{} liveries read from output", total)), std::string::npos)
        << log;
}

}  // namespace
}  // namespace wnd
