// The static set's life: calculation at a park airport, the 16-second top-up, the renewal,
// placing one aircraft at a time, and what the live engine asks of it.
#include "parking/static_parking.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include "board/status_board.h"
#include "liveries/matching.h"
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

// ---- Aircraft ids ----

std::uint32_t StaticIds::allocate() {
    if (count_ >= kLastStaticAircraftId) {
        return 0;
    }
    // Onwards from the last one handed out, so that a freed id is not reused at once (a late
    // notice about its old object cannot be mistaken for the new one).
    std::uint32_t id = last_;
    for (std::uint32_t i = 0; i < kLastStaticAircraftId; ++i) {
        id = id % kLastStaticAircraftId + 1;
        if (!used_[id]) {
            used_[id] = true;
            ++count_;
            last_ = id;
            return id;
        }
    }
    return 0;
}

void StaticIds::release(std::uint32_t id) {
    if (id >= 1 && id <= kLastStaticAircraftId && used_[id]) {
        used_[id] = false;
        --count_;
    }
}

bool StaticIds::inUse(std::uint32_t id) const {
    return id >= 1 && id <= kLastStaticAircraftId && used_[id];
}

void StaticIds::clear() {
    std::fill(used_.begin(), used_.end(), false);
    last_ = 0;
    count_ = 0;
}

// ---- The static set ----

StaticParking::StaticParking(ParkingWorld& world) : world_(world) {}

void StaticParking::reset() {
    new_.clear();
    aircraft_.clear();
    ids_.clear();
    wanted_ = 0;
    savedUpdates_ = 0;
    realFit_ = -1.0;
    softFit_ = -1.0;
    followed_ = false;
    generation_ = 0;
    code_.clear();
    elevationFt_ = 0.0;
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
    removeAll();
    savedUpdates_ = 0;
    code_ = site.code;
    elevationFt_ = site.elevationFt;
    if (site.file == nullptr) {
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
    // Fewer wanted than stand now: the earliest occupancy goes first.
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
        gf_logLine("{:8}: {:8} leaves, its time here is over", e->standId, e->callsign);
        removeEntry(*e);
        ++removals;
    }
    showStatus(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", removals,
                           new_.size()));
    dropFinished();
    gf_board().staticParkingActive = wanted_ > 0;
    publishFigures();
}

void StaticParking::placeNext() {
    if (!new_.empty() && world_.pacing().staticCreationCount() == 0) {
        lf_detcs();
    }
}

bool StaticParking::lf_detcs() {
    if (new_.empty()) {
        return false;
    }
    StaticEntry e = std::move(new_.back());
    new_.pop_back();
    const ParkSite site = world_.parkSite();
    const StandRecord* s =
        site.file != nullptr ? gf_standByNumber(site.file->stands, e.stand) : nullptr;
    if (s == nullptr || s->id != e.standId) {
        gf_logLine("stand with id {} not found", e.standId);
        return false;
    }
    if (e.callsign.empty()) {
        gf_logLine("{} callsign is empty..", e.standId);
        freeStand(e.stand);
        return false;
    }
    const std::vector<LiveHolder> live = world_.liveHolders();
    for (const LiveHolder& h : live) {
        if (h.stand == e.stand) {
            gf_logLine("{:8}: no static parking for {}, live aircraft {} standing here", e.standId,
                       e.callsign, h.callsign);
            return false;
        }
    }
    for (std::uint32_t n : s->neighbours) {
        const StandRecord* ns = gf_standByNumber(site.file->stands, n);
        const std::string nid = ns != nullptr ? ns->id : std::to_string(n);
        for (const LiveHolder& h : live) {
            if (h.stand == n) {
                gf_logLine(
                    "{:8}: no static parking for {}, live aircraft {} is adjacent at {}, "
                    "possibly colliding",
                    e.standId, e.callsign, h.callsign, nid);
                freeStand(e.stand);
                return false;
            }
        }
        for (const StaticEntry& o : aircraft_) {
            if (o.stand == n && o.state != StaticState::Removing && !o.gone) {
                gf_logLine(
                    "{:8}: no static parking for {}, static aircraft {} is adjacent at {}, "
                    "possibly colliding",
                    e.standId, e.callsign, o.callsign, nid);
                freeStand(e.stand);
                return false;
            }
        }
    }
    MatchAircraft m;
    m.label = e.callsign;
    m.airline = e.airline;
    m.type = e.type;
    m.registration = e.registration;
    m.category = static_cast<TypeCategory>(world_.category(e.type));
    m.cargo = s->cargo;
    m.title = e.title;
    if (!world_.matchLivery(m) || m.title.empty()) {
        // Not tried again until the flights are numbered anew.
        StandRecord* ms = gf_standByNumber(site.file->stands, e.stand);
        if (e.flight < ms->flights.size()) {
            ms->flights[e.flight].ordinal = 0;
        }
        freeStand(e.stand);
        return false;
    }
    const std::uint32_t id = ids_.allocate();
    if (id == 0) {
        freeStand(e.stand);
        return false;
    }
    e.aircraftId = id;
    e.title = m.title;
    e.controls.category = world_.category(e.type);
    CreateRequest r;
    r.initPosition.Latitude = e.lat;
    r.initPosition.Longitude = e.lon;
    r.initPosition.Altitude = elevationFt_;
    r.initPosition.Pitch = 0.0;
    r.initPosition.Bank = 0.0;
    r.initPosition.Heading = e.heading * kRad2Deg;
    r.initPosition.OnGround = 1;
    r.initPosition.Airspeed = 0;
    r.tailNumber = e.callsign;
    r.liveryTitle = e.title;
    r.aircraftId = id;
    world_.pacing().queueStaticCreation(std::move(r));
    e.state = StaticState::Queued;
    aircraft_.push_back(std::move(e));
    publishFigures();
    return true;
}

void StaticParking::freeStand(std::uint32_t stand) {
    const ParkSite site = world_.parkSite();
    if (site.file == nullptr) {
        return;
    }
    if (StandRecord* s = gf_standByNumber(site.file->stands, stand)) {
        s->takenByStatic = false;
    }
}

void StaticParking::removeEntry(StaticEntry& e) {
    switch (e.state) {
        case StaticState::Chosen:
            e.gone = true;
            break;
        case StaticState::Queued:
            if (world_.pacing().cancelQueuedCreation(e.aircraftId)) {
                ids_.release(e.aircraftId);
                e.gone = true;
            } else {
                e.removeWhenIdentified = true;  // it is on its way: removed once identified
            }
            break;
        case StaticState::Active:
            world_.pacing().queueRemoval(e.controls.objectId);
            e.state = StaticState::Removing;
            break;
        case StaticState::Removing:
            return;
    }
    freeStand(e.stand);
}

void StaticParking::dropFinished() {
    std::erase_if(aircraft_, [](const StaticEntry& e) { return e.gone; });
}

void StaticParking::removeAll() {
    new_.clear();
    for (StaticEntry& e : aircraft_) {
        removeEntry(e);
    }
    dropFinished();
    gf_board().staticParkingActive = false;
    publishFigures();
}

void StaticParking::flightStopped() {
    for (StaticEntry& e : aircraft_) {
        if (e.state == StaticState::Queued && !world_.pacing().creationQueued(e.callsign)) {
            freeStand(e.stand);
            e.gone = true;
        }
    }
    dropFinished();
    publishFigures();
}

void StaticParking::setNavLights(bool on) {
    for (const StaticEntry& e : aircraft_) {
        if (e.state == StaticState::Active) {
            world_.commands().setNavLight(e.controls, on);
        }
    }
}

void StaticParking::saveLearned() {
    const ParkSite site = world_.parkSite();
    if (site.file == nullptr || site.file->handmade) {
        return;
    }
    int updates = 0;
    for (const StandRecord& s : site.file->stands) {
        for (const FlightRecord& f : s.flights) {
            updates += f.updated ? 1 : 0;
        }
    }
    if (updates == 0 || updates == savedUpdates_) {
        return;
    }
    const std::filesystem::path path =
        gf_learnedPathOf(site.filePath, site.file->publisher)
            .value_or(gf_learnedSavePath(site.code, site.file->publisher));
    if (gf_saveLearned(*site.file, path)) {
        savedUpdates_ = updates;
        gf_logLine("{}{} '{}' saved with {} update{}", gf_utcClock() + " ", site.code,
                   gf_pathText(path), updates, updates == 1 ? "" : "s");
    } else {
        gf_logWarning("{} saving '{}' did not succeed", site.code, gf_pathText(path));
    }
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

// ---- The live engine's side ----

StaticEntry* StaticParking::findAircraft(std::uint32_t aircraftId) {
    for (StaticEntry& e : aircraft_) {
        if (e.aircraftId == aircraftId && !e.gone) {
            return &e;
        }
    }
    return nullptr;
}

std::optional<StaticOnStand> StaticParking::staticOnStand(std::uint32_t stand) {
    for (const StaticEntry& e : aircraft_) {
        if (e.stand == stand && !e.gone &&
            (e.state == StaticState::Queued || e.state == StaticState::Active)) {
            return StaticOnStand{e.callsign,
                                 e.registration,
                                 e.type,
                                 e.halfWingspanNm,
                                 e.state == StaticState::Active,
                                 e.state == StaticState::Queued};
        }
    }
    return std::nullopt;
}

void StaticParking::removeStaticOnStand(std::uint32_t stand) {
    std::erase_if(new_, [&](const StaticEntry& e) { return e.stand == stand; });
    for (StaticEntry& e : aircraft_) {
        if (e.stand == stand && !e.gone) {
            removeEntry(e);
        }
    }
    dropFinished();
    publishFigures();
}

void StaticParking::standTakenByLive(std::uint32_t stand) {
    std::erase_if(new_, [&](const StaticEntry& e) { return e.stand == stand; });
    const ParkSite site = world_.parkSite();
    if (site.file != nullptr) {
        if (StandRecord* s = gf_standByNumber(site.file->stands, stand)) {
            s->takenByLive = true;
        }
    }
}

int StaticParking::staticCount() {
    int n = 0;
    for (const StaticEntry& e : aircraft_) {
        n += (e.state == StaticState::Active || e.state == StaticState::Removing) ? 1 : 0;
    }
    return n;
}

std::optional<std::pair<std::string, std::string>> StaticParking::removeEarliestStatic() {
    StaticEntry* earliest = nullptr;
    for (StaticEntry& e : aircraft_) {
        if (e.state == StaticState::Active &&
            (earliest == nullptr || e.occupancySlot() < earliest->occupancySlot())) {
            earliest = &e;
        }
    }
    if (earliest == nullptr) {
        return std::nullopt;
    }
    removeEntry(*earliest);
    publishFigures();
    return std::make_pair(earliest->standId, earliest->callsign);
}

void StaticParking::staticActivated(const SimNotice& n) {
    StaticEntry* e = findAircraft(n.aircraftId);
    if (e == nullptr || e->state != StaticState::Queued) {
        // Nothing of ours any more: the object must not stay in the simulator.
        if (n.objectId > 0 && (e == nullptr || e->controls.objectId != n.objectId)) {
            world_.pacing().queueRemoval(n.objectId);
        }
        return;
    }
    e->controls.objectId = n.objectId;
    if (e->removeWhenIdentified) {
        world_.pacing().queueRemoval(n.objectId);
        e->state = StaticState::Removing;
        return;
    }
    e->state = StaticState::Active;
    world_.commands().setParkedConfiguration(e->controls, e->standFlag);
    gf_logLine("{:8}: {:8} parked", e->standId, e->callsign);
    publishFigures();
}

bool StaticParking::staticRemoved(std::uint32_t objectId) {
    auto it = std::find_if(aircraft_.begin(), aircraft_.end(), [&](const StaticEntry& e) {
        return e.controls.objectId == objectId && objectId != 0;
    });
    if (it == aircraft_.end()) {
        return false;
    }
    if (it->state != StaticState::Removing) {
        freeStand(it->stand);  // removed by the simulator itself
    }
    ids_.release(it->aircraftId);
    aircraft_.erase(it);
    publishFigures();
    return true;
}

void StaticParking::staticCreationRefused(std::uint32_t aircraftId) {
    StaticEntry* e = findAircraft(aircraftId);
    if (e == nullptr) {
        return;
    }
    world_.creationRefused(e->callsign, e->title, e->type, e->airline);
    freeStand(e->stand);
    ids_.release(e->aircraftId);
    e->gone = true;
    dropFinished();
    publishFigures();
}

}  // namespace wnd
