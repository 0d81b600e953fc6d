// The livery scan: walks the lfolder0..9 folders, reads every aircraft.cfg and sim.cfg
// below them (one task per file, run by as many worker threads as the machine has hardware
// threads) and writes output/LiveriesScanned.xml with the information and error lists in
// output/info and output/errors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "liveries/livery.h"

namespace wnd {

struct FoundLivery {
    Livery livery;
    std::string duplicateMessage;  // logged when the title is already in the catalogue
};

// What one file task found; the walker merges it in walk order, so the catalogue and the
// lists come out the same on every scan of the same folders.
struct FileFindings {
    std::vector<FoundLivery> liveries;
    std::array<std::vector<std::string>, kLiveryReportCount> reports;
    std::vector<std::string> log;

    void report(LiveryReport r, std::string line) {
        reports[static_cast<std::size_t>(r)].push_back(std::move(line));
    }
    // A line for the log and for one of the lists.
    void logAndReport(LiveryReport r, const std::string& line) {
        log.push_back(line);
        report(r, line);
    }
};

// One scan from its start to its summary.
struct ScanSession {
    std::shared_ptr<const TextSet> dontUseTitles;
    TextSet titles;  // titles in the catalogue so far
    std::array<std::vector<std::string>, kLiveryReportCount> reports;
    std::size_t registrationUpdates = 0;
    unsigned taskLimit = 2;

    std::size_t count(LiveryReport r) const { return reports[static_cast<std::size_t>(r)].size(); }
};

// Files larger than this are no aircraft configuration; they are listed, never read.
inline constexpr std::uintmax_t kMaxCfgFileBytes = 16U * 1024U * 1024U;

// The scan driver (start-up, when SCAN_LIVERIES is set). Throws the user errors "no lfolder
// set" (48) and "no liveries found" (53).
void lf_scanLiveries();
// The folders lfolder0..9 by index (empty ones skipped); false when the program began to
// close down before the scan could end. Leaves the count written in gf_liveries().scanFound.
// With LIG_PRIORITIZE a livery whose airline and model a lower-numbered folder already has
// is left out of the catalogue.
bool lf_scanLiveryFolders(const std::array<std::string, kLiveryFolderCount>& folders);
// Walks one folder; returns the number of liveries it added to the catalogue.
std::size_t lf_scanLiveryFolder(int index, const std::filesystem::path& folder,
                                ScanSession& session);

// The per-file tasks.
FileFindings lf_searchLiveriesinFile(int folderIndex, const std::filesystem::path& file,
                                     const TextSet& dontUseTitles);
FileFindings lf_searchLiveriesinIVAOFile(int folderIndex, const std::filesystem::path& file,
                                         const TextSet& dontUseTitles);

// The catalogue file. Writing an empty catalogue writes nothing and returns false.
bool lf_writeLiveriesScanned(const LiveryCatalogue& catalogue, const std::filesystem::path& path);
LiveryCatalogue lf_readLiveriesScanned(const std::filesystem::path& path);

}  // namespace wnd
