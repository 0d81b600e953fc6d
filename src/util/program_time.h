// The program time (the simulator's UTC time when known, else the system's) and its week
// slot, stored by the traffic worker every simulator second and read by any thread.
#pragma once

#include <cstdint>
#include <ctime>

namespace wnd {

struct WeekSlot {
    int day = 1;       // 1 Monday .. 7 Sunday
    int halfHour = 0;  // 0..47; changes at hh:29:30 and on the hour
    bool operator==(const WeekSlot&) const = default;
};

// The slot of a UTC time: twice the hour, plus 1 from minute 29 second 30 of the hour on.
WeekSlot gf_weekSlotOf(std::int64_t utcSeconds);

// Stores the time (seconds since 1970, UTC) and its week slot.
void gf_setProgramTime(std::int64_t utcSeconds);
// The last stored program time; the system's UTC time before the first store.
std::int64_t gf_programTime();
WeekSlot gf_weekSlot();

}  // namespace wnd
