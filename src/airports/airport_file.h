// Airport files: the stands of an airport with the flights seen parked there, by day and
// half hour. Reading one file, merging its learned companion, saving learned files, and
// the rules that find an airport's file and its learned file under the working folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/slots.h"

namespace wnd {

// One observed flight at a stand.
struct FlightRecord {
    std::string airline;
    std::string type;
    std::string registration;
    std::string callsign;  // may hold two callsigns, "A:B"
    std::string hours;     // the half hours as written ("3,5", "8:20")
    SlotBits bits;
    std::uint32_t standIndex = 0;
    int day = 1;  // 1 Monday .. 7 Sunday
    int ordinal = 1;
    bool soft = false;
    bool cpl = false;
    // Run-time marks: a record ruled out (never written), and one this run added or extended
    // (makes the learned file be saved).
    bool valid = true;
    bool updated = false;

    // The same flight: day, kind, registration, airline and type, and a shared half hour.
    bool sameFlightAs(const FlightRecord& o) const;
};

struct StandRecord {
    std::vector<FlightRecord> flights;
    std::string id;
    std::vector<std::uint32_t> neighbours;  // stand numbers
    double lat = 0.0;
    double lon = 0.0;
    double heading = 0.0;      // radians
    double radiusNm = 0.0;     // metres / 1852
    std::uint32_t number = 0;  // from 1, in file order
    bool ramp = false;
    bool heli = false;
    bool cargo = false;
    bool manual = false;
    bool radiusChange = false;
    bool cargoChange = false;
    bool takenByStatic = false;
    bool takenByLive = false;
};

// The airport settings a learned file carries.
struct AirportSettings {
    int range = 0;
    bool autoRange = false;
    bool week = false;
    bool parkSoft = false;
    int parkingPercentage = 30;
    bool initialLoadOnly = false;
    double maxFitHours = 24.0;
    int maxLiveSel = 500;
};

struct AirportFileData {
    std::string airportName;
    std::string publisher;
    double altitudeFt = 0.0;
    int rtTrafficWeek = 0;
    int qfReal = 0;
    int qfSoft = 0;
    bool handmade = false;
    std::string bglPath;
    std::vector<StandRecord> stands;
    std::optional<AirportSettings> settings;  // a learned file's own
};

// Reads one airport file. An error text (empty on success) for a file that cannot be
// loaded or is no airport file; user errors 93 and 94 (stand ids) and 65 (no altitude)
// are thrown as UserErrorException.
std::string gf_readAirportFile(const std::filesystem::path& path, AirportFileData& out);

// Merges a learned file into `data` (the archived file's stands). Returns false when the
// learned file could not be loaded (it is then kept aside as "*.0.xml").
bool lf_readLearned(const std::filesystem::path& learned, AirportFileData& data);

// Writes the stands and flights of `data` with the current airport settings as a learned
// file: one earlier generation kept, the new file written whole or not at all.
bool gf_saveLearned(const AirportFileData& data, const std::filesystem::path& path);

// Numbers the stands from 1 and works out their neighbours (radii overlapping by the 1.1
// rule).
void gf_numberStandsAndNeighbours(std::vector<StandRecord>& stands);

// Where an airport's file is: a user's file or link in airports/my_thirdparty or
// airports/my_ORBX, else the stock file "archive/stock/<code>.xml" when the airports
// database gives the airport stands; nothing otherwise.
std::optional<std::filesystem::path> gf_findAirportFile(std::string_view code);
// The learned file that belongs to an airport file; nothing for paths without one.
std::optional<std::filesystem::path> gf_learnedPathOf(const std::filesystem::path& file,
                                                      std::string_view publisher);
// Where the learned file of an airport is saved, by its file's publisher.
std::filesystem::path gf_learnedSavePath(std::string_view code, std::string_view publisher);

inline constexpr std::string_view kStockPrefix = "archive/stock/";

}  // namespace wnd
