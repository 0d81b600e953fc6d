// Small text helpers shared by many subsystems.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace wnd {

// Removes " \t\n\r" from both ends.
std::string gf_trim(std::string_view text);
std::string_view gf_trimView(std::string_view text);

// Splits at ',' and trims each item; an empty text gives an empty list.
std::vector<std::string> gf_splitList(std::string_view text);
std::set<std::string> gf_splitListSet(std::string_view text);
// A list with white space in it is rewritten as its trimmed items joined by ','.
std::string gf_normaliseList(std::string_view text);

// True if text, upper-cased character by character, equals `upper`.
bool gf_equalsUpper(std::string_view upper, std::string_view text);
std::string gf_toUpper(std::string_view text);

// part * 100 / whole rounded; 0 when whole < 1; gsl::narrowing_error when it does not fit int.
int gf_percent(double part, double whole);
// "{:.1f}" with a fractional part, "{:.0f}" without.
std::string gf_formatNumber(double x);
std::string gf_starBanner(int widthA, int widthB, bool leadingNewline, bool trailingNewline,
                          std::string_view text);

// Type codes that are no aircraft (balloons, gliders, ground vehicles ...), or longer than 4.
bool gf_isNonAircraftType(std::string_view typeCode);

}  // namespace wnd
