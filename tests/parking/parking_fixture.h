// Small airport files written as the program reads them, and a world of the tests' own for
// static parking: a park airport, live aircraft holding stands, the pacing queues and a
// livery for every type unless a test says otherwise.
#pragma once

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "airports/airport_file.h"
#include "liveries/matching.h"
#include "parking/static_parking.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"

namespace wnd::parkingtest {

// One observed flight: "opt" with registration, callsign, day 1..7 and half hours.
inline std::string opt(const std::string& reg, const std::string& cs, int day,
                       const std::string& hh, bool soft = false, const std::string& type = "A320") {
    return fmt::format(R"(<opt reg="{}" airl="{}" type="{}" cs="{}" day="{}" hh="{}"{}/>)", reg,
                       cs.substr(0, 3), type, cs, day, hh, soft ? R"( soft="true")" : "");
}

// A stand `metres` north of the first one (20 m radius: stands 40 m apart or closer are
// neighbours).
inline std::string stand(const std::string& id, double metres, const std::string& opts,
                         const std::string& extra = "") {
    return fmt::format(
        R"(<parkpos id="{}" latitude="{:.6f}" longitude="8.560000" heading="90.0" radius="20.0"{}>{}</parkpos>)"
        "\n",
        id, 47.45 + metres / 111132.95, extra, opts);
}

class ParkingWorldFake : public ParkingWorld {
  public:
    void saveLearned() override {}
    AirportFileData file;
    WeekSlot slot{2, 20};  // Tuesday 10:00
    PacingQueues pacingQueues;
    CommandQueues commandQueues;
    AiCommands aiCommands{commandQueues, pacingQueues};
    std::vector<LiveHolder> live;
    std::vector<std::uint32_t> removedLive;
    std::vector<std::string> typesWithoutLivery;
    std::vector<std::string> refused;

    ParkingWorldFake() { commandQueues.prepare(); }

    ParkSite parkSite() override {
        ParkSite s;
        s.code = "LSZH";
        s.generation = 1;
        s.elevationFt = 1416.0;
        s.file = &file;
        return s;
    }
    std::string userStand() override { return ""; }
    LatLon userPosition() override { return {47.45, 8.56}; }
    WeekSlot weekSlot() override { return slot; }
    std::int64_t now() override { return 1765274400; }
    PacingQueues& pacing() override { return pacingQueues; }
    AiCommands& commands() override { return aiCommands; }
    std::vector<LiveHolder> liveHolders() override { return live; }
    std::vector<std::string> liveNames() override { return {}; }
    std::set<std::string> heardCallsigns() override { return {}; }
    void removeLive(std::uint32_t id) override { removedLive.push_back(id); }
    bool matchLivery(MatchAircraft& ac) override {
        for (const std::string& t : typesWithoutLivery) {
            if (t == ac.type) {
                return false;
            }
        }
        ac.title = ac.airline + " " + ac.type;
        return true;
    }
    double halfWingspanNm(std::string_view) override { return 0.01; }
    std::uint32_t category(std::string_view) override { return 2; }
    void creationRefused(const std::string&, const std::string& title, const std::string&,
                         const std::string&) override {
        refused.push_back(title);
    }
};

class ParkingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gs().resetValues();
        gs().RANDOM.set(false);
    }
    void TearDown() override { gs().resetValues(); }

    // Reads the stands as the park airport would: numbered, neighbours worked out.
    void load(const std::string& stands) {
        const auto path = dir.path() / "LSZH.xml";
        testkit::writeFile(path,
                           "<?xml version=\"1.0\"?>\n<root>\n<meta version=\"11.10.9\"/>\n"
                           "<parameters>\n<parameter name=\"altitude\" value=\"1416\"/>\n"
                           "</parameters>\n<parkpositions>\n" +
                               stands + "</parkpositions>\n</root>\n");
        world.file = {};
        ASSERT_EQ(gf_readAirportFile(path, world.file), "");
        gf_numberStandsAndNeighbours(world.file.stands);
    }
    std::vector<StandRecord>& stands() { return world.file.stands; }

    testkit::TempDir dir;
    testkit::LogCapture log;
    ParkingWorldFake world;
};

}  // namespace wnd::parkingtest
