// The airports database (airports.enc): every airport RealTraffic serves with ground
// traffic. Filled once per process on the start-up thread before the threads that read
// it exist; read-only afterwards, so any thread reads it without a lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/geodesy.h"
#include "util/hash.h"

namespace wnd {

struct AirportRecord {
    std::string code;  // ICAO, upper case
    std::string iata;
    LatLon position;
    double altitude = 0.0;    // as stored (feet in the shipped file)
    std::int32_t stands = 0;  // 0: no stock airport file on the server
};

// Code -> position; answers whether RealTraffic supports an airport.
using RtAirportIndex = std::unordered_map<std::string, LatLon, TextHash, std::equal_to<>>;

struct AirportsDb {
    std::vector<AirportRecord> airports;  // sorted by code
    RtAirportIndex index;
    bool loaded = false;

    void reset();
};

AirportsDb& gf_airportsDb();

// Decrypts <inputFolder>/airports.enc, reads it, removes the plain airports.xml and
// returns whether the list is not empty. Reads only once per process: later calls
// answer at once. A missing or undecryptable file throws std::runtime_error
// ("{} not available", "{} stream decrypt failed"); a file that does not parse or lacks
// its root throws the user error 88.
bool gf_readAirports(const std::filesystem::path& inputFolder = "input");

// Start-up entry: gf_readAirports, throwing "reading airports failed!" when it gives
// an empty list.
void gf_readAirportsOnce(const std::filesystem::path& inputFolder = "input");

// The airport with exactly this code, or null.
const AirportRecord* gf_findAirport(std::string_view code);
const RtAirportIndex& gf_rtAirportIndex();
// Whether RealTraffic supports the airport (the caller upper-cases the code first).
bool gf_isRtAirport(std::string_view code);

// The airport at which a user standing at p is: the nearest within 5 nm, unless the
// one it displaced as nearest (its neighbour) has a stand nearer to p. Null for none.
const AirportRecord* gf_findClosestAirport(const LatLon& p);

}  // namespace wnd
