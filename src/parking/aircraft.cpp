// The static aircraft in the simulator: their ids, placing one at a time, removing them,
// and what the live engine asks of them.
#include <algorithm>

#include "board/status_board.h"
#include "liveries/matching.h"
#include "parking/static_parking.h"
#include "util/log.h"

namespace wnd {

namespace {
// Wingtips of aircraft on stands side by side keep this share of their spans apart.
constexpr double kClearance = 1.05;
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
            freeStand(e.stand);
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
    // Stands closer than the two aircraft's half wingspans collide whatever their radii say
    // (stock radii are often smaller than what parks there).
    const double half = world_.halfWingspanNm(e.type);
    const auto tooClose = [&](std::uint32_t other, std::string_view type) {
        const StandRecord* os = gf_standByNumber(site.file->stands, other);
        return os != nullptr && other != e.stand &&
               gf_distanceNm({s->lat, s->lon}, {os->lat, os->lon}) <
                   kClearance * (half + world_.halfWingspanNm(type));
    };
    for (const LiveHolder& h : live) {
        if (tooClose(h.stand, h.model)) {
            gf_logLine(
                "{:8}: no static parking for {}, live aircraft {} is adjacent at {}, "
                "possibly colliding",
                e.standId, e.callsign, h.callsign,
                gf_standByNumber(site.file->stands, h.stand)->id);
            freeStand(e.stand);
            return false;
        }
    }
    for (const StaticEntry& o : aircraft_) {
        if (o.state != StaticState::Removing && !o.gone && tooClose(o.stand, o.type)) {
            gf_logLine(
                "{:8}: no static parking for {}, static aircraft {} is adjacent at {}, "
                "possibly colliding",
                e.standId, e.callsign, o.callsign, o.standId);
            freeStand(e.stand);
            return false;
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
    r.initPosition.Altitude = site.elevationFt;
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

void StaticParking::followNavLightSetting(bool on) {
    if (on != navLights_) {
        navLights_ = on;
        setNavLights(on);
    }
}

void StaticParking::setNavLights(bool on) {
    for (const StaticEntry& e : aircraft_) {
        if (e.state == StaticState::Active) {
            world_.commands().setNavLight(e.controls, on);
        }
    }
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
