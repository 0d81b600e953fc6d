// Live traffic from outside: wendle-rt's flights around Zurich through the real `wendle`
// into wendle-sim, with the demo's generated livery folder; the simulator's trace judged by
// the trace report.
#include <gtest/gtest.h>

#include <iostream>
#include <regex>
#include <nlohmann/json.hpp>

#include "standin_run.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;

std::string lf_scenario() {
    return nlohmann::json{{"simulator", {{"name", e2e::kSimName}, {"version", e2e::kSimVersion}}},
                          {"ground_alt_ft", 1416},
                          {"user",
                           {{"title", "Test A320"},
                            {"atc_model", "A320"},
                            {"lat", 47.45115},
                            {"lon", 8.5584},
                            {"alt_ft", 1421},
                            {"heading_deg", 250},
                            {"on_ground", true}}},
                          {"trace", {{"interval_s", 0.5}}}}
        .dump();
}

// Runs a command and gives its exit status and standard output.
std::pair<int, std::string> lf_run(const std::filesystem::path& exe,
                                   const std::vector<std::string>& args,
                                   const std::filesystem::path& dir) {
    testkit::Process::Options o;
    o.stdoutFile = dir / "cmd.out";
    o.stderrFile = dir / "cmd.err";
    testkit::Process p(exe, args, o);
    const auto rc = p.wait(120s);
    return {rc.value_or(-1),
            testkit::readFile(dir / "cmd.out") + testkit::readFile(dir / "cmd.err")};
}

// The demo's livery folder, written by its script.
std::string lf_liveries(const std::filesystem::path& dir) {
    const std::filesystem::path folder = dir / "Airplanes";
    const auto [rc, out] = lf_run(
        "/usr/bin/python3",
        {(testkit::sourceDir() / "scripts" / "demo-liveries").string(), folder.string()}, dir);
    EXPECT_EQ(rc, 0) << out;
    return folder.string();
}

class LiveTrafficE2E : public ::testing::Test {
  protected:
    // The trace report's verdict on the run (--check) and its text.
    std::pair<int, std::string> report() {
        return lf_run(
            testkit::binary("trace-report"),
            {sim_.tracePath().string(), "--scenario", sim_.scenarioPath().string(), "--check"},
            dir_.path());
    }

    testkit::TempDir dir_;
    sctest::SimProcess sim_{lf_scenario()};
    e2e::WendleRun run_{
        sim_.port(), true, {{"SCAN_LIVERIES", "true"}, {"lfolder0", lf_liveries(dir_.path())}}};
};

TEST_F(LiveTrafficE2E, GeneratedFlightsBecomeAircraftThatMoveLikeAircraft) {
    ASSERT_TRUE(run_.logShows("liveries found")) << run_.log();
    // The flights are written first, so the test knows their callsigns.
    const std::filesystem::path flights = dir_.path() / "flights.jsonl";
    const auto [rc, out] =
        lf_run(testkit::binary("wendle-rt"),
               {"--flights", "6", "--spread", "30", "--approach-nm", "4", "--seed", "3", "--center",
                "47.45115,8.5584", "--write-scenario", flights.string()},
               dir_.path());
    ASSERT_EQ(rc, 0) << out;
    const std::string sent = testkit::readFile(flights);
    run_.startRealTraffic({"--scenario", flights.string()});
    ASSERT_TRUE(run_.logShows("Traffic Reader connected", 90s)) << run_.log();
    // Time for a few flights to be born, wait in the buffer, be created and move.
    ASSERT_TRUE(testkit::waitUntil([&] { return sim_.traceOf("create").size() >= 3; }, 120s, 1s))
        << run_.log();
    // Arrivals land and roll out, departures push back and taxi.
    std::this_thread::sleep_for(150s);
    EXPECT_TRUE(run_.wendle().running());
    EXPECT_EQ(run_.terminateWithin5s(), 0);

    // Each object carries the callsign of a flight wendle-rt sent and a livery of the folder.
    for (const nlohmann::json& c : sim_.traceOf("create")) {
        const std::string tail = c.at("tail").get<std::string>();
        EXPECT_NE(sent.find("\"" + tail + "\""), std::string::npos) << tail;
        EXPECT_EQ(c.at("title").get<std::string>().rfind("Wendle Demo ", 0), 0u) << tail;
    }
    // RealTraffic hears the user's position once a second while the flight runs.
    const std::string rt = run_.realTrafficOut();
    EXPECT_GE(e2e::count(rt, "received Qs121="), 60u) << rt;

    const auto [verdict, figures] = report();
    EXPECT_EQ(verdict, 0) << figures;
    // The arrivals have landed by now.
    static const std::regex kTouchdowns(R"((\d+) touchdowns in)");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(figures, m, kTouchdowns)) << figures;
    EXPECT_GE(std::stoi(m[1].str()), 1) << figures;
    std::cout << figures << "\n";
}

}  // namespace
}  // namespace wnd
