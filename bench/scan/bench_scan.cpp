// The airport scan's speed goals: reading cached scenery files at 1 GB/s or more on two
// cores, the pre-check of a file without airports under 20 us, and a scan of 2000 add-on
// files under 5 s. The files are written by the tests' BGL writer into the build folder.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board/status_board.h"
#include "scan/airport_scan.h"
#include "scan/bgl_reader.h"
#include "scan/bgl_writer.h"  // tests/scan
#include "scan/scan_state.h"
#include "util/log.h"

namespace fs = std::filesystem;

namespace {

using namespace wnd;

const fs::path kData = fs::path(WENDLE_BENCH_DATA) / "scan";

void writeFile(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string ident(int i) {
    std::string s = "K";
    for (int k = 0; k < 3; ++k, i /= 26) {
        s += static_cast<char>('A' + i % 26);
    }
    return s;
}

// An airport of `stands` parkings and a helipad, then a large record of other scenery
// that the walk steps over (as a compiled add-on carries its models and ground polygons).
std::string addonFile(const std::string& code, int stands, std::size_t filler) {
    testbgl::Airport a;
    a.ident = code;
    a.parkingLists.emplace_back();
    for (int i = 0; i < stands; ++i) {
        a.parkingLists[0].push_back(
            {.number = static_cast<std::uint32_t>(i + 1), .lat = 47.45 + i * 1e-4});
    }
    a.helipads = {{}};
    return testbgl::build(
        {.airports = {a}, .trailingRecords = testbgl::record(0x65, std::string(filler, 'x'))});
}

struct NullSink final : BglSink {
    std::size_t stands = 0;
    bool acceptAirport(std::string_view) override { return true; }
    void airport(BglAirport&& a) override { stands += a.stands.size(); }
    void log(std::string_view) override {}
    void warning(std::string_view) override {}
    void scanLog(std::string_view) override {}
};

// 128 files of 2 MB; each thread reads its share.
void BM_ReadCachedFiles(benchmark::State& state) {
    static const std::vector<fs::path> files = [] {
        std::vector<fs::path> out;
        for (int i = 0; i < 128; ++i) {
            out.push_back(kData / "large" / (ident(i) + ".bgl"));
            if (!fs::exists(out.back())) {
                writeFile(out.back(), addonFile(ident(i), 400, 2U << 20));
            }
        }
        return out;
    }();
    std::int64_t bytes = 0;
    std::size_t stands = 0;
    for (auto _ : state) {
        for (std::size_t i = static_cast<std::size_t>(state.thread_index()); i < files.size();
             i += static_cast<std::size_t>(state.threads())) {
            NullSink sink;
            lf_processBGLfile(files[i], sink);
            stands += sink.stands;
            bytes += static_cast<std::int64_t>(fs::file_size(files[i]));
        }
    }
    state.SetBytesProcessed(bytes);
    state.counters["stands_per_iteration"] =
        benchmark::Counter(static_cast<double>(stands), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReadCachedFiles)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// The real files of ../shared/data, when present: the whole reading of each.
void BM_ReadRealFiles(benchmark::State& state) {
    const fs::path dir = fs::path(WENDLE_SHARED_DATA_DIR) / "testdata" / "bgl";
    std::vector<fs::path> files;
    for (const char* f : {"KTST_TestAirport_v5.BGL", "KTST_TestAirport_v6.bgl",
                          "LEAB_ADEP4_ARV187.bgl", "LEAB_ADEP5_ARV187_ALT.bgl"}) {
        if (fs::exists(dir / f)) {
            files.push_back(dir / f);
        }
    }
    if (files.empty()) {
        state.SkipWithError("no real BGL files");
        return;
    }
    for (auto _ : state) {
        for (const fs::path& f : files) {
            NullSink sink;
            lf_processBGLfile(f, sink);
            benchmark::DoNotOptimize(sink.stands);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(files.size()));
}
BENCHMARK(BM_ReadRealFiles)->Unit(benchmark::kMicrosecond);

void BM_PreCheckOfAFileWithoutAirports(benchmark::State& state) {
    const fs::path file = kData / "terrain.bgl";
    std::string bytes = addonFile("KAAA", 1, 64 << 10);
    bytes[56 + 20] = 0x65;  // the airport section becomes terrain: no airport section left
    writeFile(file, bytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(gf_bglPreCheck(file));
    }
}
BENCHMARK(BM_PreCheckOfAFileWithoutAirports)->Unit(benchmark::kMicrosecond);

// 2000 add-on files of 40 stands; one in ten is an airport RealTraffic serves, so 200 airport
// files are generated and packed.
void BM_ScanOf2000AddonFiles(benchmark::State& state) {
    const fs::path root = kData / "addons";
    const fs::path scenery = root / "scenery";
    if (!fs::exists(scenery / "1999" / "AF.bgl")) {
        for (int i = 0; i < 2000; ++i) {
            writeFile(scenery / std::to_string(i) / "AF.bgl", addonFile(ident(i), 40, 16 << 10));
        }
    }
    gf_openLog(root / "Log.txt");
    gf_airportScanState().setTaskLimit(2);
    AirportScanOptions o;
    o.folders = {{"afolder0", scenery.string()}};
    o.base = root / "work";
    o.delivered = gf_deliveredAirportsOnDisk(o.base);
    o.isRtAirport = [](std::string_view c) { return (c[1] - 'A') % 10 == 0; };
    o.inAirportsDb = [](std::string_view) { return true; };
    for (auto _ : state) {
        gf_runAirportScan(o);
    }
    gf_closeLog();
}
BENCHMARK(BM_ScanOf2000AddonFiles)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
