// The installed liveries: one record per usable [fltsim.N] section, the catalogue of them
// and the files the scan and the registration codes write.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "util/hash.h"

namespace wnd {

inline constexpr int kLiveryFolderCount = 10;

struct Livery {
    std::string title;  // unique within the catalogue
    std::string type;   // a known type code
    std::string airl;   // airline ICAO code, "PVT" or "ZZZ" for private and generic ones
    std::string atcid;  // registration, upper-case, may be empty
    bool cargo = false;
    // Not written to the catalogue file.
    int folderIndex = 0;
    std::filesystem::path cfgPath;
};

using LiveryCatalogue = std::vector<Livery>;

template <typename V>
using TextMap = std::unordered_map<std::string, V, TextHash, std::equal_to<>>;
using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;

// The information and error lists of the scan and the registration codes.
enum class LiveryReport : int {
    NoFltsimSection = 0,       // info/AircraftCfgWithNoFltsimSection.txt
    RegistrationConversions,   // info/RegistrationCodeConversions.txt
    AirlineModelConversions,   // info/AirlineModelConversions.txt
    MultRegcodes,              // info/MyMultRegcodes.txt
    OfflineRegcodes,           // info/OfflineRegcodes.txt
    InlineRegcodes,            // errors/InlineRegcodes.txt
    InvalidAirlineCodes,       // errors/InvalidAirlineCodes.txt
    InvalidAircraftCodes,      // errors/InvalidAircraftCodes.txt
    Fixes,                     // errors/Fixes.txt
    InvalidAircraftCfgFiles,   // errors/InvalidAircraftCfgFiles.txt
    IncompleteFltsimSections,  // errors/IncompleFltsimSections.txt
};
inline constexpr std::size_t kLiveryReportCount = 11;

// Where the subsystem's files lie, below the program's working folder.
struct LiveryPaths {
    std::filesystem::path work;  // empty: the current folder

    std::filesystem::path input() const { return work / "input"; }
    std::filesystem::path myRegcodes() const { return input() / "my_regcodes"; }
    std::filesystem::path regcodesEnc() const { return input() / "AIG-regcodes.enc"; }
    std::filesystem::path regcodesXml() const { return input() / "AIG-regcodes.xml"; }
    std::filesystem::path output() const { return work / "output"; }
    std::filesystem::path info() const { return output() / "info"; }
    std::filesystem::path errors() const { return output() / "errors"; }
    std::filesystem::path catalogue() const { return output() / "LiveriesScanned.xml"; }
    std::filesystem::path report(LiveryReport r) const;
    // The matching summary, beside the log.
    std::filesystem::path matchingSummary() const { return work / "LiveryMatchingSummary.txt"; }
};

}  // namespace wnd
