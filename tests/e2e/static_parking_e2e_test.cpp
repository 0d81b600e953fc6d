// Static parking from outside: the real `wendle` with a user's airport file for Zurich and
// the demo's livery folder, the user parked at one of its stands on wendle-sim. The
// simulator's trace shows the static aircraft: on free stands only, exactly on them with
// their headings, as many as wanted; and all removed when the user climbs away.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

#include "standin_run.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;

constexpr double kUserLat = 47.45115;
constexpr double kUserLon = 8.5584;
constexpr int kStands = 11;  // the user's and ten more, 100 m apart: no neighbours

double standLat(int i) {
    return kUserLat + i * 100.0 / 111132.95;
}

// Every stand has a flight at every half hour of every day, so the test runs at any time.
std::string lf_airportFile() {
    std::string stands;
    for (int i = 0; i < kStands; ++i) {
        std::string opts;
        for (int day = 1; day <= 7; ++day) {
            opts += fmt::format(
                R"(<opt reg="HB-X{:02}" airl="SWR" type="A320" cs="SWR{}" day="{}" hh="0:47"/>)", i,
                100 + i, day);
        }
        stands += fmt::format(
            R"(<parkpos id="G{}" latitude="{:.6f}" longitude="{:.6f}" heading="{:.1f}" radius="20.0">{}</parkpos>)"
            "\n",
            i, standLat(i), kUserLon, 10.0 * i, opts);
    }
    return "<?xml version=\"1.0\"?>\n<root>\n<meta version=\"11.10.9\"/>\n<parameters>\n"
           "<parameter name=\"airport_name\" value=\"Zurich\"/>\n"
           "<parameter name=\"publisher\" value=\"test\"/>\n"
           "<parameter name=\"altitude\" value=\"1416\"/>\n</parameters>\n<parkpositions>\n" +
           stands + "</parkpositions>\n</root>\n";
}

// The user parked at the first stand; at 75 s lifted above AIRP_HEIGHT (out of sight).
std::string lf_scenario() {
    return e2e::zurichScenario(nlohmann::json::parse(R"({
      "timeline": [{"t": 75, "do": "move_user", "lat": 47.45115, "lon": 8.5584, "alt_ft": 20000,
                    "on_ground": false, "heading_deg": 230, "ground_speed_kt": 250}]})"));
}

TEST(StaticParkingE2E, FreeStandsGetTheWantedStaticAircraftUntilTheUserLeaves) {
    testkit::TempDir dir;
    const std::string liveries = e2e::demoLiveries(dir.path());

    testkit::writeFile(dir / "LSZH.xml", lf_airportFile());
    sctest::SimProcess sim(lf_scenario());
    e2e::WendleRun run(
        sim.port(), false,
        {{"SCAN_LIVERIES", "true"}, {"lfolder0", liveries}, {"CUSTOM_PARKING_PERCENTAGE", "50"}},
        {{"airports/my_thirdparty/LSZH.xml", dir / "LSZH.xml"}});

    // 11 stands at 50 %: round(5.5) = 6 wanted; the user's stand stays free. (Live traffic
    // another run sends to the fixed port may show up beside them: only the flights of the
    // file count.)
    constexpr std::size_t kWanted = 6;
    auto statics = [&] {
        std::vector<nlohmann::json> out;
        for (nlohmann::json& c : sim.traceOf("create")) {
            const std::string tail = c.at("tail").get<std::string>();
            if (tail.size() == 6 && tail.rfind("SWR1", 0) == 0 && tail[4] <= '1') {
                out.push_back(std::move(c));
            }
        }
        return out;
    };
    ASSERT_TRUE(testkit::waitUntil([&] { return statics().size() >= kWanted; }, 120s, 1s))
        << run.log();
    std::this_thread::sleep_for(5s);
    const auto created = statics();
    EXPECT_EQ(created.size(), kWanted) << run.log();
    std::set<int> standsUsed;
    std::set<std::uint32_t> objects;
    for (const nlohmann::json& c : created) {
        const std::string tail = c.at("tail").get<std::string>();
        const int i = std::stoi(tail.substr(3)) - 100;
        ASSERT_GT(i, 0) << "a static aircraft on the user's stand";
        ASSERT_LT(i, kStands);
        EXPECT_TRUE(standsUsed.insert(i).second) << tail;
        objects.insert(c.at("oid").get<std::uint32_t>());
        EXPECT_NEAR(c.at("lat").get<double>(), standLat(i), 1e-6) << tail;
        EXPECT_NEAR(c.at("lon").get<double>(), kUserLon, 1e-6) << tail;
        EXPECT_NEAR(c.at("hdg_deg").get<double>(), 10.0 * i, 0.01) << tail;
        EXPECT_TRUE(c.at("on_ground").get<bool>()) << tail;
        EXPECT_EQ(c.at("title").get<std::string>().rfind("Wendle Demo A320", 0), 0u) << tail;
    }
    const std::string log = run.log();
    EXPECT_NE(log.find("It is day "), std::string::npos) << log;
    EXPECT_NE(log.find("6 positions (55% vs wanted 55%"), std::string::npos) << log;
    EXPECT_NE(log.find("G1      : SWR101   parked"), std::string::npos) << log;
    // Static aircraft never move; they stand with engines off and navigation lights on.
    for (const nlohmann::json& p : sim.traceOf("pos")) {
        EXPECT_FALSE(objects.contains(p.at("oid").get<std::uint32_t>()));
    }
    for (std::uint32_t oid : objects) {
        EXPECT_EQ(
            sim.traceOf("client_event", {{"oid", oid}, {"name", "NAV_LIGHTS_SET"}, {"data", 1}})
                .size(),
            1u);
        EXPECT_EQ(
            sim.traceOf("client_event", {{"oid", oid}, {"name", "ENGINE_AUTO_SHUTDOWN"}}).size(),
            1u);
    }

    // The user climbs away: out of sight, every static aircraft is removed.
    auto removed = [&] {
        std::set<std::uint32_t> out;
        for (const nlohmann::json& r : sim.traceOf("remove")) {
            if (objects.contains(r.at("oid").get<std::uint32_t>())) {
                out.insert(r.at("oid").get<std::uint32_t>());
            }
        }
        return out;
    };
    EXPECT_TRUE(removed().empty()) << run.log();
    ASSERT_TRUE(testkit::waitUntil([&] { return removed() == objects; }, 90s, 1s)) << run.log();
    EXPECT_NE(run.log().find("is out of sight"), std::string::npos);
    EXPECT_EQ(run.terminateWithin5s(), 0);
}

}  // namespace
}  // namespace wnd
