// The calculation of the static set: how many static aircraft a park airport wants, and
// which flight stands on which free stand at the present week slot. Pure rules over the
// park airport's stands (their run-time taken flags and flight ordinals are written here);
// the static parking object (static_parking.h) drives them and places the result.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "airports/airport_file.h"
#include "sim/sim_types.h"
#include "util/geodesy.h"
#include "util/program_time.h"

namespace wnd {

// The four kinds of occupancy data, in their fill order.
enum class FillKind : int { Real = 0, WeekReal = 1, Soft = 2, WeekSoft = 3 };
std::string_view gf_fillKindName(FillKind k);
inline bool gf_isSoftKind(FillKind k) {
    return k == FillKind::Soft || k == FillKind::WeekSoft;
}
inline bool gf_isWeekKind(FillKind k) {
    return k == FillKind::WeekReal || k == FillKind::WeekSoft;
}

// The settings one calculation reads, taken once at its start.
struct ParkingRules {
    int maxParkSel = 500;
    int percentage = 30;  // CUSTOM_PARKING_PERCENTAGE when set, else parking_percentage
    bool week = false;
    bool soft = false;
    bool random = true;
    bool helicopters = true;
    int maxFit = 47;  // half hours
    double maxFitHours = 24.0;

    static ParkingRules fromSettings();
};

// The static aircraft wanted at an airport of n stands (the small-airport rule: one at
// airports of up to three stands unless the percentage gives more).
int gf_wantedStatic(const ParkingRules& r, std::size_t stands);

// The slot f half hours before s, across midnight into the previous day.
WeekSlot gf_slotBefore(WeekSlot s, int f);

// One static aircraft: chosen for a stand (the new list), then placed in the simulator.
enum class StaticState { Chosen, Queued, Active, Removing };

struct StaticEntry {
    // The stand.
    std::uint32_t stand = 0;  // number from 1
    std::string standId;
    double lat = 0.0;
    double lon = 0.0;
    double heading = 0.0;  // radians
    bool standFlag = false;
    // The flight.
    std::string airline;
    std::string type;
    std::string registration;
    std::string callsign;         // the tail number: the first of the flight's callsigns
    std::string flightCallsigns;  // as recorded, "A" or "A:B"
    std::size_t flight = 0;       // its index in the stand's flights
    FillKind kind = FillKind::Real;
    int fit = 0;       // half hours back from the slot it was chosen at
    int day = 1;       // the day and half hour the flight's stay at the stand began
    int halfHour = 0;  // (its occupancy slot)
    // The simulator side.
    StaticState state = StaticState::Chosen;
    std::uint32_t aircraftId = 0;  // 1..10000 once queued
    std::string title;
    AiControls controls;  // the object id once active
    double halfWingspanNm = 0.0;
    bool removeWhenIdentified = false;
    bool gone = false;  // dropped from the static set at the end of the call

    int occupancySlot() const { return day * 48 + halfHour; }
};

// What one fill works on.
struct FillContext {
    std::vector<StandRecord>& stands;
    const ParkingRules& rules;
    WeekSlot slot;
    std::vector<StaticEntry>& added;  // entries are appended here
    // Registrations and callsigns that are shown already (static, live, heard around).
    std::unordered_set<std::string>& busy;
    // Stand number -> callsign of the static aircraft standing there (it keeps its place).
    const std::unordered_map<std::uint32_t, std::string>& keepers;
    std::mt19937& rng;
    // Results for the window: the fit reached with real and soft data, in hours (-1 none).
    double realFitHours = -1.0;
    double softFitHours = -1.0;
};

// The stand of a number (numbers from 1 in file order); nullptr for none.
StandRecord* gf_standByNumber(std::vector<StandRecord>& stands, std::uint32_t number);
const StandRecord* gf_standByNumber(const std::vector<StandRecord>& stands, std::uint32_t number);
// The flight's callsigns ("A" or "A:B").
std::vector<std::string_view> gf_flightCallsigns(std::string_view recorded);

// One pass of the stand match for fit f and one kind.
void lf_standMatch(FillContext& c, int f, FillKind kind);
// One fill step: the fit grows from 0 to MAX_FIT until present + added reaches wanted.
// Returns the number of entries it added.
int lf_fillStep(FillContext& c, FillKind kind, int present, int wanted);
// The fill order: today/real, week/real, today/soft, week/soft (as the settings allow),
// each only while short of the wanted number.
void gf_fillStaticSet(FillContext& c, int present, int wanted);
// Best first (kind, then fit, then nearest to `from`), the surplus beyond wanted − present
// dropped from the end (their stands freed), then turned round: the placing takes the last
// entry, so the best is placed first.
void gf_sortAndTrim(std::vector<StaticEntry>& list, std::vector<StandRecord>& stands,
                    const LatLon& from, int keep);

// True while the flight of an existing static aircraft still fits its stand as well as
// when it was chosen: seen there within the last fit + 1 half hours (that day's record, or
// any day's for week data).
bool gf_staticStillDue(const StandRecord& stand, const StaticEntry& e, WeekSlot slot);

}  // namespace wnd
