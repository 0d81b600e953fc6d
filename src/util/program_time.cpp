#include "util/program_time.h"

#include <atomic>

namespace wnd {

namespace {
std::atomic<std::int64_t> g_time{0};
std::atomic<int> g_slot{0};  // day * 100 + half hour
}  // namespace

WeekSlot gf_weekSlotOf(std::int64_t utcSeconds) {
    const auto t = static_cast<std::time_t>(utcSeconds);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) {
        return {};
    }
    WeekSlot s;
    s.day = tm.tm_wday == 0 ? 7 : tm.tm_wday;
    s.halfHour = 2 * tm.tm_hour;
    if (tm.tm_min > 29 || (tm.tm_min == 29 && tm.tm_sec >= 30)) {
        s.halfHour += 1;
    }
    return s;
}

void gf_setProgramTime(std::int64_t utcSeconds) {
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
