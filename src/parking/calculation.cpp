#include "parking/calculation.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <gsl/gsl>

#include "settings/settings.h"
#include "util/log.h"

namespace wnd {

namespace {
constexpr int kHalfHours = 48;

double fitHours(int f) {
    return (f + 1) * 0.5;
}
}  // namespace

std::string_view gf_fillKindName(FillKind k) {
    switch (k) {
        case FillKind::Real:
            return "real";
        case FillKind::WeekReal:
            return "week/real";
        case FillKind::Soft:
            return "soft";
        case FillKind::WeekSoft:
            return "week/soft";
    }
    return "?";
}

ParkingRules ParkingRules::fromSettings() {
    const Settings& s = gs();
    ParkingRules r;
    r.maxParkSel = s.MAX_PARK_SEL.value();
    const int custom = s.CUSTOM_PARKING_PERCENTAGE.value();
    r.percentage = custom >= 0 ? custom : s.parking_percentage.value();
    r.week = s.WEEK.value();
    r.soft = s.PARK_SOFT.value();
    r.random = s.RANDOM.value();
    r.helicopters = s.HELICOPTERS.value();
    r.maxFit = std::clamp(s.MAX_FIT.value(), 0, kHalfHours - 1);
    r.maxFitHours = s.MAX_FIT_FL.value();
    return r;
}

int gf_wantedStatic(const ParkingRules& r, std::size_t stands) {
    if (r.maxParkSel <= 0) {
        return 0;
    }
    const double n = static_cast<double>(stands);
    int wanted = 1;
    if (stands > 1 && (stands > 3 || r.percentage >= 50)) {
        // std::round rounds half away from zero; a count beyond int is a fault of ours.
        wanted = gsl::narrow<int>(static_cast<long long>(std::round(r.percentage * n / 100.0)));
    }
    return std::min(r.maxParkSel, wanted);
}

WeekSlot gf_slotBefore(WeekSlot s, int f) {
    s.halfHour -= f;
    while (s.halfHour < 0) {
        s.halfHour += kHalfHours;
        s.day = s.day == 1 ? 7 : s.day - 1;
    }
    return s;
}

StandRecord* gf_standByNumber(std::vector<StandRecord>& stands, std::uint32_t number) {
    if (number >= 1 && number <= stands.size() && stands[number - 1].number == number) {
        return &stands[number - 1];
    }
    for (StandRecord& s : stands) {
        if (s.number == number) {
            return &s;
        }
    }
    return nullptr;
}

const StandRecord* gf_standByNumber(const std::vector<StandRecord>& stands, std::uint32_t number) {
    return gf_standByNumber(const_cast<std::vector<StandRecord>&>(stands), number);
}

std::vector<std::string_view> gf_flightCallsigns(std::string_view recorded) {
    std::vector<std::string_view> out;
    while (!recorded.empty()) {
        const std::size_t colon = recorded.find(':');
        const std::string_view one = recorded.substr(0, colon);
        if (!one.empty()) {
            out.push_back(one);
        }
        if (colon == std::string_view::npos) {
            break;
        }
        recorded.remove_prefix(colon + 1);
    }
    return out;
}

namespace {

bool flightBusy(const FlightRecord& f, const std::unordered_set<std::string>& busy) {
    if (!f.registration.empty() && busy.contains(f.registration)) {
        return true;
    }
    for (std::string_view cs : gf_flightCallsigns(f.callsign)) {
        if (busy.contains(std::string(cs))) {
            return true;
        }
    }
    return false;
}

void markBusy(const FlightRecord& f, std::unordered_set<std::string>& busy) {
    if (!f.registration.empty()) {
        busy.insert(f.registration);
    }
    for (std::string_view cs : gf_flightCallsigns(f.callsign)) {
        busy.emplace(cs);
    }
}

// A neighbour that an aircraft stands on (or that is kept free) would collide.
bool neighbourTaken(std::vector<StandRecord>& stands, const StandRecord& s) {
    for (std::uint32_t n : s.neighbours) {
        const StandRecord* o = gf_standByNumber(stands, n);
        if (o != nullptr && (o->takenByStatic || o->takenByLive)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void lf_standMatch(FillContext& c, int f, FillKind kind) {
    const bool soft = gf_isSoftKind(kind);
    const bool week = gf_isWeekKind(kind);
    const WeekSlot back = gf_slotBefore(c.slot, f);
    std::vector<std::size_t> candidates;
    for (StandRecord& s : c.stands) {
        if (s.takenByStatic || s.takenByLive || (s.heli && !c.rules.helicopters)) {
            continue;
        }
        candidates.clear();
        for (std::size_t i = 0; i < s.flights.size(); ++i) {
            const FlightRecord& fl = s.flights[i];
            if (!fl.valid || fl.ordinal == 0 || fl.soft != soft ||
                !fl.bits.test(static_cast<std::size_t>(back.halfHour)) ||
                (!week && fl.day != back.day)) {
                continue;
            }
            candidates.push_back(i);
        }
        if (candidates.empty() || neighbourTaken(c.stands, s)) {
            continue;
        }
        if (candidates.size() >= 2 && c.rules.random) {
            auto keeper = c.keepers.find(s.number);
            auto first = candidates.end();
            if (keeper != c.keepers.end()) {
                first = std::find_if(candidates.begin(), candidates.end(), [&](std::size_t i) {
                    const auto cs = gf_flightCallsigns(s.flights[i].callsign);
                    return std::find(cs.begin(), cs.end(), keeper->second) != cs.end();
                });
            }
            if (first != candidates.end()) {
                std::iter_swap(candidates.begin(), first);
            } else {
                std::shuffle(candidates.begin(), candidates.end(), c.rng);
            }
        }
        for (std::size_t i : candidates) {
            FlightRecord& fl = s.flights[i];
            if (flightBusy(fl, c.busy)) {
                fl.ordinal = 0;  // its aircraft stands elsewhere: not tried again
                continue;
            }
            StaticEntry e;
            e.stand = s.number;
            e.standId = s.id;
            e.lat = s.lat;
            e.lon = s.lon;
            e.heading = s.heading;
            e.standFlag = s.ramp;
            e.airline = fl.airline;
            e.type = fl.type;
            e.registration = fl.registration;
            const auto cs = gf_flightCallsigns(fl.callsign);
            e.callsign = cs.empty() ? std::string() : std::string(cs.front());
            e.flightCallsigns = fl.callsign;
            e.kind = kind;
            e.fit = f;
            e.flight = i;
            // The occupancy began where the flight's unbroken run of half hours began.
            e.day = week ? fl.day : back.day;
            e.halfHour = back.halfHour;
            while (e.halfHour > 0 && fl.bits.test(static_cast<std::size_t>(e.halfHour - 1))) {
                --e.halfHour;
            }
            c.added.push_back(std::move(e));
            markBusy(fl, c.busy);
            s.takenByStatic = true;
            break;
        }
    }
}

int lf_fillStep(FillContext& c, FillKind kind, int present, int wanted) {
    const std::size_t before = c.added.size();
    int f = 0;
    for (; f <= c.rules.maxFit; ++f) {
        lf_standMatch(c, f, kind);
        if (present + static_cast<int>(c.added.size()) >= wanted) {
            break;
        }
    }
    const int reached = std::min(f, c.rules.maxFit);
    const int added = static_cast<int>(c.added.size() - before);
    if (kind == FillKind::Real) {
        c.realFitHours = fitHours(reached);
    } else if (kind == FillKind::Soft) {
        c.softFitHours = fitHours(reached);
    }
    if (added > 0) {
        std::string day;
        std::string hours;
        if (!gf_isWeekKind(kind)) {
            day = fmt::format(", day {}", c.slot.day);
            hours = fmt::format(", hh:{} or {:.1F} hrs, fit: {:.1F} hour", c.slot.halfHour,
                                c.slot.halfHour * 0.5, fitHours(reached));
        }
        gf_logLine("{} {} position{} found, Max fit={:.1F} hours{}{}", added, gf_fillKindName(kind),
                   added == 1 ? "" : "s", c.rules.maxFitHours, day, hours);
    }
    return added;
}

void gf_fillStaticSet(FillContext& c, int present, int wanted) {
    auto shortOf = [&] { return present + static_cast<int>(c.added.size()) < wanted; };
    if (shortOf()) {
        lf_fillStep(c, FillKind::Real, present, wanted);
    }
    if (c.rules.week && shortOf()) {
        lf_fillStep(c, FillKind::WeekReal, present, wanted);
    }
    if (c.rules.soft && shortOf()) {
        lf_fillStep(c, FillKind::Soft, present, wanted);
    }
    if (c.rules.soft && c.rules.week && shortOf()) {
        lf_fillStep(c, FillKind::WeekSoft, present, wanted);
    }
}

void gf_sortAndTrim(std::vector<StaticEntry>& list, std::vector<StandRecord>& stands,
                    const LatLon& from, int keep) {
    std::vector<std::pair<double, std::size_t>> order;
    order.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        order.emplace_back(gf_distanceNm(from, {list[i].lat, list[i].lon}), i);
    }
    std::stable_sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        const StaticEntry& x = list[a.second];
        const StaticEntry& y = list[b.second];
        if (x.kind != y.kind) {
            return x.kind < y.kind;
        }
        if (x.fit != y.fit) {
            return x.fit < y.fit;
        }
        return a.first < b.first;
    });
    std::vector<StaticEntry> sorted;
    sorted.reserve(list.size());
    for (const auto& o : order) {
        sorted.push_back(std::move(list[o.second]));
    }
    const std::size_t n = static_cast<std::size_t>(std::max(0, keep));
    while (sorted.size() > n) {
        if (StandRecord* s = gf_standByNumber(stands, sorted.back().stand)) {
            s->takenByStatic = false;
        }
        sorted.pop_back();
    }
    std::reverse(sorted.begin(), sorted.end());
    list = std::move(sorted);
}

bool gf_staticStillDue(const StandRecord& stand, const StaticEntry& e, WeekSlot slot) {
    const bool soft = gf_isSoftKind(e.kind);
    const bool week = gf_isWeekKind(e.kind);
    for (int k = 0; k <= e.fit; ++k) {
        const WeekSlot back = gf_slotBefore(slot, k);
        for (const FlightRecord& fl : stand.flights) {
            if (fl.valid && fl.soft == soft &&
                fl.bits.test(static_cast<std::size_t>(back.halfHour)) &&
                (week || fl.day == back.day) && fl.registration == e.registration &&
                fl.callsign == e.flightCallsigns) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace wnd
