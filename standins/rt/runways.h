// Runway ends for the flights the RealTraffic stand-in generates: read from the project's
// runways.csv (FlightGear's apt.dat runways of a few airports, see data/runways).
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "util/geodesy.h"

namespace wnd::rtstandin {

struct RunwayEnd {
    std::string name;         // "28", "05L"
    LatLon end;               // where the paved runway begins, the take-off starts here
    double displacedM = 0.0;  // the landing threshold lies this far along the runway
};

struct Runway {
    std::string icao;
    double elevationFt = 0.0;  // the airport's
    double widthM = 0.0;
    int surface = 0;  // apt.dat's code: 1 asphalt, 2 concrete, 3 grass ...
    std::array<RunwayEnd, 2> ends;
    double lengthM() const;
    bool paved() const { return surface == 1 || surface == 2; }
};

// The runways of a CSV with the header
// icao,elevation_ft,width_m,surface,end1,lat1,lon1,disp1_m,end2,lat2,lon2,disp2_m.
// Rows that do not read as such are skipped; a file that cannot be opened or has another
// header raises std::runtime_error.
std::vector<Runway> loadRunways(const std::filesystem::path& file);

// The runways of the airport nearest to `p` whose runways come within `maxNm`; none when no
// airport is that close.
std::vector<Runway> airportRunwaysNear(const std::vector<Runway>& all, LatLon p, double maxNm);

}  // namespace wnd::rtstandin
