// Ground logic at one airport with 500 stands: 200 aircraft taxiing along corners and
// parking (goal: an engine cycle under 0.25 ms), and one stand search over the 500 stands
// (goal: under 20 us).
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "traffic/test_world.h"

namespace wnd::enginetest {
namespace {

constexpr LatLon kAirport{47.458, 8.548};
constexpr int kStands = 500;
constexpr int kTaxiing = 200;
constexpr int kPoints = 40;
constexpr int kPointCycles = 150;

AirportFileData lf_airport() {
    AirportFileData f;
    for (int i = 0; i < kStands; ++i) {
        StandRecord s;
        s.number = static_cast<std::uint32_t>(i + 1);
        s.id = fmt::format("S{}", i + 1);
        // Rows of 25 stands 50 m apart, rows 150 m apart.
        const LatLon p = gf_fromLocal(kAirport, {150.0 * (i / 25), 50.0 * (i % 25)});
        s.lat = p.lat;
        s.lon = p.lon;
        s.radiusNm = 22.0 / kMetresPerNm;
        s.neighbours = {s.number > 1 ? s.number - 1 : s.number + 1};
        FlightRecord fr;
        fr.airline = i % 2 == 0 ? "SWR" : "DLH";
        s.flights.push_back(fr);
        f.stands.push_back(std::move(s));
    }
    return f;
}

// Each aircraft taxis from 300 m south of its stand row, turning 30 degrees every 8
// points, and its reports end standing 30 m short of a stand.
void lf_fill(LiveEngine& engine, AirportFileData& file) {
    engine.prepare();
    engine.setParkAirport(EngineParkAirport{"LSZH", kAirport, 1416.0, &file, 1});
    engine.setParkAirport(EngineParkAirport{"LSZH", kAirport, 1416.0, &file, 2});
    const std::int32_t now = engine.cycle();
    for (int i = 0; i < kTaxiing; ++i) {
        LiveAircraft ac;
        ac.aircraftId = 0x400000U + static_cast<std::uint32_t>(i);
        ac.callsign = fmt::format("BEN{}", i);
        ac.registration = fmt::format("HB-B{}", i);
        ac.model = "A320";
        ac.airline = "SWR";
        ac.controls.category = category::kLarge;
        ac.controls.objectId = 100U + static_cast<std::uint32_t>(i);
        ac.state = LiveState::Active;
        ac.phase = FlightPhase::Taxi;
        ac.touchdown = true;
        ac.landed = true;
        const StandRecord& target = file.stands[static_cast<std::size_t>(i * 2 % kStands)];
        // Built backwards from the last report, 30 m short of the stand.
        std::vector<LatLon> path{gf_fromLocal({target.lat, target.lon}, {-30.0, 0.0})};
        double heading = 0.0;
        for (int k = 1; k < kPoints; ++k) {
            if (k % 8 == 0) {
                heading += k % 16 == 0 ? -0.5 : 0.5;
            }
            path.push_back(gf_destinationPoint(path.back(), heading + kPi,
                                               12.0 * kFeetPerNm / 3600.0 * kPointCycles / 100.0));
        }
        std::reverse(path.begin(), path.end());
        for (int k = 0; k < kPoints; ++k) {
            StreamPoint s;
            s.lat = path[static_cast<std::size_t>(k)].lat;
            s.lon = path[static_cast<std::size_t>(k)].lon;
            s.groundSpeed = k + 1 < kPoints ? 12.0 : 0.0;
            s.groundHold = k + 1 == kPoints;
            s.dueCycle = now + k * kPointCycles;
            ac.stream.push_back(s);
        }
        ac.lat = ac.stream.front().lat;
        ac.lon = ac.stream.front().lon;
        ac.altitude = 1421.0;
        ac.heading = gf_bearing(path[0], path[1]);
        engine.live().push_back(std::move(ac));
    }
}

void BM_GroundCycle200(benchmark::State& state) {
    gf_prepareTestDatabase();
    TestWorld world;
    world.keepTracks = false;
    LiveEngine engine(world);
    AirportFileData file = lf_airport();
    lf_fill(engine, file);
    int cycles = 0;
    int parked = -1;
    for (auto _ : state) {
        engine.lf_handleAddingStack();
        if (++cycles == kPoints * kPointCycles + 2000) {
            state.PauseTiming();
            parked = 0;
            for (const LiveAircraft& ac : engine.live()) {
                parked += ac.phase == FlightPhase::Parked ? 1 : 0;
            }
            file = lf_airport();
            lf_fill(engine, file);
            cycles = 0;
            state.ResumeTiming();
        }
    }
    // Aircraft parked at the end of a full run (-1: no run ended).
    state.counters["parked"] = parked;
}
BENCHMARK(BM_GroundCycle200)->Unit(benchmark::kMicrosecond);

void BM_StandSearch500(benchmark::State& state) {
    gf_prepareTestDatabase();
    TestWorld world;
    LiveEngine engine(world);
    AirportFileData file = lf_airport();
    engine.setParkAirport(EngineParkAirport{"LSZH", kAirport, 1416.0, &file, 1});
    LiveAircraft ac;
    ac.model = "A320";
    ac.airline = "DLH";
    ac.controls.category = category::kLarge;
    const LatLon p = gf_fromLocal(kAirport, {310.0, 420.0});
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.standSearch(p, ac, 0.029697624190064796, true));
    }
}
BENCHMARK(BM_StandSearch500)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wnd::enginetest
