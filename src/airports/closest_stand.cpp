#include "airports/closest_stand.h"

#include <map>
#include <vector>

#include "airports/airport_file.h"
#include "updater/downloader.h"
#include "updater/server.h"
#include "util/files.h"
#include "util/log.h"
#include "util/mutex.h"
#include "util/no_destructor.h"
#include "util/user_error.h"

namespace wnd {

namespace {

struct StandSpot {
    std::string id;
    LatLon position;
};

// Each airport's stands, read once per process: the closest-airport rule asks every
// second while the user stands, and a stock file would otherwise be fetched each time.
struct StandCache {
    Mutex mu;
    std::map<std::string, std::vector<StandSpot>, std::less<>> stands GUARDED_BY(mu);
};

StandCache& lf_cache() {
    static NoDestructor<StandCache> c;
    return *c;
}

std::vector<StandSpot> lf_load(std::string_view code) {
    std::vector<StandSpot> out;
    const auto path = gf_findAirportFile(code);
    if (!path) {
        return out;
    }
    std::filesystem::path local = *path;
    if (gf_pathText(*path).rfind(kStockPrefix, 0) == 0) {
        local = "airports/dest_airport.xml";
        const std::string address = gf_downloadsAddress() + "P3D/" + std::string(code) + ".xml";
        if (!gf_downloadFile(address, local, false)) {
            return out;
        }
    }
    AirportFileData data;
    try {
        if (!gf_readAirportFile(local, data).empty()) {
            return out;
        }
    } catch (const UserErrorException& e) {
        gf_logLine("{}: {}", gf_pathText(local), e.what());
        return out;
    }
    for (const StandRecord& s : data.stands) {
        out.push_back({s.id, {s.lat, s.lon}});
    }
    return out;
}

}  // namespace

double gf_readDestApfForClosestStand(std::string_view airportCode, const LatLon& p,
                                     std::string& standId) {
    standId.clear();
    StandCache& c = lf_cache();
    std::vector<StandSpot> stands;
    bool known = false;
    {
        MutexLock lock(c.mu);
        auto it = c.stands.find(airportCode);
        if (it != c.stands.end()) {
            stands = it->second;
            known = true;  // also an airport whose file could not be had: not fetched again
        }
    }
    if (!known) {
        stands = lf_load(airportCode);
        MutexLock lock(c.mu);
        c.stands[std::string(airportCode)] = stands;
    }
    double best = 100.0;
    for (const StandSpot& s : stands) {
        const double d = gf_distanceNm(p, s.position);
        if (d < best) {
            best = d;
            standId = s.id;
        }
    }
    return best;
}

void gf_forgetClosestStands() {
    StandCache& c = lf_cache();
    MutexLock lock(c.mu);
    c.stands.clear();
}

}  // namespace wnd
