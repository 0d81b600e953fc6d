#pragma once

#include <ctime>
#include <string>

namespace wnd {

// "Sat Dec 05 04:56:12 2026" (UTC); October is spelled "Okt". "Invalid time" when the
// time cannot be converted.
std::string gf_utcTimeString(std::time_t t);
// The current UTC time of day as "hh:mm:ss".
std::string gf_utcClock();

}  // namespace wnd
