#include "util/time.h"

#include <fmt/format.h>

#include <array>
#include <string_view>

namespace wnd {

std::string gf_utcTimeString(std::time_t t) {
    static constexpr std::array<std::string_view, 7> kDays = {"Mon", "Tue", "Wed", "Thu",
                                                              "Fri", "Sat", "Sun"};
    static constexpr std::array<std::string_view, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) {
        return "Invalid time";
    }
    const int day = (tm.tm_wday + 6) % 7;  // the table starts on Monday
    const std::string_view dayName =
        (day >= 0 && day < 7) ? kDays[static_cast<std::size_t>(day)] : "???";
    const std::string_view monthName =
        (tm.tm_mon >= 0 && tm.tm_mon < 12) ? kMonths[static_cast<std::size_t>(tm.tm_mon)] : "???";
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", dayName, monthName, tm.tm_mday,
                       tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
}

std::string gf_utcClock() {
    const std::string s = gf_utcTimeString(std::time(nullptr));
    if (s.size() < 13) {
        return s;
    }
    return s.substr(s.size() - 13, 8);
}

}  // namespace wnd
