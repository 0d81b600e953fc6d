// Live traffic from outside: wendle-rt's flights around Zurich through the real `wendle`
// into wendle-sim, with the demo's generated livery folder; the simulator's trace judged by
// the trace report. The whole start of the traffic on the program's own ports (the
// handshake, the readers, the user's position to RealTraffic) and the closing down, which
// stops the readers and tells RealTraffic.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <nlohmann/json.hpp>
#include <regex>

#include "standin_run.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;

// The user moves to another stand after 150 s; a trace every half second.
std::string lf_scenario() {
    return e2e::zurichScenario({{"timeline",
                                 {{{"t", 150},
                                   {"do", "move_user"},
                                   {"lat", 47.4525},
                                   {"lon", 8.5600},
                                   {"alt_ft", 1421},
                                   {"on_ground", true},
                                   {"heading_deg", 250},
                                   {"ground_speed_kt", 0}}}},
                                {"trace", {{"interval_s", 0.5}}}});
}

class LiveTrafficE2E : public ::testing::Test {
  protected:
    // The trace report's verdict on the run (--check) and its text.
    std::pair<int, std::string> report() {
        return e2e::runCommand(
            testkit::binary("trace-report"),
            {sim_.tracePath().string(), "--scenario", sim_.scenarioPath().string(), "--check"},
            dir_.path());
    }

    testkit::TempDir dir_;
    sctest::SimProcess sim_{lf_scenario()};
    e2e::WendleRun run_{sim_.port(),
                        true,
                        {{"SCAN_LIVERIES", "true"}, {"lfolder0", e2e::demoLiveries(dir_.path())}}};
};

TEST_F(LiveTrafficE2E, GeneratedFlightsBecomeAircraftThatMoveLikeAircraft) {
    ASSERT_TRUE(run_.logShows("liveries found")) << run_.log();
    // The flights are written first, so the test knows their callsigns.
    const std::filesystem::path flights = dir_.path() / "flights.jsonl";
    const auto [rc, out] =
        e2e::runCommand(testkit::binary("wendle-rt"),
                        {"--flights", "6", "--spread", "30", "--approach-nm", "4", "--seed", "3",
                         "--center", "47.45115,8.5584", "--write-scenario", flights.string()},
                        dir_.path());
    ASSERT_EQ(rc, 0) << out;
    const std::string sent = testkit::readFile(flights);
    run_.startRealTraffic({"--scenario", flights.string()});
    for (const char* connected :
         {"RealTraffic connected", "QNH Reader connected", "Traffic Reader connected"}) {
        ASSERT_TRUE(run_.logShows(connected, 90s)) << connected << "\n" << run_.log();
    }
    // Time for a few flights to be born, wait in the buffer, be created and move.
    ASSERT_TRUE(testkit::waitUntil([&] { return sim_.traceOf("create").size() >= 3; }, 120s, 1s))
        << run_.log();
    // Arrivals land and roll out, departures push back and taxi.
    std::this_thread::sleep_for(150s);
    EXPECT_TRUE(run_.wendle().running());
    EXPECT_EQ(run_.terminateWithin5s(), 0);
    // Closing down stops the readers and tells RealTraffic.
    const std::string log = run_.log();
    for (const char* line : {"Exiting: USER CLOSED SIM", "SimConnect closed ok",
                             "Traffic Reader has stopped\n", "QNH Reader has stopped\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(log.find("No traffic in this region?"), std::string::npos) << log;

    // Each object carries the callsign of a flight wendle-rt sent and a livery of the folder.
    for (const nlohmann::json& c : sim_.traceOf("create")) {
        const std::string tail = c.at("tail").get<std::string>();
        EXPECT_NE(sent.find("\"" + tail + "\""), std::string::npos) << tail;
        EXPECT_EQ(c.at("title").get<std::string>().rfind("Wendle Demo ", 0), 0u) << tail;
    }
    // RealTraffic hears the user's position once a second while the flight runs.
    const std::string rt = run_.realTrafficOut();
    EXPECT_NE(rt.find("version question answered"), std::string::npos) << rt;
    EXPECT_NE(rt.find("exit received"), std::string::npos) << rt;
    EXPECT_GE(e2e::count(rt, "received Qs121="), 60u) << rt;
    // ... where the user is now: at the start, and after the user moved in the simulator.
    static const std::regex kUserAt(R"(\(user at ([-0-9.]+),([-0-9.]+)\))");
    bool atStart = false;
    bool moved = false;
    for (auto it = std::sregex_iterator(rt.begin(), rt.end(), kUserAt);
         it != std::sregex_iterator(); ++it) {
        const double lat = std::stod((*it)[1].str());
        const double lon = std::stod((*it)[2].str());
        atStart = atStart || (std::abs(lat - 47.45115) < 1e-4 && std::abs(lon - 8.5584) < 1e-4);
        moved = moved || (std::abs(lat - 47.4525) < 1e-4 && std::abs(lon - 8.56) < 1e-4);
    }
    EXPECT_TRUE(atStart && moved) << rt;

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
