#include "standins/rt/runways.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "util/files.h"

namespace wnd::rtstandin {

namespace {

constexpr const char* kHeader =
    "icao,elevation_ft,width_m,surface,end1,lat1,lon1,disp1_m,end2,lat2,lon2,disp2_m";

std::vector<std::string> lf_fields(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        out.push_back(line.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) {
            return out;
        }
        start = comma + 1;
    }
}

double lf_toNumber(const std::string& s) {
    std::size_t used = 0;
    const double v = std::stod(s, &used);
    if (used != s.size() || !std::isfinite(v)) {
        throw std::invalid_argument(s);
    }
    return v;
}

bool lf_validPosition(const LatLon& p) {
    return std::abs(p.lat) <= 90.0 && std::abs(p.lon) <= 180.0;
}

// Distance from p to the runway's centreline segment, in nautical miles.
double lf_distanceToRunwayNm(const Runway& r, LatLon p) {
    const LocalXY a{}, b = gf_toLocal(r.ends[0].end, r.ends[1].end);
    const LocalXY q = gf_toLocal(r.ends[0].end, p);
    const double len2 = b.north * b.north + b.east * b.east;
    const double s =
        len2 > 0.0 ? std::clamp((q.north * b.north + q.east * b.east) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(q.north - (a.north + s * b.north), q.east - (a.east + s * b.east)) /
           kMetresPerNm;
}

}  // namespace

double Runway::lengthM() const {
    return gf_distanceNm(ends[0].end, ends[1].end) * kMetresPerNm;
}

std::vector<Runway> loadRunways(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) {
        throw std::runtime_error(fmt::format("cannot open the runway file {}", gf_pathText(file)));
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line != kHeader) {
        throw std::runtime_error(
            fmt::format("{} does not begin with the runway header", gf_pathText(file)));
    }
    std::vector<Runway> out;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const auto f = lf_fields(line);
        if (f.size() != 12 || f[0].empty()) {
            continue;
        }
        try {
            Runway r;
            r.icao = f[0];
            r.elevationFt = lf_toNumber(f[1]);
            r.widthM = lf_toNumber(f[2]);
            r.surface = static_cast<int>(lf_toNumber(f[3]));
            for (std::size_t e = 0; e < 2; ++e) {
                RunwayEnd& end = r.ends[e];
                end.name = f[4 + e * 4];
                end.end = {lf_toNumber(f[5 + e * 4]), lf_toNumber(f[6 + e * 4])};
                end.displacedM = std::max(0.0, lf_toNumber(f[7 + e * 4]));
                if (!lf_validPosition(end.end)) {
                    throw std::invalid_argument("position");
                }
            }
            if (r.lengthM() < 100.0 || r.lengthM() > 8000.0) {
                continue;
            }
            out.push_back(std::move(r));
        } catch (const std::exception&) {
            continue;  // a row that is no runway
        }
    }
    return out;
}

std::vector<Runway> airportRunwaysNear(const std::vector<Runway>& all, LatLon p, double maxNm) {
    std::string best;
    double bestNm = std::numeric_limits<double>::max();
    for (const Runway& r : all) {
        const double d = lf_distanceToRunwayNm(r, p);
        if (d <= maxNm && d < bestNm) {
            bestNm = d;
            best = r.icao;
        }
    }
    std::vector<Runway> out;
    for (const Runway& r : all) {
        if (!best.empty() && r.icao == best) {
            out.push_back(r);
        }
    }
    return out;
}

}  // namespace wnd::rtstandin
