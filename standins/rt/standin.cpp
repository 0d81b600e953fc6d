#include "standins/rt/standin.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <stdexcept>

#include "util/files.h"

namespace wnd::rtstandin {

namespace {

using nlohmann::json;

constexpr double kFeetPerNmRt = 6076.11549;
// A 3 degree glide path descends this many feet per nautical mile.
constexpr double kGlideFtPerNm = 318.4;

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

double lf_wrap360(double deg) {
    deg = std::fmod(deg, 360.0);
    return deg < 0.0 ? deg + 360.0 : deg;
}

// Builds one flight second by second and keeps every report-interval-th sample.
class FlightBuilder {
  public:
    FlightBuilder(Report identity, double startT, double reportInterval)
        : r_(std::move(identity)), t_(startT), every_(std::max(1.0, reportInterval)) {}

    Report& state() { return r_; }
    // One second of flight with the current speed and track; the vertical rate changes
    // the altitude unless the caller sets the altitude itself.
    void step(bool integrateAltitude = true) {
        const double feet = r_.gsKt.value_or(0.0) / 3600.0 * kFeetPerNmRt;
        if (feet > 0.0) {
            const LatLon p =
                gf_destinationPoint({r_.lat, r_.lon}, r_.trackDeg.value_or(0.0) * kDeg2Rad, feet);
            r_.lat = p.lat;
            r_.lon = p.lon;
        }
        if (integrateAltitude && !r_.onGround && r_.altFt && r_.vsFpm) {
            *r_.altFt += *r_.vsFpm / 60.0;
        }
        t_ += 1.0;
        if (std::fmod(t_ - start_, every_) < 1.0) {
            Report out = r_;
            out.t = t_;
            out.tasKt = r_.onGround ? std::nullopt : r_.gsKt;
            out.trackDeg = r_.trackDeg ? std::optional(lf_wrap360(*r_.trackDeg)) : std::nullopt;
            out.headingDeg =
                r_.headingDeg ? std::optional(lf_wrap360(*r_.headingDeg)) : std::nullopt;
            reports_.push_back(std::move(out));
        }
    }
    void steps(int n) {
        for (int i = 0; i < n; ++i) {
            step();
        }
    }
    std::vector<Report> take() { return std::move(reports_); }

  private:
    Report r_;
    double t_;
    double start_ = t_;
    double every_;
    std::vector<Report> reports_;
};

void lf_arrival(FlightBuilder& b, const GeneratorOptions& o) {
    const double h = o.runwayHeadingDeg;
    const LatLon threshold = gf_destinationPoint(o.airport, (h + 180.0) * kDeg2Rad, 3000.0);
    const double approachNm = 15.0;
    const LatLon start =
        gf_destinationPoint(threshold, (h + 180.0) * kDeg2Rad, approachNm * kFeetPerNmRt);
    Report& s = b.state();
    s.lat = start.lat;
    s.lon = start.lon;
    s.gsKt = 160.0;
    s.trackDeg = h;
    s.headingDeg = h;
    s.rollDeg = 0.0;
    s.onGround = false;
    double remaining = approachNm;
    while (remaining > 0.0) {
        s.gsKt = std::max(140.0, *s.gsKt - 0.1);
        s.vsFpm = -*s.gsKt / 60.0 * kGlideFtPerNm;
        remaining -= *s.gsKt / 3600.0;
        s.altFt = o.elevationFt + std::max(remaining, 0.0) * kGlideFtPerNm;
        b.step(false);  // on the glide path
    }
    s.onGround = true;
    s.altFt = o.elevationFt;
    s.vsFpm = 0.0;
    s.rollDeg = std::nullopt;
    while (*s.gsKt > 20.0) {  // roll-out
        s.gsKt = std::max(20.0, *s.gsKt - 3.0);
        b.step();
    }
    s.trackDeg = h + 90.0;  // off the runway and to the stand
    s.headingDeg = s.trackDeg;
    s.gsKt = 15.0;
    b.steps(60);
    s.gsKt = 0.0;  // parked
    b.steps(120);
}

void lf_departure(FlightBuilder& b, const GeneratorOptions& o) {
    const double h = o.runwayHeadingDeg;
    const LatLon stand = gf_destinationPoint(o.airport, (h + 90.0) * kDeg2Rad, 1500.0);
    const LatLon threshold = gf_destinationPoint(o.airport, (h + 180.0) * kDeg2Rad, 3000.0);
    Report& s = b.state();
    s.lat = stand.lat;
    s.lon = stand.lon;
    s.altFt = o.elevationFt;
    s.onGround = true;
    s.gsKt = 0.0;
    s.vsFpm = 0.0;
    s.headingDeg = h - 90.0;  // nose to the terminal
    s.trackDeg = h - 90.0;
    b.steps(30);
    s.trackDeg = h + 90.0;  // push back: moving tail first
    s.gsKt = 3.0;
    b.steps(60);
    s.gsKt = 15.0;
    for (int i = 0; i < 1800; ++i) {  // taxi to the threshold
        const LatLon here{s.lat, s.lon};
        if (gf_distanceNm(here, threshold) * kFeetPerNmRt < 30.0) {
            break;
        }
        s.trackDeg = gf_bearing(here, threshold) * kRad2Deg;
        s.headingDeg = s.trackDeg;
        b.step();
    }
    s.gsKt = 0.0;
    s.trackDeg = h;
    s.headingDeg = h;
    b.steps(10);  // lined up
    while (*s.gsKt < 150.0) {
        s.gsKt = *s.gsKt + 4.0;
        b.step();
    }
    s.onGround = false;
    s.vsFpm = 2000.0;
    s.rollDeg = 0.0;
    while (gf_distanceNm({s.lat, s.lon}, o.airport) < 20.0) {
        s.gsKt = std::min(250.0, *s.gsKt + 1.0);
        b.step();
    }
}

void lf_overflight(FlightBuilder& b, const GeneratorOptions& o, std::mt19937& rng) {
    std::uniform_real_distribution<double> bearing(0.0, 360.0);
    std::uniform_real_distribution<double> lateral(-10.0, 10.0);
    std::uniform_int_distribution<int> level(25, 37);
    const double brg = bearing(rng);
    const LatLon entry = gf_destinationPoint(
        gf_destinationPoint(o.airport, (brg + 180.0) * kDeg2Rad, 30.0 * kFeetPerNmRt),
        (brg + 90.0) * kDeg2Rad, lateral(rng) * kFeetPerNmRt);
    Report& s = b.state();
    s.lat = entry.lat;
    s.lon = entry.lon;
    s.altFt = level(rng) * 1000.0;
    s.vsFpm = 0.0;
    s.gsKt = 450.0;
    s.trackDeg = brg;
    s.headingDeg = brg;
    s.rollDeg = 0.0;
    s.onGround = false;
    b.steps(200);
    s.rollDeg = -15.0;  // a right turn of 30 degrees
    for (int i = 0; i < 20; ++i) {
        s.trackDeg = *s.trackDeg + 1.5;
        s.headingDeg = s.trackDeg;
        b.step();
    }
    s.rollDeg = 0.0;
    b.steps(250);
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

Scenario generateScenario(const GeneratorOptions& o) {
    std::mt19937 rng(o.seed);
    struct Type {
        const char* code;
        const char* category;
    };
    static constexpr std::array<Type, 8> kTypes{{{"A320", "A3"},
                                                 {"A20N", "A3"},
                                                 {"B738", "A3"},
                                                 {"A333", "A5"},
                                                 {"B77W", "A5"},
                                                 {"E190", "A3"},
                                                 {"CRJ9", "A3"},
                                                 {"DH8D", "A2"}}};
    static constexpr std::array<const char*, 6> kAirlines{"SWR", "EZS", "DLH", "AUA", "BAW", "AFR"};
    static constexpr std::array<const char*, 8> kAirports{"LHR", "CDG", "FRA", "AMS",
                                                          "VIE", "JFK", "MAD", "BCN"};
    std::uniform_int_distribution<int> pick(0, 1 << 20);
    std::set<std::uint32_t> ids;
    Scenario sc;
    sc.name = "generated";
    sc.center = o.airport;
    sc.elevationFt = o.elevationFt;
    for (int k = 0; k < o.flights; ++k) {
        Report id;
        do {
            id.id = 0x4B0000u + static_cast<std::uint32_t>(pick(rng) % 0xFFFF);
        } while (!ids.insert(id.id).second);
        const Type& type = kTypes[static_cast<std::size_t>(pick(rng)) % kTypes.size()];
        id.type = type.code;
        id.category = type.category;
        id.callsign = fmt::format("{}{}", kAirlines[static_cast<std::size_t>(pick(rng)) % 6],
                                  100 + pick(rng) % 900);
        id.registration = fmt::format("HB-J{}{}", static_cast<char>('A' + pick(rng) % 26),
                                      static_cast<char>('A' + pick(rng) % 26));
        id.origin = kAirports[static_cast<std::size_t>(pick(rng)) % 8];
        id.destination = kAirports[static_cast<std::size_t>(pick(rng)) % 8];
        const double start = o.flights > 0 ? o.spreadSeconds * k / o.flights : 0.0;
        FlightBuilder b(id, start, o.reportInterval);
        switch (k % 3) {
            case 0:
                lf_arrival(b, o);
                break;
            case 1:
                lf_departure(b, o);
                break;
            default:
                lf_overflight(b, o, rng);
                break;
        }
        auto reports = b.take();
        sc.reports.insert(sc.reports.end(), std::make_move_iterator(reports.begin()),
                          std::make_move_iterator(reports.end()));
    }
    std::stable_sort(sc.reports.begin(), sc.reports.end(),
                     [](const Report& a, const Report& b) { return a.t < b.t; });
    return sc;
}

}  // namespace wnd::rtstandin
