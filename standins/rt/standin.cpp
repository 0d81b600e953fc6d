#include "standins/rt/standin.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "util/files.h"

namespace wnd::rtstandin {

namespace {

using nlohmann::json;

std::optional<double> lf_optNumber(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) {
        return std::nullopt;
    }
    if (!it->is_number()) {
        throw std::runtime_error(fmt::format("member \"{}\" is not a number", key));
    }
    return it->get<double>();
}

std::string lf_optText(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) {
        return {};
    }
    if (!it->is_string()) {
        throw std::runtime_error(fmt::format("member \"{}\" is not a text", key));
    }
    return it->get<std::string>();
}

double lf_number(const json& j, const char* key) {
    const auto v = lf_optNumber(j, key);
    if (!v) {
        throw std::runtime_error(fmt::format("member \"{}\" is missing", key));
    }
    return *v;
}

std::string lf_orNull(const std::string& s) {
    return s.empty() ? std::string("null") : s;
}

}  // namespace

Scenario loadScenario(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) {
        throw std::runtime_error(fmt::format("cannot open scenario {}", gf_pathText(file)));
    }
    Scenario sc;
    std::string line;
    int number = 0;
    bool header = true;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line == "\r") {
            continue;
        }
        try {
            const json j = json::parse(line);
            if (!j.is_object()) {
                throw std::runtime_error("not a JSON object");
            }
            if (header) {
                header = false;
                sc.name = lf_optText(j, "scenario");
                if (sc.name.empty()) {
                    throw std::runtime_error("the first line must name the \"scenario\"");
                }
                if (const auto c = j.find("center");
                    c != j.end() && c->is_array() && c->size() == 2) {
                    sc.center = LatLon{(*c)[0].get<double>(), (*c)[1].get<double>()};
                }
                sc.elevationFt = lf_optNumber(j, "elevation_ft");
                continue;
            }
            Report r;
            r.t = lf_number(j, "t");
            const double id = lf_number(j, "id");
            if (id < 1.0 || id > 16777215.0) {
                throw std::runtime_error("member \"id\" is no 24-bit address");
            }
            r.id = static_cast<std::uint32_t>(id);
            r.lat = lf_number(j, "lat");
            r.lon = lf_number(j, "lon");
            r.altFt = lf_optNumber(j, "alt");
            r.gsKt = lf_optNumber(j, "gs");
            r.trackDeg = lf_optNumber(j, "trk");
            r.vsFpm = lf_optNumber(j, "vs");
            r.headingDeg = lf_optNumber(j, "hdg");
            r.rollDeg = lf_optNumber(j, "roll");
            r.tasKt = lf_optNumber(j, "tas");
            if (const auto g = j.find("gnd"); g != j.end() && g->is_boolean()) {
                r.onGround = g->get<bool>();
            }
            r.callsign = lf_optText(j, "cs");
            r.type = lf_optText(j, "type");
            r.registration = lf_optText(j, "reg");
            r.origin = lf_optText(j, "from");
            r.destination = lf_optText(j, "to");
            r.category = lf_optText(j, "cat");
            sc.reports.push_back(std::move(r));
        } catch (const std::exception& e) {
            throw std::runtime_error(
                fmt::format("scenario {} line {}: {}", gf_pathText(file), number, e.what()));
        }
    }
    if (header) {
        throw std::runtime_error(fmt::format("scenario {} is empty", gf_pathText(file)));
    }
    std::stable_sort(sc.reports.begin(), sc.reports.end(),
                     [](const Report& a, const Report& b) { return a.t < b.t; });
    return sc;
}

bool saveScenario(const Scenario& sc, const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    json header{{"scenario", sc.name}};
    if (sc.center) {
        header["center"] = {sc.center->lat, sc.center->lon};
    }
    if (sc.elevationFt) {
        header["elevation_ft"] = *sc.elevationFt;
    }
    out << header.dump() << '\n';
    const auto opt = [](const std::optional<double>& v) { return v ? json(*v) : json(nullptr); };
    for (const Report& r : sc.reports) {
        json j{{"t", r.t},
               {"id", r.id},
               {"lat", r.lat},
               {"lon", r.lon},
               {"alt", opt(r.altFt)},
               {"gs", opt(r.gsKt)},
               {"trk", opt(r.trackDeg)},
               {"vs", opt(r.vsFpm)},
               {"gnd", r.onGround},
               {"cs", r.callsign},
               {"type", r.type},
               {"reg", r.registration}};
        for (const auto& [key, v] :
             {std::pair{"hdg", r.headingDeg}, {"roll", r.rollDeg}, {"tas", r.tasKt}}) {
            if (v) {
                j[key] = *v;
            }
        }
        for (const auto& [key, v] :
             {std::pair{"from", &r.origin}, {"to", &r.destination}, {"cat", &r.category}}) {
            if (!v->empty()) {
                j[key] = *v;
            }
        }
        out << j.dump() << '\n';
    }
    out.flush();
    return static_cast<bool>(out);
}

std::string formatTrafficLine(const Report& r, double epochSeconds) {
    const std::string alt = r.altFt ? fmt::format("{:.0f}", *r.altFt) : (r.onGround ? "0" : "");
    const std::string track = r.trackDeg ? fmt::format("{:.1f}", *r.trackDeg) : "";
    const bool headingKnown = r.headingDeg.has_value();
    // 0 RTTFC, 1 id, 2 lat, 3 lon, 4 alt, 5 vs, 6 on-ground flag, 7 track, 8 gs,
    // 9 callsign, 10 type, 11 registration, 12 origin, 13 destination, 14 timestamp,
    // 15 source, 16 IATA callsign, 17 message type, 18 geometric altitude, 19 IAS,
    // 20 TAS, 21 Mach, 22 track rate, 23 roll, 24 magnetic heading, 25 true heading,
    // 26 geometric rate, 27 emergency, 28 category, 29 QNH of the aircraft.
    return fmt::format(
        "RTTFC,{},{:.6f},{:.6f},{},{:.0f},{},{},{:.1f},{},{},{},{},{},{:.2f},wendle-rt,null,{},{},"
        "-1,{:.0f},-1,-1,{:.1f},-1,{},{:.0f},none,{},-1",
        r.id, r.lat, r.lon, alt, r.vsFpm.value_or(0.0), r.onGround ? 1 : 0, track,
        r.gsKt.value_or(0.0), lf_orNull(r.callsign), lf_orNull(r.type), lf_orNull(r.registration),
        lf_orNull(r.origin), lf_orNull(r.destination), epochSeconds,
        headingKnown ? "adsb_icao" : "mode_s", alt, r.tasKt.value_or(-1.0),
        r.rollDeg.value_or(-1.0),
        headingKnown ? fmt::format("{:.1f}", *r.headingDeg) : std::string("-1"),
        r.vsFpm.value_or(0.0), r.category);
}

std::string weatherDatagram(const std::string& qnhJson, const std::string& icao) {
    return fmt::format(R"({{"ICAO":"{}","QNH":{},"METAR":"","source":"wendle-rt"}})", icao,
                       qnhJson);
}

std::vector<std::string> hostileTrafficDatagrams(const Report& good, double epochSeconds) {
    const std::string line = formatTrafficLine(good, epochSeconds);
    std::vector<std::string> fields;
    {
        std::size_t start = 0;
        for (;;) {
            const auto comma = line.find(',', start);
            fields.push_back(
                line.substr(start, comma == std::string::npos ? comma : comma - start));
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    const auto with = [&fields](std::size_t index, const std::string& value) {
        auto f = fields;
        f[index] = value;
        std::string out;
        for (std::size_t i = 0; i < f.size(); ++i) {
            out += (i == 0 ? "" : ",") + f[i];
        }
        return out;
    };
    const auto firstFields = [&fields](std::size_t n) {
        std::string out;
        for (std::size_t i = 0; i < n && i < fields.size(); ++i) {
            out += (i == 0 ? "" : ",") + fields[i];
        }
        return out;
    };
    std::vector<std::string> d;
    d.emplace_back();              // empty datagram
    d.emplace_back("RTTFC");       // one field
    d.push_back(firstFields(28));  // one field short
    d.push_back(firstFields(15));  // ends after the timestamp
    d.push_back(with(2, ""));      // empty latitude
    d.push_back(with(2, "nan"));
    d.push_back(with(2, "-INFINITY"));
    d.push_back(with(2, "1e999"));
    d.push_back(with(2, "91.5"));
    d.push_back(with(3, "0x1p3"));
    d.push_back(with(1, "0"));
    d.push_back(with(1, "123abc456"));
    d.push_back(with(1, "99999999999"));
    d.push_back(with(1, "4294967296"));
    d.push_back(with(1, "xyz"));
    d.push_back(with(4, "abc"));
    d.push_back(with(8, ""));
    d.push_back(with(7, "north"));
    d.push_back(with(14, "1e400"));
    d.push_back(with(20, "fast"));
    d.push_back(with(23, ""));
    {
        auto f = fields;
        f[17] = "adsb_icao";
        f[25] = "400";
        std::string out;
        for (std::size_t i = 0; i < f.size(); ++i) {
            out += (i == 0 ? "" : ",") + f[i];
        }
        d.push_back(out);
    }
    d.push_back(with(9, "@@@"));
    d.push_back(with(11, std::string(20, 'R')));
    d.push_back(with(28, "C1"));
    d.push_back(with(10, "SHIP"));
    d.push_back(with(9, "GROUND VEH1"));
    d.push_back(line + std::string(5000, ','));
    d.push_back(with(12, std::string(15000, 'X')));
    d.push_back(std::string(20000, 'A'));                    // beyond the receive buffer
    d.push_back(std::string("\0\x01\xff,\x80,", 7) + line);  // binary bytes
    d.push_back("\r\n");
    d.push_back(std::string(16383, ','));      // the most fields a datagram can hold
    d.push_back(with(9, "\xc3\x28\xe2\x82"));  // invalid UTF-8
    return d;
}

std::vector<std::string> hostileWeatherDatagrams() {
    return {
        "not json",
        R"({"QNH":null})",
        R"({"QNH":[]})",
        R"({"QNH":{}})",
        R"({"QNH":"abc"})",
        R"({"QNH":true})",
        R"({"QNH":1e308})",
        R"({"QNH":-1e308})",
        R"({"QNH":"99999999999999999999999"})",
        R"([1,2,3])",
        R"({"QNH":10)",
        std::string(16000, '['),
        std::string(20000, ' '),
        std::string("{\"QNH\":\0}", 9),
    };
}

}  // namespace wnd::rtstandin
