#include "liveries/liveries_state.h"

#include "util/no_destructor.h"

namespace wnd {

std::filesystem::path LiveryPaths::report(LiveryReport r) const {
    switch (r) {
        case LiveryReport::NoFltsimSection:
            return info() / "AircraftCfgWithNoFltsimSection.txt";
        case LiveryReport::RegistrationConversions:
            return info() / "RegistrationCodeConversions.txt";
        case LiveryReport::AirlineModelConversions:
            return info() / "AirlineModelConversions.txt";
        case LiveryReport::MultRegcodes:
            return info() / "MyMultRegcodes.txt";
        case LiveryReport::OfflineRegcodes:
            return info() / "OfflineRegcodes.txt";
        case LiveryReport::InlineRegcodes:
            return errors() / "InlineRegcodes.txt";
        case LiveryReport::InvalidAirlineCodes:
            return errors() / "InvalidAirlineCodes.txt";
        case LiveryReport::InvalidAircraftCodes:
            return errors() / "InvalidAircraftCodes.txt";
        case LiveryReport::Fixes:
            return errors() / "Fixes.txt";
        case LiveryReport::InvalidAircraftCfgFiles:
            return errors() / "InvalidAircraftCfgFiles.txt";
        case LiveryReport::IncompleteFltsimSections:
            return errors() / "IncompleFltsimSections.txt";
    }
    return {};
}

void RegcodeTables::clear() {
    index.clear();
    uniqueRegistrations.clear();
    specialRegistrations.clear();
    specialLiveries.clear();
    dontUseTitles.clear();
    reportLines.clear();
}

void MatchingIndexes::clear() {
    for (auto& m : airline) {
        m.clear();
    }
    for (auto& m : model) {
        m.clear();
    }
    similar.clear();
    for (auto& l : genericModels) {
        l.clear();
    }
    titles.clear();
}

void LiveriesState::addFailedTitle(std::string_view title) {
    MutexLock lock(failedMu_);
    failedTitles_.emplace(title);
}

bool LiveriesState::isFailedTitle(std::string_view title) const {
    MutexLock lock(failedMu_);
    return failedTitles_.find(title) != failedTitles_.end();
}

std::size_t LiveriesState::failedTitleCount() const {
    MutexLock lock(failedMu_);
    return failedTitles_.size();
}

void LiveriesState::clearFailedTitles() {
    MutexLock lock(failedMu_);
    failedTitles_.clear();
}

void LiveriesState::reset() {
    catalogue.clear();
    scanFound = 0;
    processed = false;
    scannedSinceProcessing = false;
    regcodes.clear();
    indexes.clear();
    for (auto& c : matchCounts) {
        c.store(0);
    }
    MutexLock lock(failedMu_);
    failedTitles_.clear();
}

LiveriesState& gf_liveries() {
    static NoDestructor<LiveriesState> state;
    return *state;
}

}  // namespace wnd
