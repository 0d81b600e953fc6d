#include "util/program_time.h"

#include <atomic>

namespace wnd {

namespace {
std::atomic<std::int64_t> g_time{0};
std::atomic<int> g_slot{0};  // day * 100 + half hour
}  // namespace

WeekSlot gf_weekSlotOf(std::int64_t utcSeconds) {
    // Plain arithmetic rather than gmtime: the same on every system, and 1 January 1970
    // was a Thursday.
    constexpr std::int64_t kDay = 86400;
    const std::int64_t days = utcSeconds >= 0 ? utcSeconds / kDay : (utcSeconds - kDay + 1) / kDay;
    const std::int64_t secondOfDay = utcSeconds - days * kDay;
    const auto weekday = static_cast<int>(((days + 3) % 7 + 7) % 7);  // 0 Monday
    WeekSlot s;
    s.day = weekday + 1;
    const auto hour = static_cast<int>(secondOfDay / 3600);
    const auto secondOfHour = static_cast<int>(secondOfDay % 3600);
    s.halfHour = 2 * hour + (secondOfHour >= 29 * 60 + 30 ? 1 : 0);
    return s;
}

void gf_setProgramTime(std::int64_t utcSeconds) {
    if (utcSeconds <= 0) {
        // The simulation time is not known yet: both fall back to the system clock.
        g_slot.store(0);
        g_time.store(0);
        return;
    }
    g_time.store(utcSeconds);
    const WeekSlot s = gf_weekSlotOf(utcSeconds);
    g_slot.store(s.day * 100 + s.halfHour);
}

std::int64_t gf_programTime() {
    const std::int64_t t = g_time.load();
    return t != 0 ? t : static_cast<std::int64_t>(std::time(nullptr));
}

WeekSlot gf_weekSlot() {
    const int v = g_slot.load();
    if (v == 0) {
        return gf_weekSlotOf(gf_programTime());
    }
    return {v / 100, v % 100};
}

}  // namespace wnd
