// The add-on airport scan: walks the user's add-on scenery folders, reads every BGL file
// with an airport section in a task of its own (at most as many at once as the machine has
// hardware threads), links or generates airport files, writes AirportsScanLog.txt and packs
// the generated files of airports unknown to the delivered set into tblo/tblo.zip.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/airport_files.h"

namespace wnd {

// The maker's address that the user is asked to mail tblo.zip to.
inline constexpr std::string_view kSupportAddress = "support@wendle.example";

struct AirportScanOptions {
    // (setting name, folder) of the non-empty add-on folder settings, in order.
    std::vector<std::pair<std::string, std::string>> folders;
    // The simulator's stock scenery folder; empty when no install folder is known.
    std::filesystem::path stockScenery;
    std::filesystem::path base;  // the working folder; empty: the current folder
    std::shared_ptr<const DeliveredAirports> delivered;
    std::function<bool(std::string_view)> isRtAirport;   // the ident check
    std::function<bool(std::string_view)> inAirportsDb;  // which generated files are packed
};

// Steps of the scan driver. Returns false when no folder was set (the user is told to set
// one; nothing is emptied). Throws the user error 42 for a folder inside the stock
// scenery folder.
bool gf_runAirportScan(const AirportScanOptions& options);

// Start-up's entry: the options from the settings and the process-wide databases; after a
// scan SCAN_AIRPORTS is cleared and saved.
void gf_scanAddonAirports();

// Whether `folder` lies below `stock` (not the folder itself), without regard to case.
bool gf_isInsideFolder(const std::filesystem::path& folder, const std::filesystem::path& stock);
bool gf_isSameFolder(const std::filesystem::path& a, const std::filesystem::path& b);

// Copies the generated files of airports of the database from airports/my_thirdparty into
// tblo (dropping their link files) and zips tblo into tblo/tblo.zip; the window then asks
// the user to mail it.
void gf_packUnknownAirports(const std::filesystem::path& base,
                            const std::function<bool(std::string_view)>& inAirportsDb);
// Zips the regular files of `source` (by name) into the new archive `target`.
bool gf_zipFolder(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace wnd
