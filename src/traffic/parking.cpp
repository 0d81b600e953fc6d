// Parking of live aircraft at the park airport: the stand search, the stand of an aircraft
// that appears standing, try2Park at the end of a taxi, who keeps a stand two aircraft
// want, static aircraft making way, the arrival at the stand and the live park limit.
#include <algorithm>
#include <cmath>

#include "airports/stand_learning.h"
#include "board/status_board.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "traffic/engine.h"
#include "traffic/ground.h"
#include "traffic/motion.h"
#include "util/log.h"
#include "util/program_time.h"

namespace wnd {

namespace {
constexpr double kFitToleranceNm = 0.0009719222462203025;   // 1.8 m
constexpr double kCloseEnoughNm = 0.010799136069114472;     // 20 m
constexpr double kAirlineNm = 0.0458963282937365;           // 85 m
constexpr double kEnlargeMarginNm = 0.0005399568034557236;  // 1 m
constexpr double kSearchLandedNm = 0.029697624190064796;    // 55 m
constexpr double kSpawnNearAirportNm = 5.0;
constexpr double kTaxiingNm = 0.018898488120950324;   // 35 m
constexpr double kOnStandNm = 0.0010799136069114472;  // 2 m
constexpr double kSamePositionDeg = 1e-8;
// A holder whose reports kept coming this recently still stands there for real.
constexpr std::int64_t kReportsRecentS = 60;

bool endsWithGhostMark(const std::string& cs) {
    return !cs.empty() && cs.back() == '_';
}
bool isPlusOne(const std::string& longer, const std::string& shorter) {
    return longer.size() == shorter.size() + 1 && longer.starts_with(shorter);
}
bool holdsStandPhase(FlightPhase p) {
    return p == FlightPhase::Parked || p == FlightPhase::PushingBack ||
           p == FlightPhase::PushedBack;
}
}  // namespace

void LiveEngine::setParkAirport(std::optional<EngineParkAirport> park) {
    park_ = std::move(park);
    followParkAirport();
}

void LiveEngine::followParkAirport() {
    const std::uint64_t gen = park_ && park_->file != nullptr ? park_->generation : 0;
    const std::size_t n = park_ && park_->file != nullptr ? park_->file->stands.size() : 0;
    if (gen == standsOf_ && standHolders_.size() == n) {
        return;
    }
    // Another airport or file: the stands the live aircraft held belong to the old one.
    standsOf_ = gen;
    standHolders_.assign(n, 0);
    for (LiveAircraft& ac : live_) {
        ac.hasStand = false;
        ac.standIndex = 0;
    }
}

std::vector<StandRecord>* LiveEngine::parkStands() const {
    if (!park_ || park_->file == nullptr || park_->file->stands.empty()) {
        return nullptr;
    }
    return &park_->file->stands;
}

StandRecord* LiveEngine::standByNumber(std::uint32_t number) const {
    std::vector<StandRecord>* stands = parkStands();
    if (stands == nullptr || number < 1 || number > stands->size()) {
        return nullptr;
    }
    StandRecord& s = (*stands)[number - 1];
    return s.number == number ? &s : nullptr;
}

std::string LiveEngine::standName(const LiveAircraft& ac) const {
    const StandRecord* s = ac.hasStand ? standByNumber(ac.standIndex) : nullptr;
    return s != nullptr ? s->id : std::string();
}

LiveAircraft* LiveEngine::standHolder(std::uint32_t stand) {
    if (stand < 1 || stand > standHolders_.size() || standHolders_[stand - 1] == 0) {
        return nullptr;
    }
    LiveAircraft* ac = findById(standHolders_[stand - 1]);
    if (ac == nullptr || !ac->hasStand || ac->standIndex != stand) {
        standHolders_[stand - 1] = 0;
        return nullptr;
    }
    return ac;
}

StandRecord* LiveEngine::standSearch(const LatLon& p, const LiveAircraft& ac, double radiusNm,
                                     bool landed) {
    std::vector<StandRecord>* stands = parkStands();
    if (stands == nullptr) {
        return nullptr;
    }
    const double half = gf_halfWingspan(ac.model);
    const bool heli = ac.categoryId() == category::kRotorcraft;
    StandRecord* best = nullptr;
    double bestNm = radiusNm;
    StandRecord* airline = nullptr;
    double airlineNm = kAirlineNm;
    // A box around the search point rules out most stands before any distance is worked out.
    const double boxLat = radiusNm / 60.0;
    const double boxLon = boxLat / std::max(0.01, std::cos(p.lat * kDeg2Rad));
    for (StandRecord& s : *stands) {
        if (s.heli != heli || std::abs(s.lat - p.lat) > boxLat ||
            std::abs(s.lon - p.lon) > boxLon) {
            continue;
        }
        // A stand whose holder keeps it is not on offer; the others are resolved by the caller.
        if (const LiveAircraft* holder = standHolder(s.number);
            holder != nullptr && holderVerdict(*holder, ac) == HolderVerdict::Keeps) {
            continue;
        }
        const double d = gf_distanceNm(p, {s.lat, s.lon});
        if (d > radiusNm) {
            continue;
        }
        const bool fits = half - s.radiusNm <= kFitToleranceNm;
        if (!fits && d > kCloseEnoughNm) {
            continue;
        }
        if (d < bestNm || best == nullptr) {
            best = &s;
            bestNm = d;
        }
        // The stand's airlines are those of the flights seen there.
        if (landed && fits && d <= airlineNm && !ac.airline.empty() &&
            std::any_of(s.flights.begin(), s.flights.end(),
                        [&](const FlightRecord& f) { return f.airline == ac.airline; })) {
            airline = &s;
            airlineNm = d;
        }
    }
    StandRecord* chosen = airline != nullptr ? airline : best;
    if (chosen != nullptr && half - chosen->radiusNm > kFitToleranceNm) {
        chosen->radiusNm = half - kEnlargeMarginNm;
        chosen->radiusChange = true;
        gf_board().parking.enlargedStands.fetch_add(1);
    }
    return chosen;
}

// The user aircraft's own stand stays free for it.
bool LiveEngine::isUserStand(const StandRecord& s) const {
    return userOnGround_ &&
           gf_distanceNm({user_.latitude, user_.longitude}, {s.lat, s.lon}) < kSearchLandedNm;
}

LiveEngine::HolderVerdict LiveEngine::holderVerdict(const LiveAircraft& holder,
                                                    const LiveAircraft& ac) const {
    if (&holder == &ac || holder.state != LiveState::Active || !holdsStandPhase(holder.phase)) {
        return HolderVerdict::None;
    }
    const std::string& c = ac.callsign;
    const std::string& h = holder.callsign;
    if (h == c) {
        return HolderVerdict::SameCallsign;
    }
    if (isPlusOne(c, h)) {
        return HolderVerdict::Keeps;
    }
    if (isPlusOne(h, c) || (endsWithGhostMark(h) && !endsWithGhostMark(c))) {
        return HolderVerdict::Ghost;
    }
    if (endsWithGhostMark(c) && !endsWithGhostMark(h)) {
        return HolderVerdict::Keeps;
    }
    // Reports that keep coming from the stand: it really stands there.
    if (world_.now() - holder.timeParked < kReportsRecentS) {
        return HolderVerdict::Keeps;
    }
    return HolderVerdict::Stale;
}

bool LiveEngine::holderKeepsStand(LiveAircraft& holder, const LiveAircraft& ac,
                                  const StandRecord& s) {
    switch (holderVerdict(holder, ac)) {
        case HolderVerdict::None:
            return false;
        case HolderVerdict::Keeps:
            return true;
        case HolderVerdict::SameCallsign:
            gf_logLine("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", s.id,
                       holder.callsign, ac.callsign);
            break;
        case HolderVerdict::Ghost:
            gf_logLine("{:8}: {:8} ghost, replace by {}", s.id, holder.callsign, ac.callsign);
            break;
        case HolderVerdict::Stale:
            gf_logLine("{:8}: {:8} removed because another live {} wants the stand ...", s.id,
                       holder.callsign, ac.callsign);
            break;
    }
    removeAircraftFromSim(holder);
    return false;
}

bool LiveEngine::neighbourCollides(const LiveAircraft& ac, const StandRecord& s, bool removeIt) {
    const double half = gf_halfWingspan(ac.model);
    for (const std::uint32_t n : s.neighbours) {
        LiveAircraft* o = standHolder(n);
        const StandRecord* ns = standByNumber(n);
        if (o == nullptr || ns == nullptr || o == &ac || o->state != LiveState::Active ||
            o->callsign == ac.callsign ||
            (o->phase != FlightPhase::Parked && o->phase != FlightPhase::PushingBack)) {
            continue;
        }
        if (gf_distanceNm({s.lat, s.lon}, {ns->lat, ns->lon}) >=
            1.1 * (half + gf_halfWingspan(o->model))) {
            continue;
        }
        if (!removeIt) {
            return true;
        }
        gf_logLine("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                   ns->id, o->callsign, ac.callsign, s.id);
        removeAircraftFromSim(*o);
    }
    return false;
}

void LiveEngine::makeWay(const LiveAircraft& ac, const StandRecord& s) {
    if (static_ == nullptr) {
        return;
    }
    if (const std::optional<StaticOnStand> st = static_->staticOnStand(s.number)) {
        const bool same = st->callsign == ac.callsign ||
                          (!st->registration.empty() && st->registration == ac.registration);
        gf_logLine("{}{:8}: {:8} {} makes way for{} {} {}", st->active ? "" : "queued ", s.id,
                   st->callsign, st->registration, same ? " the same live version" : "",
                   ac.callsign, ac.registration);
        static_->removeStaticOnStand(s.number);
    }
    const double half = gf_halfWingspan(ac.model);
    for (const std::uint32_t n : s.neighbours) {
        const StandRecord* ns = standByNumber(n);
        const std::optional<StaticOnStand> st =
            ns != nullptr ? static_->staticOnStand(n) : std::nullopt;
        if (!st || !st->active) {
            continue;
        }
        if (1.1 * (st->halfWingspanNm + half) >=
            gf_distanceNm({s.lat, s.lon}, {ns->lat, ns->lon})) {
            gf_logLine("{:8}: {:8} makes way for {} parking at excluded stand {}", ns->id,
                       st->callsign, ac.callsign, s.id);
            static_->removeStaticOnStand(n);
        }
    }
}

void LiveEngine::takeStand(LiveAircraft& ac, StandRecord& s) {
    freeStand(ac);
    ac.standLat = s.lat;
    ac.standLon = s.lon;
    ac.standHeading = s.heading;
    ac.standIndex = s.number;
    ac.standFlag = s.ramp;
    ac.hasStand = true;
    if (s.number >= 1 && s.number <= standHolders_.size()) {
        standHolders_[s.number - 1] = ac.aircraftId;
    }
    s.takenByLive = true;
    if (static_ != nullptr) {
        static_->standTakenByLive(s.number);
    }
}

void LiveEngine::freeStand(LiveAircraft& ac) {
    if (ac.hasStand && ac.standIndex >= 1 && ac.standIndex <= standHolders_.size() &&
        standHolders_[ac.standIndex - 1] == ac.aircraftId) {
        standHolders_[ac.standIndex - 1] = 0;
        if (StandRecord* s = standByNumber(ac.standIndex)) {
            s->takenByLive = false;
        }
    }
    ac.hasStand = false;
    ac.standIndex = 0;
}

bool LiveEngine::findStandAt(LiveAircraft& ac) {
    if (parkStands() == nullptr || ac.stream.empty()) {
        return false;
    }
    StreamPoint& first = ac.stream.front();
    if (gf_distanceNm({first.lat, first.lon}, park_->position) > kSpawnNearAirportNm) {
        return false;
    }
    const StreamPoint& last = ac.stream.back();
    if (!first.groundHold &&
        ((ac.stream.size() > 1 && ac.stream[1].groundSpeed > 5.0) ||
         gf_distanceNm({first.lat, first.lon}, {last.lat, last.lon}) > kTaxiingNm)) {
        return false;  // taxiing
    }
    StandRecord* s = standSearch({last.lat, last.lon}, ac, kSearchLandedNm, first.groundHold);
    if (s == nullptr || isUserStand(*s)) {
        return false;
    }
    if (LiveAircraft* holder = standHolder(s->number);
        holder != nullptr && holderKeepsStand(*holder, ac, *s)) {
        ac.removeNow = true;
        return false;
    }
    if (neighbourCollides(ac, *s, false)) {
        ac.removeNow = true;
        return false;
    }
    makeWay(ac, *s);
    first.groundHold = true;
    first.groundSpeed = 0.0;
    takeStand(ac, *s);
    applyParkLimit(true);
    arrivedAtStand(ac, static_cast<int>(StandSeen::Spawned));
    return true;
}

bool LiveEngine::try2Park(LiveAircraft& ac, bool landed) {
    if (ac.stream.empty()) {
        gf_logWarning("{} empty sz?", "try2Park");
        return false;
    }
    const StreamPoint& newest = ac.stream.back();
    if (std::abs(newest.lat - ac.lastParkTry.lat) < kSamePositionDeg &&
        std::abs(newest.lon - ac.lastParkTry.lon) < kSamePositionDeg) {
        return false;
    }
    ac.lastParkTry = {newest.lat, newest.lon};
    StandRecord* s = standSearch({newest.lat, newest.lon}, ac,
                                 landed ? kSearchLandedNm : kCloseEnoughNm, landed);
    if (s == nullptr || isUserStand(*s)) {
        return false;
    }
    if (LiveAircraft* holder = standHolder(s->number); holder != nullptr && holder != &ac &&
                                                       holder->state == LiveState::Active &&
                                                       holder->phase == FlightPhase::Parked) {
        gf_logLine("{:8}: {:8} removed, {} wants to park there", s->id, holder->callsign,
                   ac.callsign);
        removeAircraftFromSim(*holder);
    }
    neighbourCollides(ac, *s, true);
    makeWay(ac, *s);
    takeStand(ac, *s);
    // Keep the point reached and the newest one; the drive to the stand follows.
    while (ac.stream.size() > 2) {
        ac.stream.erase(ac.stream.begin() + 1);
    }
    ac.holding = false;
    setPhase(ac, FlightPhase::Parking);
    drive2Stand(ac, *s);
    return true;
}

bool LiveEngine::parkingEnd(LiveAircraft& ac) {
    StandRecord* s = ac.hasStand ? standByNumber(ac.standIndex) : nullptr;
    if (s == nullptr) {
        setPhase(ac, FlightPhase::Taxi);
        return extendStream(ac);
    }
    if (LiveAircraft* holder = standHolder(s->number); holder != nullptr && holder != &ac) {
        ac.respawnCount = 1;
        removeAircraftFromSim(ac);
        return true;
    }
    if (gf_distanceNm({ac.lat, ac.lon}, {s->lat, s->lon}) > kOnStandNm) {
        setPhase(ac, FlightPhase::Taxi);
        return extendStream(ac);
    }
    setPhase(ac, FlightPhase::Parked);
    if (ac.towed) {
        gf_logLine("          towed aircraft {} parks", ac.callsign);
    }
    StreamPoint& front = ac.stream.front();
    front.lat = s->lat;
    front.lon = s->lon;
    front.groundHold = true;
    front.groundSpeed = 0.0;
    front.dueCycle = cycle() + 300;
    ac.lat = s->lat;
    ac.lon = s->lon;
    ac.trueAirspeed = 0.0;
    ac.timeParked = world_.now();
    ac.leaveRefNm = -1.0;
    ac.leaveMaxNm = 0.0;
    ac.leaveMoves = 0;
    world_.commands().setParkedConfiguration(ac.controls, ac.standFlag);
    gf_logLine("{:8}: {:8} arrived at stand", s->id, ac.callsign);
    arrivedAtStand(ac, static_cast<int>(StandSeen::Arrived));
    applyParkLimit(false);
    return true;
}

void LiveEngine::arrivedAtStand(LiveAircraft& ac, int kind) {
    StandRecord* s = standByNumber(ac.standIndex);
    if (s == nullptr) {
        return;
    }
    // A stand marked for cargo where a passenger aircraft of the registration data parks
    // serves passenger aircraft too.
    if (s->cargo && !ac.registration.empty()) {
        if (const std::optional<DbaseInfo> info = gf_lookupRegistration(ac.registration);
            info && !info->cargo) {
            s->cargo = false;
            s->cargoChange = true;
            gf_logWarning("{} stand: {}, cargo attribute set to false, {} parked here", park_->code,
                          s->id, ac.ident());
        }
    }
    learnStand(ac, kind);
}

void LiveEngine::learnStand(const LiveAircraft& ac, int kind) {
    std::vector<StandRecord>* stands = parkStands();
    if (stands == nullptr || !ac.hasStand) {
        return;
    }
    LearnAircraft l;
    l.registration = ac.registration;
    l.airline = ac.airline;
    l.model = ac.model;
    l.callsign = ac.callsign;
    l.heavy = ac.categoryId() == category::kHeavy;
    l.longStay = ac.longStay || ac.towed;
    lf_addRealStandOption(*stands, ac.standIndex, l, static_cast<StandSeen>(kind),
                          gf_weekSlotOf(world_.now()));
}

void LiveEngine::parkingBookkeeping(LiveAircraft& ac) {
    ac.touchdown = true;
    if (ac.phase != FlightPhase::Parked || !ac.hasStand) {
        return;
    }
    gf_logLine("{:8}: {:8} parks", standName(ac), ac.callsign);
    if (static_ == nullptr) {
        return;
    }
    static_->standTakenByLive(ac.standIndex);
    if (const std::optional<StaticOnStand> st = static_->staticOnStand(ac.standIndex);
        st && st->active) {
        gf_logLine("{:8}: {:8} parks over static {}", standName(ac), ac.callsign, st->callsign);
        static_->removeStaticOnStand(ac.standIndex);
    }
}

void LiveEngine::applyParkLimit(bool aboutToPark) {
    if (static_ == nullptr) {
        return;
    }
    const int limit = static_->parkLimit();
    if (limit < 1) {
        return;
    }
    std::vector<LiveAircraft*> parked;
    for (LiveAircraft& ac : live_) {
        if (ac.state == LiveState::Active && ac.phase == FlightPhase::Parked && ac.hasStand) {
            parked.push_back(&ac);
        }
    }
    int count = static_cast<int>(parked.size()) + (aboutToPark ? 1 : 0);
    if (count > limit && !gs().INITIAL_LOAD_ONLY.value() && !parked.empty()) {
        // The one that has stood longest without news goes first.
        LiveAircraft* oldest = *std::min_element(parked.begin(), parked.end(),
                                                 [](const LiveAircraft* a, const LiveAircraft* b) {
                                                     return a->timeParked < b->timeParked;
                                                 });
        gf_logLine("{:8}: {} live max park exceeded, removed", standName(*oldest), oldest->ident());
        removeAircraftFromSim(*oldest);
        --count;
    }
    if (static_->staticCount() + count > limit) {
        if (const auto removed = static_->removeEarliestStatic()) {
            gf_logLine("{:8}: {} static max park exceeded, removed", removed->first,
                       removed->second);
        }
    }
}

}  // namespace wnd
