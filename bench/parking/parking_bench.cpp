// The calculation of the static set at a 500-stand airport with a year of learned flights
// (70 a stand, 35000 in all): the usual case, and the sparse one that runs every fit of every
// kind. Goal: under 20 ms. Placing one static aircraft (the engine cycle's share while 300
// are created): well under the cycle's 0.25 ms.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <random>

#include "liveries/matching.h"
#include "parking/static_parking.h"
#include "settings/settings.h"

namespace wnd {
namespace {

std::vector<StandRecord> lf_airport(int flightsPerStand, int hoursPerFlight) {
    std::mt19937 rng(42);
    std::vector<StandRecord> stands(500);
    for (std::uint32_t i = 0; i < stands.size(); ++i) {
        StandRecord& s = stands[i];
        s.id = fmt::format("S{}", i);
        s.number = i + 1;
        s.lat = 47.40 + 0.0004 * (i / 25);
        s.lon = 8.50 + 0.0006 * (i % 25);
        s.heading = 1.5;
        s.radiusNm = 20.0 / 1852.0;
        for (int k = 0; k < flightsPerStand; ++k) {
            FlightRecord f;
            f.airline = "SWR";
            f.type = "A320";
            f.registration = fmt::format("HB-{}-{}", i, k);
            f.callsign = fmt::format("SWR{}", i * 100 + static_cast<std::uint32_t>(k));
            f.day = 1 + k % 7;
            f.ordinal = k + 1;
            f.soft = k % 5 == 0;
            const int start = static_cast<int>(rng() % 48);
            for (int h = start; h < std::min(48, start + hoursPerFlight); ++h) {
                f.bits.set(static_cast<std::size_t>(h));
            }
            s.flights.push_back(f);
        }
    }
    gf_numberStandsAndNeighbours(stands);
    return stands;
}

void lf_calculate(benchmark::State& state, std::vector<StandRecord> stands, int percentage) {
    ParkingRules rules;
    rules.percentage = percentage;
    rules.week = true;
    rules.soft = true;
    const int wanted = gf_wantedStatic(rules, stands.size());
    std::mt19937 rng(7);
    std::size_t placed = 0;
    for (auto _ : state) {
        for (StandRecord& s : stands) {
            s.takenByStatic = false;
            s.takenByLive = false;
            int ordinal = 0;
            for (FlightRecord& f : s.flights) {
                f.ordinal = ++ordinal;
            }
        }
        std::vector<StaticEntry> added;
        std::unordered_set<std::string> busy;
        const std::unordered_map<std::uint32_t, std::string> keepers;
        FillContext c{stands, rules, WeekSlot{3, 20}, added, busy, keepers, rng};
        gf_fillStaticSet(c, 0, wanted);
        gf_sortAndTrim(added, stands, {47.40, 8.50}, wanted);
        placed = added.size();
        benchmark::DoNotOptimize(added.data());
    }
    state.counters["wanted"] = wanted;
    state.counters["chosen"] = static_cast<double>(placed);
}

void BM_Calculation500StandsAYearOfFlights(benchmark::State& state) {
    lf_calculate(state, lf_airport(70, 4), 30);
}
BENCHMARK(BM_Calculation500StandsAYearOfFlights)->Unit(benchmark::kMillisecond);

// Every stand wanted from three one-slot flights a stand: most stands stay empty, and the
// search runs every fit of all four kinds.
void BM_Calculation500StandsSparseData(benchmark::State& state) {
    lf_calculate(state, lf_airport(3, 1), 100);
}
BENCHMARK(BM_Calculation500StandsSparseData)->Unit(benchmark::kMillisecond);

// The world as far as placing needs it.
class BenchWorld final : public ParkingWorld {
  public:
    void saveLearned() override {}
    AirportFileData file;
    PacingQueues queues;
    CommandQueues commandQueues;
    AiCommands aiCommands{commandQueues, queues};
    std::vector<LiveHolder> live;
    ParkSite parkSite() override {
        ParkSite s;
        s.code = "LSZH";
        s.file = &file;
        s.generation = 1;
        return s;
    }
    std::string userStand() override { return {}; }
    LatLon userPosition() override { return {47.40, 8.50}; }
    WeekSlot weekSlot() override { return {3, 20}; }
    std::int64_t now() override { return 0; }
    PacingQueues& pacing() override { return queues; }
    AiCommands& commands() override { return aiCommands; }
    std::vector<LiveHolder> liveHolders() override { return live; }
    std::vector<std::string> liveNames() override { return {}; }
    std::set<std::string> heardCallsigns() override { return {}; }
    void removeLive(std::uint32_t) override {}
    bool matchLivery(MatchAircraft& ac) override {
        ac.title = ac.airline + " " + ac.type;
        return true;
    }
    double halfWingspanNm(std::string_view) override { return 0.01; }
    std::uint32_t category(std::string_view) override { return 2; }
    void creationRefused(const std::string&, const std::string&, const std::string&,
                         const std::string&) override {}
};

// One placing among 300 static aircraft with 100 live ones parked.
void BM_PlaceOneOf300(benchmark::State& state) {
    gs().parking_percentage.set(80);  // 400 wanted, 100 of them live
    BenchWorld world;
    world.file.stands = lf_airport(70, 4);
    for (std::uint32_t i = 0; i < 100; ++i) {
        world.live.push_back(
            {0x400000 + i, 400 + i, fmt::format("EZY{}", i), "G-EZ", true, 0, "A320"});
    }
    StaticParking parking(world);
    for (auto _ : state) {
        state.PauseTiming();
        parking.reset();
        parking.follow();
        state.ResumeTiming();
        while (!parking.chosen().empty()) {
            parking.lf_detcs();
        }
    }
    state.counters["placed"] = static_cast<double>(parking.aircraft().size());
    state.SetItemsProcessed(state.iterations() *
                            static_cast<std::int64_t>(parking.aircraft().size()));
}
BENCHMARK(BM_PlaceOneOf300)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wnd
