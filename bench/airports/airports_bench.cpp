// Reading the park airport's file: 500 stands, and a learned file with a year of flights
// (70 a stand, 35000 in all). Goal: under 50 ms.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <filesystem>
#include <fstream>

#include "airports/airports_db.h"
#include "airports/park_airport.h"

namespace wnd {
namespace {

namespace fs = std::filesystem;

std::string lf_file(bool learned) {
    std::string s =
        "<?xml version=\"1.0\"?>\n<root>\n<meta version=\"11.10.9\"/>\n<parameters>\n"
        "<parameter name=\"airport_name\" value=\"Bench\"/>\n"
        "<parameter name=\"publisher\" value=\"stock\"/>\n"
        "<parameter name=\"altitude\" value=\"1416\"/>\n</parameters>\n"
        "<parkpositions>\n";
    for (int i = 0; i < 500; ++i) {
        s += fmt::format(
            "<parkpos id=\"S{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"90.0\" "
            "radius=\"30.0\">\n",
            i, 47.40 + 0.0004 * (i / 25), 8.50 + 0.0006 * (i % 25));
        for (int k = 0; learned && k < 70; ++k) {
            s += fmt::format(
                "<opt reg=\"HB-J{:02}\" airl=\"SWR\" type=\"A320\" day=\"{}\" hh=\"{}:{}\" "
                "cs=\"SWR{}\"/>\n",
                k % 40, 1 + k % 7, k % 40, k % 40 + 4, k);
        }
        s += "</parkpos>\n";
    }
    return s + "</parkpositions>\n</root>\n";
}

void BM_ReadApf500StandsWithAYearOfFlights(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / "wendle-apf-bench";
    fs::create_directories(dir / "airports/my_thirdparty");
    fs::create_directories(dir / "airports/learned/thirdparty/stock");
    std::ofstream(dir / "airports/my_thirdparty/LSZH.xml") << lf_file(false);
    std::ofstream(dir / "airports/learned/thirdparty/stock/LSZH.xml") << lf_file(true);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    AirportsDb& db = gf_airportsDb();
    db.airports = {{"LSZH", "ZRH", {47.4647, 8.5492}, 1416, 500}};
    db.index["LSZH"] = {47.4647, 8.5492};
    db.loaded = true;
    ParkAirports& park = gf_parkAirports();
    for (auto _ : state) {
        park.setParkAirport("LSZH");
        benchmark::DoNotOptimize(park.gf_readApf("airports/my_thirdparty/LSZH.xml"));
    }
    state.counters["stands"] = static_cast<double>(park.file().stands.size());
    fs::current_path(previous);
    fs::remove_all(dir);
}
BENCHMARK(BM_ReadApf500StandsWithAYearOfFlights)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wnd
