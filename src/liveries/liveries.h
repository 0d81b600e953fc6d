// The entry points the run frame calls (app/duties.cpp). Matching itself: matching.h.
#pragma once

#include <filesystem>

namespace wnd {

// Start-up, when SCAN_LIVERIES is set: the livery scan. Throws the user errors "no lfolder
// set" (48) and "no liveries found" (53); on success SCAN_LIVERIES is switched off.
void gf_scanLiveries();

// Start-up, on every run: reads output/LiveriesScanned.xml, adds the registration
// codes (in-line, shipped, the user's) and builds the matching indexes. Done once per
// process; again only after a new scan in this process.
void gf_processScannedLiveries();

// Closing down (and the daily duty): the matching summary to the log and to
// LiveryMatchingSummary.txt; with emptyTable the counters start again from zero.
void gf_writeMatchingSummary(bool emptyTable);

// Run reset: counters and the titles the simulator refused start afresh; the catalogue
// and its indexes stay (they are built once per process).
void gf_resetLiveryRunState();

// Tests: the working folder the subsystem's files hang from (default: the current folder).
void gf_setLiveryWorkFolder(const std::filesystem::path& work);

}  // namespace wnd
