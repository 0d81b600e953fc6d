// The user's list of park airports and the park cycle step that chooses the park airport
// from it (airborne) or from the airport the user stands at (on the ground).
#include <algorithm>
#include <system_error>
#include <unordered_set>

#include "airports/airports_db.h"
#include "airports/park_airport.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "util/charset.h"
#include "util/files.h"
#include "util/log.h"
#include "util/time.h"

namespace wnd {

namespace fs = std::filesystem;

namespace {
constexpr int kRetrySeconds = 300;

bool lf_isNull(const LatLon& p) {
    return std::abs(p.lat) < 0.0001 && std::abs(p.lon) < 0.0001;
}

std::vector<std::string> lf_split(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        out.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) {
            return out;
        }
        start = comma + 1;
    }
}
}  // namespace

bool ParkAirports::lf_readMyParkAirports() {
    list_.clear();
    const fs::path path(kParkListFile);
    const ReadLinesResult r = gf_readLines(path);
    const std::string name = gf_pathText(path.filename());
    std::unordered_set<std::string> seen;
    if (!r.ok) {
        gf_logLine("{} not found", gf_pathText(path));
    }
    int number = 0;
    for (const std::string& line : r.lines) {
        ++number;
        if (line.empty()) {
            continue;
        }
        const std::vector<std::string> f = lf_split(line);
        if (f.size() > 2) {
            gf_logLine("{}:{} wrong syntax, skipped", name, number);
            continue;
        }
        if (!seen.insert(f[0]).second) {
            gf_logWarning("{}:{} double, skipped", name, number);
            continue;
        }
        const AirportRecord* a = gf_findAirport(f[0]);
        if (a == nullptr) {
            showStatus(fmt::format("airport {} is unknown", f[0]));
            continue;
        }
        list_.push_back({a->code, f.size() == 2 ? f[1] : std::string(), a->position, 0.0});
    }
    std::error_code ec;
    for (fs::directory_iterator it("airports/my_thirdparty", ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) {
            continue;
        }
        const std::string code = gf_pathText(it->path().stem());
        const AirportRecord* a = gf_findAirport(code);
        if (a != nullptr && seen.insert(code).second) {
            list_.push_back({a->code, {}, a->position, 0.0});
        }
    }
    gf_logLine("{} park airport{} read from '{}'", list_.size(), list_.size() == 1 ? "" : "s",
               gf_pathText(path));
    if (list_.size() > 3000) {
        showStatus(
            fmt::format("Warning: There are a lot of airports ({}), that will cost Wendle "
                        "much cpu time and may cause stutters",
                        list_.size()));
    }
    return r.ok;
}

void ParkAirports::recordFrontEntry() {
    if (list_.empty()) {
        return;
    }
    const ParkListEntry& front = list_.front();
    const std::string line =
        front.stand.empty() ? front.code : fmt::format("{},{}", front.code, front.stand);
    const fs::path path(kParkListFile);
    const std::string name = gf_pathText(path.filename());
    const ReadLinesResult r = gf_readLines(path);
    std::vector<std::string> lines = r.ok ? r.lines : std::vector<std::string>{};
    std::erase_if(lines, [](const std::string& l) { return l.empty(); });
    if (lines.empty()) {
        lines.push_back(line);
        gf_logLine("{} created with {}", name, line);
    } else {
        auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l == front.code || l.rfind(front.code + ",", 0) == 0;
        });
        if (it != lines.end()) {
            if (*it == line) {
                return;
            }
            *it = line;
            gf_logLine("{}:{} updated stand", name, line);
        } else {
            std::vector<std::string> withFront{line};
            withFront.insert(withFront.end(), lines.begin(), lines.end());
            lines = std::move(withFront);
            gf_logLine("{}:{} new entry", name, line);
        }
    }
    std::string text;
    for (const std::string& l : lines) {
        text += l + "\n";
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (!gf_writeFileAtomic(path, text)) {
        gf_logWarning("{} could not be written", gf_pathText(path));
    }
}

void ParkAirports::setDestination(std::string_view code) {
    const AirportRecord* a = gf_findAirport(code);
    if (a == nullptr) {
        return;
    }
    auto it = std::find_if(list_.begin(), list_.end(),
                           [&](const ParkListEntry& e) { return e.code == a->code; });
    if (it != list_.end()) {
        list_.splice(list_.begin(), list_, it);
    } else {
        list_.push_front({a->code, {}, a->position, 0.0});
    }
    recordFrontEntry();
}

void ParkAirports::refreshOrder(const ParkUser& user) {
    const bool moved = std::abs(user.position.lat - lastUser_.lat) > 1e-8 ||
                       std::abs(user.position.lon - lastUser_.lon) > 1e-8;
    lastUser_ = user.position;
    if (moved && gs().DESTINATION.value().empty()) {
        for (ParkListEntry& e : list_) {
            e.distanceNm = gf_distanceNm(user.position, e.position);
        }
        list_.sort([](const ParkListEntry& a, const ParkListEntry& b) {
            return a.distanceNm < b.distanceNm;
        });
    } else if (!list_.empty()) {
        list_.front().distanceNm = gf_distanceNm(user.position, list_.front().position);
    }
}

void ParkAirports::search(const ParkUser& user) {
    if (failedWait_ > 0 && --failedWait_ == 0) {
        failedCode_.clear();
    }
    if (user.onGround) {
        const AirportRecord* a = gf_findClosestAirport(user.position);
        if (a != nullptr && a->code == failedCode_) {
            return;
        }
        if (a == nullptr) {
            showStatus("User aircraft on the ground, no RT supported airport in sight");
        } else if (gf_findAirportFile(a->code)) {
            gf_logLine("User aircraft on the ground at {}", a->code);
            setParkAirport(a->code);
            readNow_ = true;
            showStatus("Calculating static parked aircraft ...");
        } else {
            showStatus(
                fmt::format("User aircraft on the ground at {}, no airport file found", a->code));
        }
        return;
    }
    if (list_.empty()) {
        return;
    }
    const ParkListEntry& front = list_.front();
    if (front.code == failedCode_) {
        return;
    }
    if (front.distanceNm <= gs().AIRP_RANGE.value() && user.heightFt <= gs().AIRP_HEIGHT.value()) {
        setParkAirport(front.code);
        showStatus(fmt::format("{} in sight at {:.1F} nm", front.code, front.distanceNm));
        readNow_ = true;
    }
}

void ParkAirports::sightCheck(const ParkUser& user) {
    const double d = gf_distanceNm(user.position, position_);
    const double range = gs().AIRP_RANGE.value();
    const bool high = user.heightFt > gs().AIRP_HEIGHT.value();
    if (d > range || high) {
        gf_logLine("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed",
                   gf_utcClock(), code_, d);
        leave();
        return;
    }
    if (!list_.empty()) {
        const ParkListEntry& front = list_.front();
        if (front.code != code_ && front.distanceNm <= range && front.distanceNm <= d) {
            gf_logLine(
                "\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed "
                "first",
                gf_utcClock(), front.code, front.distanceNm, code_);
            leave();
        }
    }
}

void ParkAirports::step(const ParkUser& user) {
    if (readNow_) {
        readNow_ = false;
        const std::string error = lf_readParkedFile(user);
        if (!error.empty()) {
            showStatus(error);
            failedCode_ = code_;
            failedWait_ = kRetrySeconds;
            leave();
        }
        return;
    }
    if (lf_isNull(user.position)) {
        return;
    }
    std::optional<std::string> userStand;
    {
        MutexLock lock(spotsMu_);
        userStand.swap(userStand_);
    }
    if (userStand && !code_.empty() && *userStand != reservedStand_) {
        reservedStand_ = *userStand;
        auto it = std::find_if(list_.begin(), list_.end(),
                               [&](const ParkListEntry& e) { return e.code == code_; });
        if (it != list_.end()) {
            it->stand = reservedStand_;
            list_.splice(list_.begin(), list_, it);
            recordFrontEntry();
        }
    }
    refreshOrder(user);
    if (code_.empty()) {
        search(user);
    } else if (!user.onGround) {
        sightCheck(user);
    } else if (std::abs(user.position.lat - groundCheckAt_.lat) > 0.001 ||
               std::abs(user.position.lon - groundCheckAt_.lon) > 0.001) {
        groundCheckAt_ = user.position;
        const AirportRecord* a = gf_findClosestAirport(user.position);
        if (a == nullptr || a->code == code_) {
            return;
        }
        // On the ground at another airport (a new flight there): that one takes over.
        gf_logLine("\n{} user aircraft on the ground at {}, parked aircraft at {} will be removed",
                   gf_utcClock(), a->code, code_);
        leave();
    }
}

std::string ParkAirports::reread(const ParkUser& user) {
    lf_readMyParkAirports();
    if (code_.empty()) {
        return {};
    }
    const std::string error = lf_readParkedFile(user);
    if (!error.empty()) {
        return error;
    }
    if (user.onGround && !list_.empty() && list_.front().code == code_) {
        const std::string now = standNear(user.position);
        if (list_.front().stand != now) {
            gf_logLine("reserved stand changed from '{}' to '{}'", list_.front().stand, now);
            list_.front().stand = now;
            reservedStand_ = now;
            recordFrontEntry();
        } else {
            gf_logLine("park airports and stands are okay");
        }
    }
    return {};
}

}  // namespace wnd
