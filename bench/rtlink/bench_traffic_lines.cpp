// Traffic lines parsed and queued per second on one core: the whole way of a datagram
// through the Traffic Reader (count, " VEH" test, split, processLineSub, the append under
// the link lock), with the queue drained as the engine would.
#include <benchmark/benchmark.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "rtlink/traffic_reader.h"
#include "rtlink/weather.h"
#include "standins/rt/standin.h"

namespace {

using namespace wnd;

constexpr LatLon kZurich{47.464722, 8.549167};

// Realistic lines around Zurich: distinct ids and positions, a fifth on the ground.
std::vector<std::string> lf_lines(std::size_t n, double maxDistanceNm) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> offset(-maxDistanceNm / 60.0 * 0.7,
                                                  maxDistanceNm / 60.0 * 0.7);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < n; ++i) {
        rtstandin::Report r;
        r.id = 0x4B0000u + static_cast<std::uint32_t>(i);
        r.onGround = i % 5 == 0;
        r.lat = kZurich.lat + (r.onGround ? offset(rng) / 20.0 : offset(rng));
        r.lon = kZurich.lon + (r.onGround ? offset(rng) / 20.0 : offset(rng));
        r.altFt = r.onGround ? 1416.0 : 3000.0 + static_cast<double>(i % 300) * 100.0;
        r.gsKt = r.onGround ? 12.0 : 250.0;
        r.trackDeg = static_cast<double>(i % 360);
        r.headingDeg = r.trackDeg;
        r.vsFpm = -700.0;
        r.rollDeg = 3.0;
        r.tasKt = r.onGround ? std::optional<double>() : 280.0;
        r.callsign = "SWR" + std::to_string(100 + i % 900);
        r.type = "A320";
        r.registration = "HB-J" + std::to_string(i % 100);
        r.origin = "LHR";
        r.destination = "ZRH";
        r.category = "A3";
        lines.push_back(rtstandin::formatTrafficLine(r, 1.7e9 + static_cast<double>(i)));
    }
    return lines;
}

void lf_run(benchmark::State& state, const std::vector<std::string>& lines) {
    TrafficQueue queue;
    queue.setMainCycleRuns(true);
    TrafficReader reader(queue);
    reader.setUserPosition(kZurich);
    reader.setParkAirport(ParkAirportRef{kZurich, 1416.0});
    reader.setCycleSource([] { return 1000; });
    std::vector<TrafficRecord> drained;
    drained.reserve(1024);
    std::size_t i = 0;
    for (auto _ : state) {
        reader.handOn(lines[i++ % lines.size()], true);
        if ((i & 1023) == 0) {
            drained.clear();
            queue.takeUpTo(1024, drained);
            benchmark::DoNotOptimize(drained.data());
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["queued"] = static_cast<double>(queue.size());
}

void BM_TrafficLineQueued(benchmark::State& state) {
    static const auto lines = lf_lines(4096, 38.0);
    lf_run(state, lines);
}
BENCHMARK(BM_TrafficLineQueued);

// Lines beyond the traffic radius end at the distance test.
void BM_TrafficLineOutOfRange(benchmark::State& state) {
    static const auto lines = [] {
        auto l = lf_lines(4096, 38.0);
        for (auto& s : l) {
            s.replace(s.find(",47."), 4, ",57.");
        }
        return l;
    }();
    lf_run(state, lines);
}
BENCHMARK(BM_TrafficLineOutOfRange);

void BM_WeatherDatagram(benchmark::State& state) {
    TrafficQueue queue;
    TrafficReader traffic(queue);
    std::atomic<int> current{1013};
    QnhReader reader(traffic, current);
    const std::string d = rtstandin::weatherDatagram("1020", "LSZH");
    for (auto _ : state) {
        reader.onDatagram(d);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_WeatherDatagram);

}  // namespace
