// One engine cycle with 500 active live aircraft: a third cruising, a third on approach to
// the park airport, a third taxiing. Goal: under 0.25 ms a cycle (2.5 % of the 10 ms budget).
#include <benchmark/benchmark.h>

#include <fstream>

#include "traffic/test_world.h"

namespace wnd::enginetest {
namespace {

constexpr int kAircraft = 500;
constexpr int kPoints = 150;
constexpr int kPointCycles = 200;

void lf_fill(LiveEngine& engine) {
    engine.prepare();
    engine.setParkAirport(EngineParkAirport{"LSZH", {47.458, 8.548}, 1416.0});
    const std::int32_t now = engine.cycle();
    for (int i = 0; i < kAircraft; ++i) {
        LiveAircraft ac;
        ac.aircraftId = 0x400000U + static_cast<std::uint32_t>(i);
        ac.callsign = "BEN" + std::to_string(i);
        ac.model = "A320";
        ac.airline = "SWR";
        ac.controls.category = category::kLarge;
        ac.controls.objectId = 100U + static_cast<std::uint32_t>(i);
        ac.state = LiveState::Active;
        const int kind = i % 3;
        const double heading = (i * 7 % 360) * kDeg2Rad;
        LatLon p{47.3 + 0.001 * i, 8.3 + 0.001 * i};
        const double speed = kind == 0 ? 450.0 : kind == 1 ? 150.0 : 15.0;
        double altitude = kind == 0 ? 30000.0 : kind == 1 ? 4000.0 : 0.0;
        ac.phase = kind == 2 ? FlightPhase::Taxi : FlightPhase::Flying;
        ac.touchdown = kind == 2;
        ac.landingSequence = kind == 1;
        for (int k = 0; k < kPoints; ++k) {
            StreamPoint s;
            s.lat = p.lat;
            s.lon = p.lon;
            s.altitude = altitude;
            s.groundSpeed = speed;
            s.track = heading * kRad2Deg;
            s.verticalRate = kind == 1 ? -700.0 : 0.0;
            s.airborne = kind != 2;
            s.dueCycle = now + k * kPointCycles;
            ac.stream.push_back(s);
            p = gf_destinationPoint(p, heading + (k % 10 == 0 ? 0.2 : 0.0),
                                    speed * kFeetPerNm / 3600.0 * kPointCycles / 100.0);
            altitude = kind == 1 ? std::max(2000.0, altitude - 23.0) : altitude;
        }
        ac.lat = ac.stream.front().lat;
        ac.lon = ac.stream.front().lon;
        ac.altitude = kind == 2 ? 1421.0 : altitude;
        ac.heading = heading;
        engine.live().push_back(std::move(ac));
    }
}

void BM_EngineCycle500(benchmark::State& state) {
    gf_prepareTestDatabase();
    TestWorld world;
    world.keepTracks = false;
    LiveEngine engine(world);
    lf_fill(engine);
    int cycles = 0;
    for (auto _ : state) {
        engine.lf_handleAddingStack();
        if (++cycles == kPoints * kPointCycles / 2) {
            state.PauseTiming();
            lf_fill(engine);
            cycles = 0;
            state.ResumeTiming();
        }
    }
    state.counters["active"] = static_cast<double>(engine.live().size());
    // Resident memory of the whole process with the 500 aircraft (goal: under 150 MB).
    std::ifstream statm("/proc/self/statm");
    double pages = 0.0;
    double resident = 0.0;
    if (statm >> pages >> resident) {
        state.counters["rss_mb"] = resident * 4096.0 / 1e6;
    }
}
BENCHMARK(BM_EngineCycle500)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wnd::enginetest
