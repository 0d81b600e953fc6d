#include "airports/airports_db.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <pugixml.hpp>
#include <stdexcept>

#include "airports/closest_stand.h"
#include "refdata/encrypted_file.h"
#include "util/files.h"
#include "util/log.h"
#include "util/no_destructor.h"
#include "util/user_error.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

constexpr std::size_t kReservedAirports = 15000;
constexpr double kAtAirportNm = 5.0;
constexpr double kSearchStartNm = 100.0;
constexpr double kNmPerDegreeLatBelow = 59.9;  // a little under 60, against rounding

void lf_readAirport(const pugi::xml_node e, const std::string& code, AirportsDb& db) {
    try {
        const pugi::xml_attribute lat = e.attribute("lat");
        const pugi::xml_attribute lon = e.attribute("lon");
        if (!lat || !lon) {
            gf_logWarning("Missing latLons for airport '{}'", code);
            return;
        }
        const pugi::xml_attribute alt = e.attribute("alt");
        if (!alt) {
            gf_logWarning("Missing alt for airport '{}'", code);
            return;
        }
        const pugi::xml_attribute stands = e.attribute("stands");
        if (!stands) {
            gf_logWarning("Missing stands for airport '{}'", code);
        }
        const pugi::xml_attribute iata = e.attribute("iata");
        if (!iata) {
            gf_logWarning("Missing IATA for airport '{}'", code);
            return;
        }
        AirportRecord r{code,
                        iata.value(),
                        {lat.as_double(0.0), lon.as_double(0.0)},
                        alt.as_double(0.0),
                        stands.as_int(0)};
        db.index.emplace(r.code, r.position);
        db.airports.push_back(std::move(r));
    } catch (const std::exception& ex) {
        gf_logLine("Error parsing coordinates for airport '{}': {}", code, ex.what());
    }
}

void lf_loadList(const fs::path& xml, AirportsDb& db) {
    if (db.airports.capacity() < kReservedAirports) {
        db.airports.reserve(kReservedAirports);
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_file(xml.c_str(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) {
        throw std::runtime_error(gf_pathText(xml) + " not loaded: " + parsed.description());
    }
    const pugi::xml_node airports = doc.child("root").child("airports");
    if (!airports) {
        throw std::runtime_error("Missing <airports> root in: " + gf_pathText(xml));
    }
    for (const pugi::xml_node e : airports.children("airport")) {
        lf_readAirport(e, e.attribute("code").value(), db);
    }
    std::sort(db.airports.begin(), db.airports.end(),
              [](const AirportRecord& a, const AirportRecord& b) { return a.code < b.code; });
    gf_logLine("{} airports read", db.airports.size());
}

}  // namespace

void AirportsDb::reset() {
    *this = AirportsDb{};
}

AirportsDb& gf_airportsDb() {
    static NoDestructor<AirportsDb> db;
    return *db;
}

bool gf_readAirports(const fs::path& inputFolder) {
    AirportsDb& db = gf_airportsDb();
    if (db.loaded) {
        return !db.airports.empty();
    }
    const fs::path enc = inputFolder / "airports.enc";
    const fs::path xml = inputFolder / "airports.xml";
    try {
        std::error_code ec;
        if (!fs::exists(enc, ec)) {
            throw std::runtime_error(fmt::format("{} not available", gf_pathText(enc)));
        }
        if (!gf_streamDecrypt(enc, xml)) {
            throw std::runtime_error(fmt::format("{} stream decrypt failed", gf_pathText(enc)));
        }
    } catch (const std::exception& e) {
        gf_logWarning("{} exception : {}", "gf_readAirports", e.what());
        throw;
    }
    // Built aside and put in place whole: a failed read leaves no half list.
    AirportsDb fresh;
    try {
        const PlainFileGuard removePlain(xml);
        lf_loadList(xml, fresh);
    } catch (const std::exception& e) {
        throw UserErrorException(88, e.what());
    }
    fresh.airports.shrink_to_fit();
    fresh.loaded = true;
    db = std::move(fresh);
    return !db.airports.empty();
}

void gf_readAirportsOnce(const fs::path& inputFolder) {
    if (!gf_readAirports(inputFolder)) {
        throw std::runtime_error("reading airports failed!");
    }
}

const AirportRecord* gf_findAirport(std::string_view code) {
    const auto& list = gf_airportsDb().airports;
    // The list is sorted by code, so this finds what a walk from the front would find.
    const auto it =
        std::lower_bound(list.begin(), list.end(), code,
                         [](const AirportRecord& r, std::string_view key) { return r.code < key; });
    return it != list.end() && it->code == code ? &*it : nullptr;
}

const RtAirportIndex& gf_rtAirportIndex() {
    return gf_airportsDb().index;
}

bool gf_isRtAirport(std::string_view code) {
    const RtAirportIndex& index = gf_airportsDb().index;
    return index.find(code) != index.end();
}

const AirportRecord* gf_findClosestAirport(const LatLon& p) {
    const AirportRecord* closest = nullptr;
    const AirportRecord* neighbour = nullptr;
    double best = kSearchStartNm;
    for (const AirportRecord& a : gf_airportsDb().airports) {
        // A great circle is never shorter than its difference of latitude (60 nm a degree):
        // most airports are ruled out without the trigonometry.
        if (std::abs(a.position.lat - p.lat) * kNmPerDegreeLatBelow > kAtAirportNm) {
            continue;
        }
        const double d = gf_distanceNm(p, a.position);
        if (d <= kAtAirportNm && d < best) {
            if (closest != nullptr) {
                neighbour = closest;
            }
            closest = &a;
            best = d;
        }
    }
    if (closest == nullptr || neighbour == nullptr) {
        return closest;
    }
    gf_logLine("Airport {} is closest, neighbour is {}", closest->code, neighbour->code);
    std::string closestStand;
    std::string neighbourStand;
    const double closestNm = gf_readDestApfForClosestStand(closest->code, p, closestStand);
    const double neighbourNm = gf_readDestApfForClosestStand(neighbour->code, p, neighbourStand);
    if (neighbourNm < closestNm) {
        gf_logLine(
            "Airport {} is closest, but stand {} at neighbouring airport {} is closer at "
            "{:.0F} meters ...",
            closest->code, neighbourStand, neighbour->code, neighbourNm * kMetresPerNm);
        return neighbour;
    }
    return closest;
}

}  // namespace wnd
