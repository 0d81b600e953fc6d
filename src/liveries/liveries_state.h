// The subsystem's process-wide state: the catalogue, the registration codes, the
// matching indexes and counters.
//
// Threads: the catalogue, the regcode tables and the indexes are written on the start-up
// thread only (scan and processing), before the traffic worker starts, and only read by
// the worker afterwards (the start-up thread becomes the worker). Scan tasks never touch
// this object: they hand their findings back through their futures. The set of titles the
// simulator failed to create may be added to from the simulator link and is guarded; the
// match counters are atomics.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <filesystem>

#include "liveries/livery.h"
#include "liveries/matching.h"
#include "liveries/regcodes.h"
#include "util/mutex.h"

namespace wnd {

class LiveriesState {
  public:
    LiveryPaths paths;
    LiveryCatalogue catalogue;
    std::size_t scanFound = 0;  // liveries the last scan wrote to the catalogue file
    bool processed = false;     // the catalogue was read and indexed in this process
    bool scannedSinceProcessing = false;
    RegcodeTables regcodes;
    MatchingIndexes indexes;
    std::array<std::atomic<int>, kMatchSteps> matchCounts{};

    void addFailedTitle(std::string_view title);
    bool isFailedTitle(std::string_view title) const;
    std::size_t failedTitleCount() const;
    void clearFailedTitles();

    // Everything back to the state of a fresh process (tests); keeps `paths`.
    void reset();

  private:
    mutable Mutex failedMu_;
    TextSet failedTitles_ GUARDED_BY(failedMu_);
};

LiveriesState& gf_liveries();

}  // namespace wnd
