// The livery scan of a large installation (20000 aircraft.cfg files, warm cache) and the
// matching of one aircraft.
//   liveries_bench [--benchmark_filter=...]
// The corpus is generated once into <build>/bench-data (about a minute, 600 MB) and kept.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "liveries/liveries.h"
#include "liveries/liveries_state.h"
#include "liveries/livery_scan.h"
#include "liveries/matching.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "util/log.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 20000;

fs::path lf_stagedInput() {
    const char* env = std::getenv("WENDLE_STAGE_DIR");
    return fs::path(env != nullptr && *env != '\0' ? env : WENDLE_STAGE_DIR) / "input";
}

// The corpus, the working folder with the shipped data, the database read.
struct Setup {
    fs::path corpus = fs::path(WENDLE_BENCH_DATA) / fmt::format("livery-corpus-{}", kFiles);
    fs::path work =
        fs::temp_directory_path() / fmt::format("wendle-liv-bench-{}", std::random_device{}());

    Setup() {
        if (!fs::exists(corpus / "expected.json")) {
            fs::remove_all(corpus);
            const std::string cmd =
                fmt::format("\"{}\" \"{}\" \"{}\" --bench-files {} --dbase \"{}\"", WENDLE_PYTHON,
                            WENDLE_CORPUS_SCRIPT, corpus.string(), kFiles,
                            (fs::path(WENDLE_SOURCE_DIR) / "data" / "dbase.xml").string());
            if (std::system(cmd.c_str()) != 0) {
                throw std::runtime_error("corpus generation failed");
            }
        }
        fs::create_directories(work / "input" / "my_regcodes");
        fs::create_directories(work / "output");
        for (const char* name : {"dbase.enc", "AIG-regcodes.enc"}) {
            fs::copy_file(lf_stagedInput() / name, work / "input" / name);
        }
        wnd::gs().filePath = work / "parameters.xml";
        wnd::gf_setLiveryWorkFolder(work);
        if (!wnd::gf_readDbase(work / "input")) {
            throw std::runtime_error("dbase not read");
        }
    }
    ~Setup() {
        std::error_code ec;
        fs::remove_all(work, ec);
    }
};

Setup& lf_setup() {
    static Setup s;
    return s;
}

void BM_ScanLiveryFolders(benchmark::State& state) {
    Setup& s = lf_setup();
    std::array<std::string, wnd::kLiveryFolderCount> folders{};
    folders[0] = (s.corpus / "lfolder0").string();
    wnd::lf_scanLiveryFolders(folders);  // warms the cache
    for (auto _ : state) {
        wnd::lf_scanLiveryFolders(folders);
    }
    state.counters["liveries"] = static_cast<double>(wnd::gf_liveries().scanFound);
    state.counters["files"] = kFiles;
}
BENCHMARK(BM_ScanLiveryFolders)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Aircraft as live traffic brings them: registrations, airlines and types of the database's
// fleet, with a fifth of unknown registrations and airlines.
std::vector<wnd::MatchAircraft> lf_traffic() {
    std::vector<wnd::MatchAircraft> traffic;
    std::mt19937 rng(7);
    const auto& regs = wnd::gf_dbase().registrations;
    for (int i = 0; i < 4000; ++i) {
        const wnd::DbaseRecord& r = regs[rng() % regs.size()];
        wnd::MatchAircraft ac;
        ac.label = fmt::format("CS{}", i);
        const bool unknown = i % 5 == 4;
        ac.airline = unknown ? "XYZ" : r.airl;
        ac.type = r.type;
        ac.registration = unknown ? fmt::format("N{}Q", i) : r.reg;
        ac.category = wnd::gf_typeCategory(r.type);
        ac.cargo = r.cargo;
        traffic.push_back(std::move(ac));
    }
    return traffic;
}

void lf_matchBench(benchmark::State& state, bool logOpen) {
    Setup& s = lf_setup();
    if (!fs::exists(wnd::gf_liveries().paths.catalogue())) {
        std::array<std::string, wnd::kLiveryFolderCount> folders{};
        folders[0] = (s.corpus / "lfolder0").string();
        wnd::lf_scanLiveryFolders(folders);
    }
    if (!wnd::gf_liveries().processed) {
        wnd::gf_processScannedLiveries();
    }
    if (logOpen) {
        wnd::gf_openLog(s.work / "Log.txt");
    }
    wnd::gs().MATCHING_DEPTH.set(4);
    std::vector<wnd::MatchAircraft> traffic = lf_traffic();
    std::size_t i = 0;
    std::size_t matched = 0;
    for (auto _ : state) {
        wnd::MatchAircraft& ac = traffic[i++ % traffic.size()];
        matched += wnd::gf_matchLivery(ac) ? 1U : 0U;
        benchmark::DoNotOptimize(ac.title.data());
    }
    if (logOpen) {
        wnd::gf_closeLog();
    }
    state.counters["matched%"] =
        100.0 * static_cast<double>(matched) / static_cast<double>(state.iterations());
    state.counters["catalogue"] = static_cast<double>(wnd::gf_liveries().catalogue.size());
}

void BM_MatchLivery(benchmark::State& state) {
    lf_matchBench(state, false);
}
BENCHMARK(BM_MatchLivery)->Unit(benchmark::kNanosecond);

// With the log open, as in the program: every accepted match writes its line.
void BM_MatchLiveryWithLog(benchmark::State& state) {
    lf_matchBench(state, true);
}
BENCHMARK(BM_MatchLiveryWithLog)->Unit(benchmark::kNanosecond);

}  // namespace
