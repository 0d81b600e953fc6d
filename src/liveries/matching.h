// Livery matching: the title of an installed livery for an aircraft, chosen from its
// registration, airline, type, size category and cargo flag by a ladder of steps:
//   0/1 registration code (0: a livery made for this registration alone)
//   2   airline and type (cargo falls back to passenger; the database's airline next)
//   3   airline and a similar type of the same size category          (MATCHING_DEPTH >= 3)
//   4   the generic airline "ZZZ" and the type (private flights "PVT" from depth 2 on)
//   5   any livery of the type                    (light, business jets, rotorcraft only)
//   6   any livery of a similar type, or of the category's generic models
// The indexes are built on the start-up thread before any traffic runs and are read-only
// afterwards; matching runs on the traffic worker. Hash maps keyed by text use FNV-1a.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery.h"
#include "refdata/dbase.h"

namespace wnd {

inline constexpr int kMatchSteps = 7;

// What the live engine or static parking knows of an aircraft, and what the matching
// writes back. Build one from the aircraft, call gf_matchLivery, take `title`.
struct MatchAircraft {
    std::string label;  // names the aircraft in log lines (its callsign)
    std::string airline;
    std::string type;
    std::string registration;
    TypeCategory category = kLight;
    bool cargo = false;
    // Results.
    std::string title;   // empty: no livery
    bool fsltl = false;  // the title contains "FSLTL_"
    int step = -1;       // the step that chose the title
};

using TitleList = std::vector<std::string>;

struct SimilarType {
    std::string type;
    TypeCategory category = kLight;
};

struct MatchingIndexes {
    // [0] passenger, [1] cargo.
    std::array<TextMap<TextMap<TitleList>>, 2> airline;  // airline -> type -> titles
    std::array<TextMap<TitleList>, 2> model;             // type -> titles
    TextMap<std::vector<SimilarType>> similar;           // type -> its similar types
    // Types of a category with "ZZZ" liveries (filled for light, business jets, rotorcraft).
    std::array<std::vector<std::string>, kTypeCategoryCount> genericModels;
    TextSet titles;  // every title of the catalogue

    void clear();
};

// The entry point of the live engine: fills title, fsltl and step, or leaves the title
// empty when no step finds an accepted livery. Never throws on data.
bool gf_matchLivery(MatchAircraft& ac);
// Static parking: a title the parked aircraft already has is kept (logged "=s="); else the
// ladder runs, and "no livery match" is logged when it finds nothing.
bool gf_matchLiveryForParked(MatchAircraft& ac);
// The simulator refused to create this title (AI-aircraft operations): never offered again.
void gf_addFailedLivery(std::string_view title);
bool gf_isFailedLivery(std::string_view title);

// The ladder and its parts.
bool lf_matchLivery(MatchAircraft& ac);
bool lf_lookupByAirline(MatchAircraft& ac, std::string_view airline, std::string_view type,
                        bool cargoIndex);
bool lf_lookupByAirlineWithFallback(MatchAircraft& ac, std::string_view airline,
                                    std::string_view type);
bool lf_lookupGeneric(MatchAircraft& ac, std::string_view type);
bool lf_acceptMatch(MatchAircraft& ac, int step);
bool lf_pickTitle(MatchAircraft& ac, const TitleList& candidates);

// Similar-type lists from the database's similar groups, with each type's category.
TextMap<std::vector<SimilarType>> gf_similarModelDefinitions();
// Builds the indexes from the catalogue (replacing them).
void lf_indexCatalogue(const LiveryCatalogue& catalogue);
// Liveries per category; switches off the traffic kinds nothing is installed for.
void lf_checkCategories(const LiveryCatalogue& catalogue);
// "live traffic livery matching summary": the matches per step, to the log and the
// summary file beside it.
void lf_logMatchingSummary();
void gf_resetMatchCounters();

}  // namespace wnd
