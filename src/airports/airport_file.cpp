#include "airports/airport_file.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <pugixml.hpp>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "airports/airports_db.h"
#include "settings/settings.h"
#include "util/charset.h"
#include "util/files.h"
#include "util/geodesy.h"
#include "util/log.h"
#include "util/strings.h"
#include "util/user_error.h"
#include "util/version.h"
#include "util/xml.h"

namespace wnd {

namespace fs = std::filesystem;

namespace {

const Version kFirstLearnedVersion{11, 10, 0};

std::string lf_param(const pugi::xml_node& params, const char* name, bool* found = nullptr) {
    for (const pugi::xml_node p : params.children("parameter")) {
        if (std::string_view(p.attribute("name").as_string()) == name) {
            if (found != nullptr) {
                *found = true;
            }
            return p.attribute("value").as_string();
        }
    }
    if (found != nullptr) {
        *found = false;
    }
    return {};
}

int lf_int(const std::string& text, int fallback = 0) {
    try {
        return text.empty() ? fallback : std::stoi(text);
    } catch (const std::exception&) {
        return fallback;
    }
}

double lf_double(const std::string& text, double fallback = 0.0) {
    try {
        return text.empty() ? fallback : std::stod(text);
    } catch (const std::exception&) {
        return fallback;
    }
}

bool lf_bool(const std::string& text) {
    return text == "true" || text == "1";
}

// One "parkpos" with its "opt" children; false for a stand at 0,0.
bool lf_readStand(const pugi::xml_node& pp, StandRecord& s) {
    s.id = pp.attribute("id").as_string();
    s.lat = pp.attribute("latitude").as_double();
    s.lon = pp.attribute("longitude").as_double();
    if (s.lat == 0.0 && s.lon == 0.0) {
        return false;
    }
    if (!std::isfinite(s.lat) || !std::isfinite(s.lon) || std::abs(s.lat) > 90.0 ||
        std::abs(s.lon) > 180.0) {
        gf_logLine("stand {}: position {},{} out of range, skipped", s.id,
                   pp.attribute("latitude").as_string(), pp.attribute("longitude").as_string());
        return false;
    }
    const double heading = pp.attribute("heading").as_double();
    s.heading = std::isfinite(heading) ? heading * kDeg2Rad : 0.0;
    const double radius = pp.attribute("radius").as_double();
    s.radiusNm = std::isfinite(radius) && radius > 0.0 ? radius / kMetresPerNm : 0.0;
    s.ramp = pp.attribute("ramp").as_bool();
    s.heli = pp.attribute("heli").as_bool();
    s.cargo = pp.attribute("cargo").as_bool();
    s.manual = pp.attribute("manual").as_bool();
    s.radiusChange = pp.attribute("radius_change").as_bool();
    s.cargoChange = pp.attribute("cargo_change").as_bool();
    for (const pugi::xml_node o : pp.children("opt")) {
        FlightRecord f;
        f.airline = o.attribute("airl").as_string();
        f.type = o.attribute("type").as_string();
        f.registration = o.attribute("reg").as_string();
        f.callsign = o.attribute("cs").as_string();
        f.hours = o.attribute("hh").as_string();
        f.day = static_cast<int>(o.attribute("day").as_uint());
        f.soft = o.attribute("soft").as_bool();
        f.cpl = o.attribute("cpl").as_bool();
        if (f.hours.empty() || f.day < 1 || f.day > 7) {
            continue;
        }
        f.bits = gf_hours2bitset(f.hours);
        s.flights.push_back(std::move(f));
    }
    return true;
}

// The stands of a document, with the checks of their ids.
std::vector<StandRecord> lf_readStands(const pugi::xml_node& root) {
    std::vector<StandRecord> stands;
    std::unordered_set<std::string> ids;
    ids.reserve(512);
    int position = 0;
    for (const pugi::xml_node pp : root.child("parkpositions").children("parkpos")) {
        ++position;
        const pugi::xml_attribute id = pp.attribute("id");
        if (!id) {
            throw UserErrorException(
                93, fmt::format("Parking position #{} has no '{}' attribute.", position, "id"));
        }
        if (std::string_view(id.as_string()).empty()) {
            throw UserErrorException(
                93, fmt::format("Parking position #{} has empty '{}' attribute.", position, "id"));
        }
        if (!ids.insert(id.as_string()).second) {
            throw UserErrorException(
                94, fmt::format("Parking position '{}' appears more than once.", id.as_string()));
        }
        StandRecord s;
        if (lf_readStand(pp, s)) {
            stands.push_back(std::move(s));
        }
    }
    return stands;
}

AirportSettings lf_readSettings(const pugi::xml_node& params) {
    const Settings& g = gs();
    AirportSettings a;
    bool found = false;
    a.range = lf_int(lf_param(params, "RANGE"), g.RANGE.value());
    const std::string autoRange = lf_param(params, "AUTO_RANGE", &found);
    a.autoRange = found ? lf_bool(autoRange) : g.AUTO_RANGE.value();
    const std::string week = lf_param(params, "WEEK", &found);
    a.week = found ? lf_bool(week) : g.WEEK.value();
    const std::string soft = lf_param(params, "PARK_SOFT", &found);
    a.parkSoft = found ? lf_bool(soft) : g.PARK_SOFT.value();
    a.parkingPercentage =
        lf_int(lf_param(params, "parking_percentage"), g.parking_percentage.value());
    const std::string initial = lf_param(params, "INITIAL_LOAD_ONLY", &found);
    a.initialLoadOnly = found ? lf_bool(initial) : g.INITIAL_LOAD_ONLY.value();
    a.maxFitHours = lf_double(lf_param(params, "MAX_FIT"), 24.0);
    a.maxLiveSel = lf_int(lf_param(params, "MAX_LIVE_SEL"), g.MAX_LIVE_SEL.value());
    return a;
}

std::string lf_slashes(const fs::path& p) {
    std::string s = gf_pathText(p);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

}  // namespace

bool FlightRecord::sameFlightAs(const FlightRecord& o) const {
    return day == o.day && soft == o.soft && registration == o.registration &&
           airline == o.airline && type == o.type && (bits & o.bits).any();
}

std::string gf_readAirportFile(const fs::path& path, AirportFileData& out) {
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_file(path.c_str());
    if (!r) {
        return fmt::format("{}: could not load file: {}", gf_pathText(path), r.description());
    }
    const pugi::xml_node root = doc.child("root");
    const pugi::xml_node params = root.child("parameters");
    if (!root || !params) {
        return fmt::format("{}: refused to load", gf_pathText(path));
    }
    out.rtTrafficWeek = lf_int(lf_param(params, "RT_traffic_week"));
    out.publisher = lf_param(params, "publisher");
    bool found = false;
    const std::string altitude = lf_param(params, "altitude", &found);
    if (!found) {
        throw UserErrorException(65, std::string("Parameter ") + "altitude" + " not found");
    }
    out.altitudeFt = lf_double(altitude);
    out.airportName = lf_param(params, "airport_name");
    out.qfReal = lf_int(lf_param(params, "Qf_real"));
    out.qfSoft = lf_int(lf_param(params, "Qf_soft"));
    lf_param(params, "handmade", &found);
    out.handmade = found;
    out.bglPath = lf_param(params, "BGLpath");
    out.stands = lf_readStands(root);
    return {};
}

bool lf_readLearned(const fs::path& learned, AirportFileData& data) {
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_file(learned.c_str());
    const pugi::xml_node root = doc.child("root");
    const pugi::xml_node params = root.child("parameters");
    if (!r || !root || !params) {
        fs::path aside = learned;
        aside.replace_extension(".0.xml");
        std::error_code ec;
        fs::rename(learned, aside, ec);
        gf_logLine("{} found, but could not be loaded, saved as *.0.xml: {}", gf_pathText(learned),
                   r ? "no airport file" : r.description());
        return false;
    }
    gf_logLine("Read from learned airport file: '{}'", gf_pathText(learned));
    bool handmade = false;
    lf_param(params, "handmade", &handmade);
    bool old = true;
    try {
        old = gf_parseVersion(root.child("meta").attribute("version").as_string()) <
              kFirstLearnedVersion;
    } catch (const std::exception&) {
        old = true;
    }
    const std::string name = lf_param(params, "airport_name");
    if (name != data.airportName) {
        gf_logLine(
            "Warning: learned file airport name: '{}' differs from archived file airport name: "
            "'{}'",
            name, data.airportName);
    }
    data.settings = lf_readSettings(params);
    const int halfHours = static_cast<int>(std::lround(data.settings->maxFitHours * 2.0));
    gf_logLine("{:24}: {} (max number of half hours, is {:.1F} hrs decimal)", "MAX_FIT", halfHours,
               halfHours / 2.0);
    std::vector<StandRecord> learnedStands = lf_readStands(root);
    if (old) {
        gf_logLine(
            "\nThis learned file was created with and older Wendle version than 11.10.0,\nAll "
            "flights will be cleared, except for a handmade file\n");
        if (!handmade) {
            for (StandRecord& s : learnedStands) {
                s.flights.clear();
            }
        }
    }
    if (handmade) {
        gf_logLine("{:24}: {}", "handmade", gf_pathText(learned));
        gf_logLine("A handmade airport file overruled the archived file!");
        data.stands = std::move(learnedStands);
        data.handmade = true;
        return true;
    }
    const std::string file = gf_pathText(learned.filename());
    std::unordered_map<std::string, std::size_t> byId;
    byId.reserve(data.stands.size() * 2);
    for (std::size_t i = 0; i < data.stands.size(); ++i) {
        byId.emplace(data.stands[i].id, i);
    }
    for (StandRecord& ls : learnedStands) {
        const auto found = byId.find(ls.id);
        const auto it = found == byId.end()
                            ? data.stands.end()
                            : data.stands.begin() + static_cast<std::ptrdiff_t>(found->second);
        if (ls.manual) {
            if (it != data.stands.end()) {
                gf_logLine("manually created standid {} already exists in {}", ls.id, file);
            } else if (ls.radiusNm <= 0.0) {
                gf_logLine("manually created standid {} misses correct attributes in {}", ls.id,
                           file);
            } else {
                byId.emplace(ls.id, data.stands.size());
                data.stands.push_back(std::move(ls));
            }
            continue;
        }
        if (it == data.stands.end()) {
            gf_logLine("learned stand {} in {} not found?", ls.id, file);
            continue;
        }
        if (ls.radiusChange) {
            it->radiusNm = ls.radiusNm;
            it->radiusChange = true;
        }
        if (ls.cargoChange) {
            it->cargo = ls.cargo;
            it->cargoChange = true;
        }
        for (FlightRecord& f : ls.flights) {
            if (f.bits.none()) {
                gf_logLine("empty bit set");
                continue;
            }
            const bool known =
                std::any_of(it->flights.begin(), it->flights.end(),
                            [&](const FlightRecord& g) { return g.sameFlightAs(f); });
            if (!known) {
                it->flights.push_back(std::move(f));
            }
        }
    }
    return true;
}

void gf_numberStandsAndNeighbours(std::vector<StandRecord>& stands) {
    for (std::size_t i = 0; i < stands.size(); ++i) {
        StandRecord& s = stands[i];
        s.number = static_cast<std::uint32_t>(i + 1);
        s.neighbours.clear();
        s.neighbours.reserve(8);
        int ordinal = 0;
        for (FlightRecord& f : s.flights) {
            f.standIndex = static_cast<std::uint32_t>(i);
            f.ordinal = ++ordinal;
        }
    }
    for (std::size_t i = 0; i < stands.size(); ++i) {
        for (std::size_t j = 0; j < stands.size(); ++j) {
            if (i == j) {
                continue;
            }
            // A degree of latitude is 60 nm: most pairs are too far apart to need the
            // great-circle distance.
            const double reach = (stands[i].radiusNm + stands[j].radiusNm) / 1.1;
            if (std::abs(stands[i].lat - stands[j].lat) * 60.0 >= reach) {
                continue;
            }
            const double d =
                gf_distanceNm({stands[i].lat, stands[i].lon}, {stands[j].lat, stands[j].lon});
            if (stands[i].radiusNm + stands[j].radiusNm > 1.1 * d) {
                stands[i].neighbours.push_back(stands[j].number);
            }
        }
    }
}

bool gf_saveLearned(const AirportFileData& data, const fs::path& path) {
    const Settings& g = gs();
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("root");
    root.append_child("meta").append_attribute("version").set_value(
        gf_programVersion().text().c_str());
    pugi::xml_node params = root.append_child("parameters");
    auto param = [&](const char* name, const std::string& value) {
        pugi::xml_node p = params.append_child("parameter");
        p.append_attribute("name").set_value(name);
        p.append_attribute("value").set_value(value.c_str());
    };
    param("airport_name", data.airportName);
    param("publisher", data.publisher);
    if (data.handmade) {
        param("handmade", "true");
    }
    param("altitude", fmt::format("{}", data.altitudeFt));
    param("num_parkpos", fmt::format("{}", data.stands.size()));
    param("RT_traffic_week", fmt::format("{}", data.rtTrafficWeek));
    param("Qf_real", fmt::format("{}", data.qfReal));
    param("Qf_soft", fmt::format("{}", data.qfSoft));
    if (!data.bglPath.empty()) {
        param("BGLpath", data.bglPath);
    }
    param("RANGE", fmt::format("{}", g.RANGE.value()));
    param("AUTO_RANGE", fmt::format("{}", g.AUTO_RANGE.value()));
    param("WEEK", fmt::format("{}", g.WEEK.value()));
    param("PARK_SOFT", fmt::format("{}", g.PARK_SOFT.value()));
    param("parking_percentage", fmt::format("{}", g.parking_percentage.value()));
    param("INITIAL_LOAD_ONLY", fmt::format("{}", g.INITIAL_LOAD_ONLY.value()));
    param("MAX_FIT", fmt::format("{}", g.MAX_FIT_FL.value()));
    param("MAX_LIVE_SEL", fmt::format("{}", g.MAX_LIVE_SEL.value()));
    pugi::xml_node pps = root.append_child("parkpositions");
    for (const StandRecord& s : data.stands) {
        pugi::xml_node pp = pps.append_child("parkpos");
        pp.append_attribute("id").set_value(s.id.c_str());
        if (s.radiusChange) {
            pp.append_attribute("radius_change").set_value(true);
        }
        if (s.cargoChange) {
            pp.append_attribute("cargo_change").set_value(true);
        }
        pp.append_attribute("latitude").set_value(fmt::format("{:.6f}", s.lat).c_str());
        pp.append_attribute("longitude").set_value(fmt::format("{:.6f}", s.lon).c_str());
        pp.append_attribute("heading").set_value(
            fmt::format("{:.1f}", s.heading * kRad2Deg).c_str());
        pp.append_attribute("radius").set_value(
            fmt::format("{:.1f}", s.radiusNm * kMetresPerNm).c_str());
        for (const auto& [flag, name] :
             {std::pair{s.heli, "heli"}, std::pair{s.cargo, "cargo"}, std::pair{s.ramp, "ramp"},
              std::pair{s.manual, "manual"}}) {
            if (flag) {
                pp.append_attribute(name).set_value(true);
            }
        }
        for (const FlightRecord& f : s.flights) {
            if (!f.valid) {
                continue;
            }
            const std::optional<std::string> hours = gf_bitset2hours(f.bits);
            if (!hours) {
                gf_logLine("bit set problem: {} {} {}", s.id, f.callsign, f.bits.to_string());
                continue;
            }
            pugi::xml_node o = pp.append_child("opt");
            o.append_attribute("reg").set_value(f.registration.c_str());
            o.append_attribute("airl").set_value(f.airline.c_str());
            o.append_attribute("type").set_value(f.type.c_str());
            if (f.soft) {
                o.append_attribute("soft").set_value(true);
            }
            o.append_attribute("day").set_value(f.day);
            o.append_attribute("hh").set_value(hours->c_str());
            o.append_attribute("cs").set_value(f.callsign.c_str());
            if (f.cpl) {
                o.append_attribute("cpl").set_value(true);
            }
        }
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (fs::exists(path, ec)) {
        gf_save1GenerationOf(path);
    }
    return gf_saveXmlDocument(doc, path);
}

std::optional<fs::path> gf_findAirportFile(std::string_view code) {
    const std::string c(code);
    for (const char* folder : {"airports/my_thirdparty", "airports/my_ORBX"}) {
        const fs::path link = fs::path(folder) / (c + ".txt");
        std::error_code ec;
        if (fs::is_regular_file(link, ec)) {
            const ReadLinesResult lines = gf_readLines(link);
            if (lines.ok && !lines.lines.empty()) {
                const std::string first = gf_trim(lines.lines.front());
                if (first.size() > 4 && gf_toUpper(first.substr(first.size() - 4)) == ".XML") {
                    return gf_textPath(first);
                }
            }
        }
        const fs::path xml = fs::path(folder) / (c + ".xml");
        if (fs::is_regular_file(xml, ec)) {
            return xml;
        }
    }
    const AirportRecord* a = gf_findAirport(code);
    if (a != nullptr && a->stands > 0) {
        return fs::path(std::string(kStockPrefix) + c + ".xml");
    }
    return std::nullopt;
}

std::optional<fs::path> gf_learnedPathOf(const fs::path& file, std::string_view publisher) {
    const std::string p = lf_slashes(file);
    if (gf_toUpper(file.extension().string()) != ".XML") {
        return std::nullopt;
    }
    const std::string name = gf_pathText(file.filename());
    if (p.rfind(kStockPrefix, 0) == 0) {
        // A stock file is fetched, not kept: its learned file sits where the saving puts it.
        return fs::path("airports/learned/stock") / name;
    }
    if (const auto at = p.find("archive/thirdparty/"); at != std::string::npos) {
        const std::string rest = p.substr(at + 19);
        const std::string folder = rest.substr(0, rest.find('/'));
        std::string pub;  // "%20" in a folder name stands for a blank
        for (std::size_t i = 0; i < folder.size(); ++i) {
            if (folder.compare(i, 3, "%20") == 0) {
                pub.push_back(' ');
                i += 2;
            } else {
                pub.push_back(folder[i]);
            }
        }
        return fs::path("airports/learned/thirdparty") / gf_textPath(pub) / name;
    }
    if (p.rfind("airports/my_thirdparty2024/", 0) == 0 ||
        p.rfind("airports/my_thirdparty/", 0) == 0) {
        return fs::path("airports/learned/thirdparty") / gf_textPath(publisher) / name;
    }
    if (p.rfind("airports/", 0) == 0) {
        return gf_textPath("airports/learned/" + p.substr(9));
    }
    return std::nullopt;
}

fs::path gf_learnedSavePath(std::string_view code, std::string_view publisher) {
    const std::string name = std::string(code) + ".xml";
    if (publisher == "stock" || publisher == "simaddon") {
        return fs::path("airports/learned") / std::string(publisher) / name;
    }
    return fs::path("airports/learned/thirdparty") / gf_textPath(publisher) / name;
}

}  // namespace wnd
