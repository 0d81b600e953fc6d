// Parking from outside: recorded ground traffic at Zurich through the real `wendle` into
// wendle-sim, with Zurich's stock stands from the download server's content. Aircraft standing at
// stands park on them, the trace report finds them on their stands with the stands' headings and no
// two aircraft too close, and the run leaves a learned file with what it saw.
#include <gtest/gtest.h>

#include <ctime>
#include <iostream>
#include <pugixml.hpp>
#include <regex>

#include "standin_run.h"
#include "util/program_time.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;

std::filesystem::path lf_buildDir() {
    return testkit::binary("wendle").parent_path().parent_path();
}

TEST(ParkingE2E, RecordedGroundTrafficParksOnItsStandsAndIsLearned) {
    const std::filesystem::path recording = lf_buildDir() / "rt-scenarios" / "zurich_airport.jsonl";
    const std::filesystem::path stands =
        lf_buildDir() / "server" / "downloads" / "P3D" / "LSZH.xml";
    if (!std::filesystem::exists(recording) || !std::filesystem::exists(stands)) {
        GTEST_SKIP() << "the Zurich recordings or stock files were not built";
    }
    testkit::TempDir dir;
    const std::string liveries = e2e::demoLiveries(dir.path());
    // The download server's content, served on a free loopback port.
    const testkit::ServedTree server(lf_buildDir() / "server", dir.path());
    ASSERT_NE(server.url, "http://127.0.0.1:9") << testkit::readFile(dir.path() / "serve.err");
    sctest::SimProcess sim{e2e::zurichScenario()};
    e2e::WendleRun run{sim.port(),
                       true,
                       {{"SCAN_LIVERIES", "true"}, {"lfolder0", liveries}},
                       {},
                       {{"WENDLE_SERVER_URL", server.url}}};
    ASSERT_TRUE(run.logShows("The park airport is LSZH", 90s)) << run.log();
    const WeekSlot before = gf_weekSlotOf(std::time(nullptr));
    run.startRealTraffic({"--scenario", recording.string()});
    // Recorded aircraft standing at gates appear parked, arrivals park when they get there.
    ASSERT_TRUE(testkit::waitUntil(
        [&] {
            const std::string log = run.log();
            return e2e::count(log, " parks\n") + e2e::count(log, " arrived at stand\n") >= 1;
        },
        240s, 1s))
        << run.log();
    // The trace report counts an aircraft as parked after 20 s on its stand.
    std::this_thread::sleep_for(40s);
    EXPECT_EQ(run.terminateWithin5s(), 0);
    const WeekSlot after = gf_weekSlotOf(std::time(nullptr));

    const auto [verdict, figures] =
        e2e::runCommand(testkit::binary("trace-report"),
                        {sim.tracePath().string(), "--scenario", sim.scenarioPath().string(),
                         "--stands", stands.string(), "--check"},
                        dir.path());
    EXPECT_EQ(verdict, 0) << figures;
    static const std::regex kParked(R"((\d+) parked at a stand)");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(figures, m, kParked)) << figures;
    EXPECT_GE(std::stoi(m[1].str()), 1) << figures;
    std::cout << figures << "\n";

    // The learned file holds what was seen, in this week slot, as real data.
    const std::string log = run.log();
    EXPECT_NE(log.find("'airports/learned/stock/LSZH.xml' saved with"), std::string::npos) << log;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((run.workDir() / "airports/learned/stock/LSZH.xml").c_str()));
    int real = 0;
    for (const pugi::xpath_node& n : doc.select_nodes("//parkpos/opt[not(@soft)]")) {
        const int day = n.node().attribute("day").as_int();
        const std::string hh = n.node().attribute("hh").as_string();
        EXPECT_TRUE(day == before.day || day == after.day) << day;
        EXPECT_TRUE(hh == std::to_string(before.halfHour) || hh == std::to_string(after.halfHour) ||
                    hh.find(':') != std::string::npos)
            << hh;
        EXPECT_FALSE(std::string(n.node().attribute("reg").as_string()).empty());
        ++real;
    }
    EXPECT_GE(real, 1);
}

}  // namespace
}  // namespace wnd
