// Learning which flights use which stand: every time a live aircraft is seen standing at a
// stand of the park airport, its flight is recorded in that stand's flight list for the
// current week slot, extending a record of the same airframe or adding a new one. Records
// this adds or extends carry the updated mark, which makes the learned file be saved.
// Traffic worker thread only (the stands belong to the park airport).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "airports/airport_file.h"
#include "util/program_time.h"

namespace wnd {

// The aircraft as learning sees it.
struct LearnAircraft {
    std::string registration;
    std::string airline;
    std::string model;
    std::string callsign;
    bool heavy = false;     // size category heavy: a longer gap still continues a record
    bool longStay = false;  // towed or parked for long: a longer gap still
};

// Kinds of observation: arrived at its stand (or re-created there), spawned standing at a
// stand, a new report while parked, the stream of a parked aircraft extended.
enum class StandSeen : int { Arrived = 0, Spawned = 1, Report = 2, Extended = 3 };

// Records one observation at stand number `stand` (from 1) in slot `now`. True when a
// record was added or marked updated.
bool lf_addRealStandOption(std::vector<StandRecord>& stands, std::uint32_t stand,
                           const LearnAircraft& ac, StandSeen kind, WeekSlot now);

// The learned updates of this run (the window's "# updates").
int gf_learnedUpdates();

}  // namespace wnd
