// The traffic worker's own cost: one tick with no traffic, and the period of the 10 ms
// cycle (mean and jitter) over a run of WENDLE_CYCLE_SECONDS seconds (default 10).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/worker.h"
#include "board/run_control.h"
#include "settings/settings.h"

namespace wnd {
namespace {

// A flight that runs, with nothing to do: what remains is the worker's own work.
class IdleWorker : public TrafficWorker {
  public:
    std::vector<std::chrono::steady_clock::time_point> ticks;
    std::chrono::steady_clock::time_point end;

  protected:
    bool flightRunning() override {
        const auto now = std::chrono::steady_clock::now();
        ticks.push_back(now);
        if (now >= end) {
            gf_runControl().setStop();
        }
        return true;
    }
    void engineCycle() override {}
    void updateStaticParking() override {}
    void readerLivenessCheck() override {}
    void setMainCycleRuns(bool) override {}
    void copyUserPositionToReader() override {}
    void sendTimeToRealTraffic() override {}
    void sendPositionToRealTraffic() override {}
    void recordProgramTime() override {}
    void applyAutoRange() override {}
};

void BM_OneTickWithoutTraffic(benchmark::State& state) {
    gf_runControl().reset();
    IdleWorker w;
    w.end = std::chrono::steady_clock::time_point::max();
    w.ticks.reserve(1 << 20);
    for (auto _ : state) {
        if (w.ticks.size() > (1 << 19)) {
            w.ticks.clear();
        }
        benchmark::DoNotOptimize(w.oneTick());
    }
}
BENCHMARK(BM_OneTickWithoutTraffic);

void BM_CyclePeriod(benchmark::State& state) {
    const char* env = std::getenv("WENDLE_CYCLE_SECONDS");
    const int seconds = env != nullptr ? std::atoi(env) : 10;
    for (auto _ : state) {
        gf_runControl().reset();
        IdleWorker w;
        w.ticks.reserve(static_cast<std::size_t>(seconds) * 120);
        w.end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        w.mainCycle();
        std::vector<double> periods;
        for (std::size_t i = 1; i < w.ticks.size(); ++i) {
            periods.push_back(
                std::chrono::duration<double, std::milli>(w.ticks[i] - w.ticks[i - 1]).count());
        }
        double mean = 0;
        for (double p : periods) {
            mean += p;
        }
        mean /= static_cast<double>(periods.size());
        double var = 0;
        double worst = 0;
        for (double p : periods) {
            var += (p - mean) * (p - mean);
            worst = std::max(worst, p);
        }
        const double sd = std::sqrt(var / static_cast<double>(periods.size()));
        state.counters["mean_ms"] = mean;
        state.counters["jitter_pct"] = 100.0 * sd / mean;
        state.counters["worst_ms"] = worst;
        state.counters["ticks"] = static_cast<double>(periods.size());
    }
}
BENCHMARK(BM_CyclePeriod)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace wnd

BENCHMARK_MAIN();
