// The static set's life at the park airport: following it, the calculation, the 16-second
// top-up, the renewal, the learned-file save and the board's figures.
#include "parking/static_parking.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <unordered_map>

#include "board/status_board.h"
#include "settings/settings.h"
#include "util/files.h"
#include "util/log.h"
#include "util/strings.h"
#include "util/time.h"

namespace wnd {

namespace {

std::string_view dayName(int day) {
    static constexpr std::array<std::string_view, 7> kNames{"Mon", "Tue", "Wed", "Thu",
                                                            "Fri", "Sat", "Sun"};
    return day >= 1 && day <= 7 ? kNames[static_cast<std::size_t>(day - 1)] : "???";
}
}  // namespace

// ---- The static set ----

StaticParking::StaticParking(ParkingWorld& world) : world_(world) {}

void StaticParking::reset() {
    new_.clear();
    aircraft_.clear();
    ids_.clear();
    wanted_ = 0;
    realFit_ = -1.0;
    softFit_ = -1.0;
    followed_ = false;
    navLights_ = gs().NAV_LIGHTS_WHILE_PARKED.value();
    generation_ = 0;
}

bool StaticParking::hasStands() {
    const ParkSite site = world_.parkSite();
    return site.file != nullptr && !site.file->stands.empty();
}

bool StaticParking::follow() {
    const ParkSite site = world_.parkSite();
    if (followed_ && site.generation == generation_) {
        return false;
    }
    followed_ = true;
    generation_ = site.generation;
    if (site.file == nullptr) {
        // Left, or not yet read: whatever stood at the last park airport goes.
        if (!aircraft_.empty() || !new_.empty() || wanted_ > 0) {
            removeAll();
        }
        wanted_ = 0;
        publishFigures();
        return false;
    }
    calculate();
    return true;
}

void StaticParking::logDayLine(WeekSlot slot) const {
    const std::int64_t now = world_.now();
    const double hours = static_cast<double>(((now % 86400) + 86400) % 86400) / 3600.0;
    gf_logLine("\n{} (utc) It is day {} ({}), {:.1F} hours",
               gf_utcTimeString(static_cast<std::time_t>(now)), slot.day, dayName(slot.day), hours);
}

std::optional<StaticParking::Prepared> StaticParking::prepare(bool renumber) {
    const ParkSite site = world_.parkSite();
    if (site.file == nullptr) {
        return std::nullopt;
    }
    Prepared p;
    p.rules = ParkingRules::fromSettings();
    p.stands = &site.file->stands;
    p.slot = world_.weekSlot();
    const std::string user = world_.userStand();
    for (StandRecord& s : *p.stands) {
        s.takenByStatic = false;
        s.takenByLive = false;
        if (renumber) {
            int ordinal = 0;
            for (FlightRecord& f : s.flights) {
                f.ordinal = ++ordinal;
            }
        }
        // Kept free: the user's reserved stand and the one the user stands on.
        if ((!site.reservedStand.empty() && s.id == site.reservedStand) ||
            (!user.empty() && s.id == user)) {
            s.takenByStatic = true;
        }
    }
    return p;
}

int StaticParking::markOccupied(std::vector<StandRecord>& stands,
                                const std::vector<LiveHolder>& live) {
    int count = 0;
    for (const LiveHolder& h : live) {
        if (StandRecord* s = gf_standByNumber(stands, h.stand)) {
            s->takenByLive = true;
        }
        ++count;
    }
    for (const std::vector<StaticEntry>* list : {&aircraft_, &new_}) {
        for (const StaticEntry& e : *list) {
            if (e.state == StaticState::Removing || e.gone) {
                continue;
            }
            if (StandRecord* s = gf_standByNumber(stands, e.stand)) {
                s->takenByStatic = true;
            }
            ++count;
        }
    }
    return count;
}

std::unordered_set<std::string> StaticParking::busyNames(bool heard) const {
    std::unordered_set<std::string> busy;
    for (const std::vector<StaticEntry>* list : {&aircraft_, &new_}) {
        for (const StaticEntry& e : *list) {
            if (e.state == StaticState::Removing || e.gone) {
                continue;
            }
            if (!e.registration.empty()) {
                busy.insert(e.registration);
            }
            for (std::string_view cs : gf_flightCallsigns(e.flightCallsigns)) {
                busy.emplace(cs);
            }
        }
    }
    for (std::string& n : world_.liveNames()) {
        busy.insert(std::move(n));
    }
    if (heard) {
        for (const std::string& cs : world_.heardCallsigns()) {
            busy.insert(cs);
        }
    }
    return busy;
}

void StaticParking::fill(Prepared& p, int present, bool keepers) {
    std::unordered_set<std::string> busy = busyNames(true);
    std::unordered_map<std::uint32_t, std::string> keep;
    if (keepers) {
        for (const StaticEntry& e : aircraft_) {
            if (e.state != StaticState::Removing && !e.gone) {
                keep.emplace(e.stand, e.callsign);
            }
        }
    }
    std::vector<StaticEntry> added;
    FillContext c{*p.stands, p.rules, p.slot, added, busy, keep, rng_};
    gf_fillStaticSet(c, present, wanted_);
    if (c.realFitHours >= 0.0) {
        realFit_ = c.realFitHours;
    }
    if (c.softFitHours >= 0.0) {
        softFit_ = c.softFitHours;
    }
    gf_sortAndTrim(added, *p.stands, world_.userPosition(), wanted_ - present);
    for (StaticEntry& e : added) {
        e.halfWingspanNm = world_.halfWingspanNm(e.type);
        new_.push_back(std::move(e));
    }
}

void StaticParking::calculate() {
    removeAll();
    auto p = prepare(true);
    if (!p) {
        return;
    }
    logDayLine(p->slot);
    realFit_ = -1.0;
    softFit_ = -1.0;
    const std::size_t n = p->stands->size();
    wanted_ = gf_wantedStatic(p->rules, n);
    const int present = markOccupied(*p->stands, world_.liveHolders());
    if (wanted_ > present) {
        fill(*p, present, false);
    }
    const int count = static_cast<int>(new_.size());
    if (count > 0) {
        gf_logLine("{} positions ({}% vs wanted {}%, with Max fit={:.1F} hours)\n", count,
                   gf_percent(count, static_cast<double>(n)),
                   gf_percent(wanted_, static_cast<double>(n)), p->rules.maxFitHours);
    } else {
        gf_logLine("no parking positions found");
    }
    gf_board().staticParkingActive = wanted_ > 0 && n > 0;
    publishFigures();
}

void StaticParking::update() {
    if (gs().INITIAL_LOAD_ONLY.value() || !followed_) {
        return;
    }
    auto p = prepare(false);
    if (!p) {
        return;
    }
    wanted_ = gf_wantedStatic(p->rules, p->stands->size());
    if (wanted_ == 0) {
        if (!aircraft_.empty() || !new_.empty()) {
            removeAll();
        }
        publishFigures();
        return;
    }
    const int present = markOccupied(*p->stands, world_.liveHolders());
    if (present < wanted_) {
        fill(*p, present, false);
    }
    gf_board().staticParkingActive = true;
    publishFigures();
}

void StaticParking::renew() {
    auto p = prepare(true);
    if (!p) {
        return;
    }
    logDayLine(p->slot);
    saveLearned();
    std::vector<StandRecord>& stands = *p->stands;
    new_.clear();
    wanted_ = gf_wantedStatic(p->rules, stands.size());

    // Live parked aircraft beyond the wanted number make room, the longest parked first.
    std::vector<LiveHolder> live = world_.liveHolders();
    std::vector<LiveHolder*> parked;
    for (LiveHolder& h : live) {
        if (h.parked) {
            parked.push_back(&h);
        }
    }
    if (wanted_ > 0 && static_cast<int>(parked.size()) > wanted_) {
        const int surplus = static_cast<int>(parked.size()) - wanted_;
        showStatus(fmt::format("Parking adjustments: {} more live ac than wanted", surplus));
        std::stable_sort(
            parked.begin(), parked.end(),
            [](const LiveHolder* a, const LiveHolder* b) { return a->timeParked < b->timeParked; });
        for (int i = 0; i < surplus; ++i) {
            const StandRecord* s =
                gf_standByNumber(stands, parked[static_cast<std::size_t>(i)]->stand);
            gf_logLine("live parked {} at {} removed",
                       parked[static_cast<std::size_t>(i)]->callsign,
                       s != nullptr ? s->id : std::string());
            world_.removeLive(parked[static_cast<std::size_t>(i)]->aircraftId);
            parked[static_cast<std::size_t>(i)]->stand = 0;
        }
        std::erase_if(live, [](const LiveHolder& h) { return h.stand == 0; });
    }

    // Who stays: a static aircraft whose flight still fits; the others are marked.
    std::vector<StaticEntry*> staying;
    std::vector<StaticEntry*> marked;
    for (StaticEntry& e : aircraft_) {
        if (e.state == StaticState::Removing || e.gone) {
            continue;
        }
        const StandRecord* s = gf_standByNumber(stands, e.stand);
        const bool due = wanted_ > 0 && s != nullptr && gf_staticStillDue(*s, e, p->slot);
        (due ? staying : marked).push_back(&e);
    }
    // More than wanted stand now: the earliest occupancy goes first.
    const int liveCount = static_cast<int>(live.size());
    std::stable_sort(staying.begin(), staying.end(),
                     [](const StaticEntry* a, const StaticEntry* b) {
                         return a->occupancySlot() > b->occupancySlot();
                     });
    while (!staying.empty() && liveCount + static_cast<int>(staying.size()) > wanted_) {
        marked.push_back(staying.back());
        staying.pop_back();
    }
    for (const LiveHolder& h : live) {
        if (StandRecord* s = gf_standByNumber(stands, h.stand)) {
            s->takenByLive = true;
        }
    }
    for (StaticEntry* e : staying) {
        if (StandRecord* s = gf_standByNumber(stands, e->stand)) {
            s->takenByStatic = true;
        }
    }
    const int occupied = liveCount + static_cast<int>(staying.size());
    if (wanted_ - static_cast<int>(new_.size()) != occupied && wanted_ > occupied) {
        // The marked ones do not count as shown: their flight may come back on its stand.
        for (StaticEntry* e : marked) {
            e->gone = true;
        }
        fill(*p, occupied, true);
        for (StaticEntry* e : marked) {
            e->gone = false;
        }
    }
    // A marked aircraft whose flight came back on its own stand keeps its place.
    std::size_t removals = 0;
    for (StaticEntry* e : marked) {
        auto same = std::find_if(new_.begin(), new_.end(), [&](const StaticEntry& n) {
            return n.stand == e->stand && n.callsign == e->callsign;
        });
        if (same != new_.end()) {
            e->fit = same->fit;
            e->day = same->day;
            e->halfHour = same->halfHour;
            e->kind = same->kind;
            new_.erase(same);
            continue;
        }
        gf_logLine("{:8}: {:8} removed by the renewal", e->standId, e->callsign);
        removeEntry(*e);
        ++removals;
    }
    showStatus(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", removals,
                           new_.size()));
    dropFinished();
    gf_board().staticParkingActive = wanted_ > 0;
    publishFigures();
}

void StaticParking::saveLearned() {
    world_.saveLearned();
}

void StaticParking::publishFigures() {
    StatusBoard::ParkingFigures& f = gf_board().parking;
    const ParkSite site = world_.parkSite();
    const std::size_t n = site.file != nullptr ? site.file->stands.size() : 0;
    int placed = 0;
    for (const StaticEntry& e : aircraft_) {
        placed += (e.state == StaticState::Queued || e.state == StaticState::Active) ? 1 : 0;
    }
    int liveParked = 0;
    for (const LiveHolder& h : world_.liveHolders()) {
        liveParked += h.parked ? 1 : 0;
    }
    f.wanted = wanted_;
    f.wantedPercent = gf_percent(wanted_, static_cast<double>(n));
    f.staticCount = placed;
    f.liveParked = liveParked;
    f.realFitHours = realFit_;
    f.softFitHours = softFit_;
}

}  // namespace wnd
