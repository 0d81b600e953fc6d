#include "airports/stand_learning.h"

#include <algorithm>
#include <optional>

#include "board/status_board.h"
#include "refdata/dbase.h"

namespace wnd {

namespace {

constexpr int kHalfHoursPerWeek = 336;

StandRecord* findStand(std::vector<StandRecord>& stands, std::uint32_t number) {
    if (number < 1) {
        return nullptr;
    }
    // Numbered from 1 in file order; a search keeps working if a list was ever re-sorted.
    if (number <= stands.size() && stands[number - 1].number == number) {
        return &stands[number - 1];
    }
    const auto it =
        std::lower_bound(stands.begin(), stands.end(), number,
                         [](const StandRecord& s, std::uint32_t n) { return s.number < n; });
    return it != stands.end() && it->number == number ? &*it : nullptr;
}

int lastHalfHour(const SlotBits& bits) {
    for (int h = 47; h >= 0; --h) {
        if (bits.test(static_cast<std::size_t>(h))) {
            return h;
        }
    }
    return -1;
}

void countUpdate() {
    gf_board().parking.learnedUpdates.fetch_add(1);
    gf_requestRepaint();
}

// Appends a record holding `bits` for day `day`; nothing when the same one is there.
FlightRecord* addRecord(StandRecord& s, int day, const SlotBits& bits, const LearnAircraft& ac,
                        bool updated) {
    // Every record learning adds is new data for the learned file.
    if (ac.registration.empty()) {
        return nullptr;
    }
    for (const FlightRecord& f : s.flights) {
        if (f.day == day && f.registration == ac.registration && f.bits == bits) {
            return nullptr;
        }
    }
    FlightRecord f;
    f.airline = ac.airline;
    f.type = ac.model;
    f.registration = ac.registration;
    f.callsign = ac.callsign;
    f.day = day;
    f.bits = bits;
    f.standIndex = s.number;
    f.ordinal = static_cast<int>(s.flights.size()) + 1;
    f.soft = false;
    f.valid = true;
    f.updated = updated;
    s.flights.push_back(std::move(f));
    countUpdate();
    return &s.flights.back();
}

// Continues record `f` up to slot `now`: false when the gap is too long for one stay.
bool continueRecord(StandRecord& s, std::size_t fi, const LearnAircraft& ac, WeekSlot now) {
    const int lastH = lastHalfHour(s.flights[fi].bits);
    const int lastD = s.flights[fi].day;
    if (lastD == now.day && lastH == now.halfHour) {
        return true;
    }
    int gap = (now.day - lastD) * 48 + now.halfHour - lastH;
    if (gap < 0) {
        gap += kHalfHoursPerWeek;
    }
    const int limit = ac.longStay ? 12 : (ac.heavy ? 8 : 6);
    if (gap < 1 || gap >= limit) {
        return false;
    }
    if (lastD == now.day) {
        for (int h = lastH + 1; h <= now.halfHour; ++h) {
            s.flights[fi].bits.set(static_cast<std::size_t>(h));
        }
        return true;
    }
    // Across midnight: the old day's record runs to its end, a new one starts the new day.
    for (int h = lastH + 1; h <= 47; ++h) {
        s.flights[fi].bits.set(static_cast<std::size_t>(h));
    }
    SlotBits bits;
    for (int h = 0; h <= now.halfHour; ++h) {
        bits.set(static_cast<std::size_t>(h));
    }
    addRecord(s, now.day, bits, ac, true);
    return true;
}

}  // namespace

bool lf_addRealStandOption(std::vector<StandRecord>& stands, std::uint32_t stand,
                           const LearnAircraft& aircraft, StandSeen kind, WeekSlot now) {
    LearnAircraft ac = aircraft;
    if (!ac.registration.empty() && ac.registration.back() == '_') {
        ac.registration.pop_back();
    }
    if (ac.registration.empty()) {
        return false;
    }
    if (const std::optional<DbaseInfo> info = gf_lookupRegistration(ac.registration)) {
        const std::string& airline = info->opr.empty() ? info->airl : info->opr;
        if (!airline.empty()) {
            ac.airline = airline;
        }
        if (!info->type.empty()) {
            ac.model = info->type;
        }
    }
    StandRecord* s = findStand(stands, stand);
    if (s == nullptr) {
        return false;
    }
    const auto h = static_cast<std::size_t>(now.halfHour);
    const bool marks = kind == StandSeen::Report || kind == StandSeen::Extended;
    std::optional<std::size_t> real;
    for (std::size_t i = 0; i < s->flights.size(); ++i) {
        const FlightRecord& f = s->flights[i];
        if (f.day != now.day || f.registration != ac.registration || !f.valid) {
            continue;
        }
        // Soft data already expects this airframe at another time: it is not contradicted.
        if (f.soft && !f.bits.test(h)) {
            return false;
        }
        if (!f.soft && !real) {
            real = i;
        }
    }
    if (!real) {
        // A stay that began before midnight continues from the previous day's record.
        const int yesterday = now.day == 1 ? 7 : now.day - 1;
        for (std::size_t i = 0; i < s->flights.size(); ++i) {
            const FlightRecord& f = s->flights[i];
            if (f.day == yesterday && f.registration == ac.registration && f.valid && !f.soft &&
                continueRecord(*s, i, ac, now)) {
                s->flights[i].updated = true;
                return true;
            }
        }
        return addRecord(*s, now.day, SlotBits().set(h), ac, true) != nullptr;
    }
    FlightRecord& f = s->flights[*real];
    if (f.bits.test(h)) {
        if (marks && !f.updated) {
            f.updated = true;
            return true;
        }
        return false;
    }
    // Seen again after some half hours: the same stay when the gap is short, else a new one.
    // (Also for a record this run already updated: a new record per half hour would split
    // one stay into pieces.)
    const std::size_t fi = *real;
    if (!continueRecord(*s, fi, ac, now)) {
        addRecord(*s, now.day, SlotBits().set(h), ac, true);
        return true;
    }
    if (!s->flights[fi].updated) {
        s->flights[fi].updated = true;
        countUpdate();
    }
    return true;
}

int gf_learnedUpdates() {
    return gf_board().parking.learnedUpdates.load();
}

}  // namespace wnd
