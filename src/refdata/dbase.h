// The aircraft and airline database (dbase.enc): known types, size categories, similar
// types, wingspans, airlines, cargo operators, publishers, type fixes and registrations.
// Filled once on the start-up thread by gf_readDbase before any reader starts; read-only
// afterwards, so any thread reads it without a lock.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/hash.h"

namespace wnd {

// Size category of a type; 0 is every type in none of the five lists.
enum TypeCategory : int {
    kLight = 0,
    kBuzjet = 1,
    kLarge = 2,
    kHeavy = 3,
    kHighPerf = 4,
    kRotorcraft = 5,
};
inline constexpr int kTypeCategoryCount = 6;
// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft".
std::string_view gf_typeCategoryName(TypeCategory c);

struct DbaseRecord {
    std::string reg;
    std::string airl;
    std::string type;
    std::string opr;
    bool cargo = false;
};

struct DbaseInfo {
    std::string airl;
    std::string type;
    std::string opr;
    bool cargo = false;
};

struct PublisherAirports {
    std::string pub;
    std::vector<std::string> arpts;
};

using CodeSet = std::set<std::string, std::less<>>;

// The process-wide tables. Written only by gf_readDbase (and reset by tests).
struct Dbase {
    CodeSet knownTypes;
    // Indexed by TypeCategory; the light entry stays empty.
    std::array<CodeSet, kTypeCategoryCount> categories;
    CodeSet cargoTypes;
    std::vector<std::vector<std::string>> similarGroups;
    std::map<std::string, double, std::less<>> halfWingspans;  // nautical miles
    double largestHalfWingspan = 0.0;
    std::array<double, kTypeCategoryCount> categoryHalfWingspans{};
    std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> fixes;
    CodeSet airlines;
    CodeSet cargoOperators;
    std::vector<std::vector<std::string>> publishers;
    CodeSet simAddonAirports;
    std::vector<PublisherAirports> publisherAirports;
    std::vector<DbaseRecord> registrations;  // sorted by reg, each reg once
    // Positions in `registrations` of the registrations shorter than 6 characters.
    std::vector<std::size_t> shortRegistrations;
    bool read = false;  // a complete read happened in this process

    void reset();
};

Dbase& gf_dbase();

// Reads one required list section into `target` (replacing it). Throws the user error 61
// "XML root missing: root", "Missing section: {}" or
// "In XML file section [{}], element [{}], attribute [{}] is empty.".
void gf_readXmlListSection(const pugi::xml_document& doc, const char* section, const char* element,
                           const char* attribute, CodeSet& target);

// Decrypts <inputFolder>/dbase.enc, reads it and removes the plain dbase.xml again, also
// on failure. Throws std::runtime_error "{} not available" or "{} stream decrypt failed"
// (the path of dbase.enc), the user error 61 for a missing or empty required section;
// returns false when the XML does not parse.
bool gf_readDbase(const std::filesystem::path& inputFolder = "input");

// Start-up entry: reads the database unless it was read earlier in this process.
// Throws "reading data files failed!" when the read returns false; the reader's own
// errors pass through with their texts.
void gf_readDataFilesOnce(const std::filesystem::path& inputFolder = "input");

// Lookups. Type codes, airline codes and registrations compare exactly.
TypeCategory gf_typeCategory(std::string_view type);
bool gf_isKnownType(std::string_view type);
bool gf_isKnownAirline(std::string_view code);
// Nautical miles: the type's own entry, else the mean of its category, else a typical
// value of the category when the database has no wingspan for any type of it.
double gf_halfWingspan(std::string_view type);
double gf_largestHalfWingspan();
// DAIPX -> DA-IPX, D-AIPX, DAIPX; registrations with '-', beginning with 'N' or shorter
// than 5 characters give only themselves.
std::vector<std::string> gf_registrationCandidates(std::string_view reg);
std::optional<DbaseInfo> gf_lookupRegistration(std::string_view reg);
std::string gf_airlineOfRegistration(std::string_view reg);
std::string gf_operatorOfRegistration(std::string_view reg);
// The first registration (in sorted order) shorter than 6 characters found in the text.
std::optional<std::string> gf_findRegistrationIn(std::string_view text);
// Publisher of a scenery path: "simaddon" for paths with "ORBX" in any case (the line
// "from filename => publisher simaddon" goes to scanLog when given), else the first name
// of the first publisher group with a name in the path (exact, then ignoring case).
std::string gf_publisherOfPath(std::string_view path,
                               const std::function<void(const std::string&)>& scanLog = {});

}  // namespace wnd
