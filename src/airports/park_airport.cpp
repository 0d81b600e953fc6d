// The park airport itself: setting it, reading its file with the learned companion, the
// defaults of an airport without learned file, the reserved stand, and leaving it.
#include "airports/park_airport.h"

#include <system_error>

#include "airports/airports_db.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "updater/downloader.h"
#include "updater/server.h"
#include "util/files.h"
#include "util/log.h"
#include "util/no_destructor.h"
#include "util/time.h"
#include "util/user_error.h"

namespace wnd {

namespace fs = std::filesystem;

namespace {
constexpr std::string_view kFetchedFile = "airports/park_airport.xml";
}  // namespace

ParkAirports& gf_parkAirports() {
    static NoDestructor<ParkAirports> p;
    return *p;
}

void ParkAirports::forgetAirport() {
    code_.clear();
    iata_.clear();
    position_ = {};
    altitudeFt_ = 0.0;
    stands_ = 0;
    reservedStand_.clear();
    file_ = {};
    filePath_.clear();
    readNow_ = false;
    ++generation_;
}

void ParkAirports::reset() {
    forgetAirport();
    list_.clear();
    lastUser_ = {};
    groundCheckAt_ = {};
    failedCode_.clear();
    failedWait_ = 0;
    learnedChanged_ = false;
    publishSpots();
    {
        MutexLock lock(spotsMu_);
        userStand_.reset();
    }
}

bool ParkAirports::setParkAirport(std::string_view code) {
    const AirportRecord* a = gf_findAirport(code);
    if (a == nullptr) {
        gf_board().setParkAirportText({});
        return false;
    }
    code_ = a->code;
    iata_ = a->iata;
    position_ = a->position;
    altitudeFt_ = a->altitude;
    stands_ = a->stands;
    ++generation_;
    gf_logLine("\nThe park airport is {}", code_);
    gf_board().setParkAirportText(code_);
    return true;
}

void ParkAirports::applyDefaults() {
    Settings& s = gs();
    if (file_.qfReal < 3 && file_.qfSoft >= 1) {
        s.PARK_SOFT.set(true);
        s.WEEK.set(true);
        s.MAX_FIT_FL.set(24.0);
    } else if (file_.qfReal >= 46) {
        s.PARK_SOFT.set(false);
        s.WEEK.set(false);
    }
    const int pct = stands_ == 1 ? 100 : stands_ == 2 ? 50 : 30;
    s.parking_percentage.set(pct);
    gf_logLine("{:24}: {}%", "parking_percentage", pct);
    gf_requestRepaint();
}

std::string ParkAirports::gf_readApf(const fs::path& path) {
    const std::string text = gf_pathText(path);
    if (text.empty()) {
        return fmt::format("{}: xml is empty", "gf_readApf");
    }
    if (code_.empty()) {
        return fmt::format("{}: no park airport set", "gf_readApf");
    }
    fs::path local = path;
    if (text.rfind("airports", 0) != 0 && text.rfind(kStockPrefix, 0) == 0) {
        const std::string address = gf_downloadsAddress() + "P3D/" + code_ + ".xml";
        if (!gf_downloadFile(address, kFetchedFile, false)) {
            return fmt::format("failed to download: '{}'", address);
        }
        local = kFetchedFile;
    }
    AirportFileData data;
    std::string error;
    try {
        error = gf_readAirportFile(local, data);
    } catch (const UserErrorException& e) {
        error = e.what();
    }
    if (!error.empty()) {
        return error;
    }
    if (const auto learned = gf_learnedPathOf(path, data.publisher)) {
        std::error_code ec;
        if (fs::exists(*learned, ec)) {
            try {
                lf_readLearned(*learned, data);
            } catch (const UserErrorException& e) {
                gf_logLine("{}: {}", gf_pathText(*learned), e.what());
            }
        } else {
            gf_logLine("learned does not exist");
            file_ = data;
            applyDefaults();
        }
    }
    if (data.settings) {
        Settings& s = gs();
        s.RANGE.set(data.settings->range);
        s.AUTO_RANGE.set(data.settings->autoRange);
        s.WEEK.set(data.settings->week);
        s.PARK_SOFT.set(data.settings->parkSoft);
        s.parking_percentage.set(data.settings->parkingPercentage);
        s.INITIAL_LOAD_ONLY.set(data.settings->initialLoadOnly);
        s.MAX_FIT_FL.set(data.settings->maxFitHours);
        s.MAX_LIVE_SEL.set(data.settings->maxLiveSel);
        gf_requestRepaint();
    }
    gf_numberStandsAndNeighbours(data.stands);
    file_ = std::move(data);
    learnedChanged_ = false;
    publishSpots();
    filePath_ = path;
    ++generation_;
    gf_logLine("{:24}: {}", "Airport file read from", fmt::format("'{}' for {}", text, code_));
    gf_logLine("{:24}: {}", "publisher", file_.publisher);
    gf_logLine("{:24}: {} ft", "altitude", file_.altitudeFt);
    gf_logLine("{:24}: {}", "num_parkpos", file_.stands.size());
    std::string quality = "  ";
    if (file_.qfReal >= 0 || file_.qfSoft >= 0) {
        quality = file_.qfReal < 45 ? fmt::format("{:2}/{:2}", file_.qfReal, file_.qfSoft)
                                    : fmt::format("{:2}", file_.qfReal);
    }
    gf_logLine("{:24}: {}", "quality factor", quality);
    gf_logLine("{:24}: {}", "RT traffic week", file_.rtTrafficWeek);
    if (file_.stands.empty()) {
        gf_logLine("{:24}: {}", code_, "no stands found");
    }
    return {};
}

std::string ParkAirports::standNear(const LatLon& p) const {
    std::string best;
    double bestNm = kUserStandNm;
    for (const StandRecord& s : file_.stands) {
        const double d = gf_distanceNm(p, {s.lat, s.lon});
        if (d < bestNm || (best.empty() && d <= kUserStandNm)) {
            if (best.empty() || d < bestNm) {
                best = s.id;
                bestNm = d;
            }
        }
    }
    return best;
}

void ParkAirports::publishSpots() {
    std::vector<Spot> spots;
    spots.reserve(file_.stands.size());
    for (const StandRecord& s : file_.stands) {
        spots.push_back({s.id, {s.lat, s.lon}});
    }
    MutexLock lock(spotsMu_);
    spots_ = std::move(spots);
}

std::string ParkAirports::standNearAnyThread(const LatLon& p) const {
    MutexLock lock(spotsMu_);
    std::string best;
    double bestNm = kUserStandNm;
    for (const Spot& s : spots_) {
        const double d = gf_distanceNm(p, s.position);
        if (d <= bestNm && (best.empty() || d < bestNm)) {
            best = s.id;
            bestNm = d;
        }
    }
    return best;
}

void ParkAirports::noteUserStand(std::string stand) {
    MutexLock lock(spotsMu_);
    userStand_ = std::move(stand);
}

std::string ParkAirports::lf_readParkedFile(const ParkUser& user) {
    const auto path = gf_findAirportFile(code_);
    if (!path) {
        return fmt::format("{} {} not found", "lf_readParkedFile", code_);
    }
    file_.airportName.clear();
    file_.publisher.clear();
    const std::string error = gf_readApf(*path);
    if (!error.empty()) {
        return error;
    }
    reservedStand_ = user.onGround && !file_.stands.empty() ? standNear(user.position) : "";
    auto it = std::find_if(list_.begin(), list_.end(),
                           [&](const ParkListEntry& e) { return e.code == code_; });
    if (it == list_.end()) {
        list_.push_front({code_, reservedStand_, position_, 0.0});
        recordFrontEntry();
    } else if (it->stand != reservedStand_ && user.onGround) {
        it->stand = reservedStand_;
        list_.splice(list_.begin(), list_, it);
        recordFrontEntry();
    }
    return {};
}

bool ParkAirports::learnedChanged() const {
    if (learnedChanged_) {
        return true;
    }
    for (const StandRecord& s : file_.stands) {
        for (const FlightRecord& f : s.flights) {
            if (f.updated) {
                return true;
            }
        }
    }
    return false;
}

void ParkAirports::saveLearned() {
    if (code_.empty() || file_.handmade || !learnedChanged()) {
        return;
    }
    int updates = 0;
    for (const StandRecord& s : file_.stands) {
        for (const FlightRecord& f : s.flights) {
            updates += f.updated ? 1 : 0;
        }
    }
    // Where the next reading looks for it, so that what was learned is found again.
    const std::filesystem::path out = gf_learnedPathOf(filePath_, file_.publisher)
                                          .value_or(gf_learnedSavePath(code_, file_.publisher));
    if (!gf_saveLearned(file_, out)) {
        gf_logWarning("{} saving '{}' did not succeed", code_, gf_pathText(out));
        return;
    }
    gf_logLine("{}{} '{}' saved with {} update{}", gf_utcClock() + " ", code_, gf_pathText(out),
               updates, updates == 1 ? "" : "s");
    for (StandRecord& s : file_.stands) {
        for (FlightRecord& f : s.flights) {
            f.updated = false;
        }
    }
    learnedChanged_ = false;
}

void ParkAirports::leave() {
    if (code_.empty()) {
        return;
    }
    // The static aircraft go with the static parking; what was learned here is kept.
    saveLearned();
    forgetAirport();
    publishSpots();
    gf_board().setParkAirportText({});
    gf_requestRepaint();
}

}  // namespace wnd
