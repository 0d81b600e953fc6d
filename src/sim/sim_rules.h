// The simulator link's decisions that need no connection: which simulator may connect,
// the simulation time, what the user aircraft's model means, the 0,0 position rule.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "simconnect/simconnect.h"

namespace wnd {

// Letters, digits and white space of the simulator's name (ASCII only: the name comes in
// the simulator's ANSI code page, whose other bytes are symbols such as the registered
// sign).
std::string gf_filterSimulatorName(std::string_view raw);

// "{name} ({}.{}.{}.{})" of the open message with the filtered name; user error 78 for the
// other simulator's names.
std::string gf_simulatorName(std::string_view filteredName, const std::array<DWORD, 4>& version);
// User error 78 unless the simulator is the configured Prepar3D: "v5" in its name with "v5"
// or "V5" in the install path or 5 as the stored major version; likewise for 6.
void gf_checkP3dVersion(std::string_view simulatorName, std::string_view installPath, int p3dMajor);

// Seconds since 1970 (UTC) of the simulator's zulu date and time; nothing when the values
// cannot be a date. Day 1 is 1 January.
std::optional<std::int64_t> gf_simulationTime(std::int64_t year, std::int64_t dayOfYear,
                                              std::int64_t secondsOfDay);

// A position that is still 0,0: no reply from the simulator yet.
inline bool gf_isNullPosition(double lat, double lon) {
    return (lat < 0.0001 && lat > -0.0001) && (lon < 0.0001 && lon > -0.0001);
}

// The user aircraft as its ATC MODEL and title tell it.
struct UserModelInfo {
    std::string model;            // the model used (E190 for a camera pod, deduced A32x)
    double halfWingspanNm = 0.0;  // the database's, or its largest when unknown
    int category = 0;             // TypeCategory
    bool noAircraft = false;      // a camera pod or the crew vessel
    bool spanUnknown = false;     // the largest half wingspan was taken
    bool deducedFromTitle = false;
};

// User error 71 for an empty model, 73 for any other failure. Reads the aircraft database.
UserModelInfo gf_resolveUserModel(std::string_view model, std::string_view title);

}  // namespace wnd
