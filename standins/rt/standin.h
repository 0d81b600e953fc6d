// The RealTraffic stand-in's model: scenarios of traffic reports (recorded or generated)
// and the datagrams RealTraffic sends for them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "standins/rt/runways.h"
#include "util/geodesy.h"

namespace wnd::rtstandin {

// One position report of one aircraft, `t` seconds after the scenario's start.
struct Report {
    double t = 0.0;
    std::uint32_t id = 0;  // 24-bit ICAO address
    double lat = 0.0;
    double lon = 0.0;
    std::optional<double> altFt;  // barometric; nothing when unknown
    std::optional<double> gsKt;
    std::optional<double> trackDeg;
    std::optional<double> vsFpm;
    std::optional<double> headingDeg;  // true heading when the transponder gives it
    std::optional<double> rollDeg;     // positive to the left, as RealTraffic sends it
    std::optional<double> tasKt;
    bool onGround = false;
    std::string callsign;
    std::string type;
    std::string registration;
    std::string origin;
    std::string destination;
    std::string category;  // emitter category such as "A3"
};

struct Scenario {
    std::string name;
    std::optional<LatLon> center;
    std::optional<double> elevationFt;
    std::vector<Report> reports;  // sorted by t
    double duration() const { return reports.empty() ? 0.0 : reports.back().t; }
};

// A scenario file: JSON lines, a header object first (see README.md). Raises
// std::runtime_error naming the file and line of a fault.
Scenario loadScenario(const std::filesystem::path& file);
// Writes the scenario in the same form; false when the file cannot be written.
bool saveScenario(const Scenario& sc, const std::filesystem::path& file);

// The traffic line RealTraffic would send for the report, with its timestamp in
// seconds since 1970.
std::string formatTrafficLine(const Report& r, double epochSeconds);
// A weather datagram carrying `qnhJson` (any JSON value) as its "QNH".
std::string weatherDatagram(const std::string& qnhJson, const std::string& icao);

// Malformed and hostile datagrams, built around a good report.
std::vector<std::string> hostileTrafficDatagrams(const Report& good, double epochSeconds);
std::vector<std::string> hostileWeatherDatagrams();

struct GeneratorOptions {
    LatLon airport;  // the user position: flights use the airport of `runways` near it
    // The runways of that airport (see airportRunwaysNear); none: one runway of
    // `runwayHeadingDeg` is made up beside the user position.
    std::vector<Runway> runways;
    std::optional<double> elevationFt;  // absent: the runways' airport elevation, else 0
    double runwayHeadingDeg = 280.0;    // the runway in use is the one closest to this
    int flights = 12;
    double spreadSeconds = 120.0;  // flight starts are spread over this time
    // Where arrivals begin, nautical miles before the threshold; absent: 12 to 16.
    std::optional<double> approachStartNm;
    double reportInterval = 2.0;  // seconds between two reports of one aircraft
    double qnhHpa = 1013.25;      // barometric altitudes are sent for this QNH
    bool noise = false;           // positions, speeds and altitudes as noisy as real reports
    std::uint32_t seed = 1;
};

// A runway end the generated flights use.
struct RunwayInUse {
    std::string name;
    LatLon start;      // take-offs begin here
    LatLon threshold;  // landings aim here (the start or a displaced threshold)
    LatLon far;        // the other end
    double headingDeg = 0.0;
};
struct RunwaysInUse {
    std::string icao;  // empty: the runway made up beside the user
    double elevationFt = 0.0;
    RunwayInUse arrival;
    RunwayInUse departure;
};
RunwaysInUse chooseRunways(const GeneratorOptions& options);

// Arrivals on a 3 degree path to the runway in use that land, roll out, taxi off and
// park; departures that stand, push back, taxi to another runway end (or the same), line up
// and take off; over-flights at FL250-370 with a gentle turn. Flights cycle through the
// three kinds. Ground reports carry no altitude, as RealTraffic's.
Scenario generateScenario(const GeneratorOptions& options);

}  // namespace wnd::rtstandin
