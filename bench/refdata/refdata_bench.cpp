// Reading the reference data at start-up, and the lookups the engine makes all the time.
//   refdata_bench [--benchmark_filter=...]; WENDLE_STAGE_DIR picks another working folder.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "airports/airports_db.h"
#include "refdata/dbase.h"
#include "refdata/encrypted_file.h"

namespace fs = std::filesystem;

namespace {

fs::path lf_stagedInput() {
    const char* env = std::getenv("WENDLE_STAGE_DIR");
    return fs::path(env != nullptr && *env != '\0' ? env : WENDLE_STAGE_DIR) / "input";
}

// A folder with the shipped files, and one with synthetic full-size files.
struct Folders {
    fs::path root =
        fs::temp_directory_path() / fmt::format("wendle-bench-{}", std::random_device{}());
    fs::path shipped = root / "shipped";
    fs::path synthetic = root / "synthetic";
    std::vector<std::string> registrations;  // of the synthetic file

    Folders() {
        fs::create_directories(shipped);
        fs::create_directories(synthetic);
        for (const char* name : {"dbase.enc", "airports.enc", "AIG-regcodes.enc"}) {
            fs::copy_file(lf_stagedInput() / name, shipped / name,
                          fs::copy_options::overwrite_existing);
        }
        makeSynthetic();
    }
    ~Folders() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void makeSynthetic() {
        std::mt19937 rng(42);
        const fs::path dbasePlain = root / "dbase.plain";
        {
            std::ofstream out(dbasePlain);
            out << "<?xml version=\"1.0\"?>\n<root>\n";
            out << "<aircrafts><aircraft types=\"A320,B738,B744,GLF6,F16,H60,C172\"/></aircrafts>"
                   "<high_performance><hpf types=\"F16\"/></high_performance>"
                   "<heavy><hvy types=\"B744\"/></heavy><large><lar types=\"A320,B738\"/></large>"
                   "<buzjet><bzj types=\"GLF6\"/></buzjet><rotorcraft><rot types=\"H60\"/>"
                   "</rotorcraft><cargo_types><cargo_type types=\"B744\"/></cargo_types>"
                   "<ICAO_airlines><ICAO codes=\"DLH,UPS\"/></ICAO_airlines><cargo_operators>"
                   "<ICAO codes=\"UPS\"/></cargo_operators><simaddonsP3D><simaddonP3D "
                   "arpts=\"LOWI\"/></simaddonsP3D>\n<dbase>\n";
            for (std::uint32_t i = 0; i < 57000; ++i) {
                // Distinct five-letter registrations in a scattered order.
                std::uint32_t n = i * 7919U % 11881376U;
                std::string reg = "XX-XXX";
                for (std::size_t at : {5U, 4U, 3U, 1U, 0U}) {
                    reg[at] = static_cast<char>('A' + n % 26U);
                    n /= 26U;
                }
                registrations.push_back(reg);
                out << "<db reg=\"" << reg << "\" airl=\"DLH\" type=\"A320\" opr=\"DLH\" />\n";
            }
            out << "</dbase>\n</root>\n";
        }
        wnd::gf_streamEncrypt(dbasePlain, synthetic / "dbase.enc");
        const fs::path airportsPlain = root / "airports.plain";
        {
            std::ofstream out(airportsPlain);
            out << "<?xml version=\"1.0\"?>\n<root>\n<airports>\n";
            std::uniform_real_distribution<double> lat(-60, 70);
            std::uniform_real_distribution<double> lon(-180, 180);
            for (int i = 0; i < 15000; ++i) {
                out << fmt::format(
                    "<airport code=\"{}{:03}\" iata=\"XYZ\" lat=\"{:.6f}\" lon=\"{:.6f}\" "
                    "alt=\"100\" stands=\"10\" />\n",
                    char('A' + i % 26), i / 26 % 1000, lat(rng), lon(rng));
            }
            out << "</airports>\n</root>\n";
        }
        wnd::gf_streamEncrypt(airportsPlain, synthetic / "airports.enc");
    }
};

Folders& lf_folders() {
    static Folders f;
    return f;
}

void lf_readAll(const fs::path& folder, bool withRegcodes) {
    wnd::gf_dbase().reset();
    wnd::gf_airportsDb().reset();
    if (!wnd::gf_readDbase(folder) || !wnd::gf_readAirports(folder)) {
        throw std::runtime_error("reading failed");
    }
    if (withRegcodes &&
        !wnd::gf_streamDecrypt(folder / "AIG-regcodes.enc", folder / "AIG-regcodes.xml")) {
        throw std::runtime_error("regcodes failed");
    }
}

// Decrypt, parse and index all three shipped files: the start-up cost.
void BM_ReadShippedData(benchmark::State& state) {
    const fs::path folder = lf_folders().shipped;
    for (auto _ : state) {
        lf_readAll(folder, true);
    }
    state.counters["registrations"] = double(wnd::gf_dbase().registrations.size());
    state.counters["airports"] = double(wnd::gf_airportsDb().airports.size());
}
BENCHMARK(BM_ReadShippedData)->Unit(benchmark::kMillisecond);

void BM_ReadShippedDbase(benchmark::State& state) {
    const fs::path folder = lf_folders().shipped;
    for (auto _ : state) {
        wnd::gf_dbase().reset();
        wnd::gf_readDbase(folder);
    }
}
BENCHMARK(BM_ReadShippedDbase)->Unit(benchmark::kMillisecond);

void BM_ReadShippedAirports(benchmark::State& state) {
    const fs::path folder = lf_folders().shipped;
    for (auto _ : state) {
        wnd::gf_airportsDb().reset();
        wnd::gf_readAirports(folder);
    }
}
BENCHMARK(BM_ReadShippedAirports)->Unit(benchmark::kMillisecond);

// The room the tables reserve: 57000 registrations and 15000 airports.
void BM_ReadFullSizeSynthetic(benchmark::State& state) {
    const fs::path folder = lf_folders().synthetic;
    for (auto _ : state) {
        lf_readAll(folder, false);
    }
    state.counters["registrations"] = double(wnd::gf_dbase().registrations.size());
    state.counters["airports"] = double(wnd::gf_airportsDb().airports.size());
}
BENCHMARK(BM_ReadFullSizeSynthetic)->Unit(benchmark::kMillisecond);

// Lookups in the 57000-record table: registrations as given, written without their
// dash (found through a spelled variant) and unknown ones.
void BM_LookupRegistration(benchmark::State& state) {
    Folders& f = lf_folders();
    lf_readAll(f.synthetic, false);
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < 3000; ++i) {
        const std::string& reg = f.registrations[i * 17 % f.registrations.size()];
        keys.push_back(reg);
        keys.push_back(reg.substr(0, 2) + reg.substr(3));
        keys.push_back(fmt::format("N{}", 1000 + i));
    }
    std::size_t i = 0;
    std::size_t hits = 0;
    for (auto _ : state) {
        hits += wnd::gf_lookupRegistration(keys[i]).has_value() ? 1U : 0U;
        i = (i + 1) % keys.size();
    }
    benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_LookupRegistration);

// The closest-airport walk over 15000 airports.
void BM_FindClosestAirport(benchmark::State& state) {
    lf_readAll(lf_folders().synthetic, false);
    const auto& list = wnd::gf_airportsDb().airports;
    std::vector<wnd::LatLon> points;
    for (std::size_t i = 0; i < 1000; ++i) {
        const wnd::LatLon p = list[i * 13 % list.size()].position;
        points.push_back({p.lat + 0.01, p.lon});
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(wnd::gf_findClosestAirport(points[i]));
        i = (i + 1) % points.size();
    }
}
BENCHMARK(BM_FindClosestAirport)->Unit(benchmark::kMicrosecond);

}  // namespace
