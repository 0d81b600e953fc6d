// Pure helpers of the traffic line reader: splitting into views and reading numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace wnd {

// Splits at every comma into views over `line`; empty fields are kept. `out` is cleared
// first and keeps its capacity, so a reserved list is not reallocated for usual lines.
void gf_splitFields(std::string_view line, std::vector<std::string_view>& out);

// The decimal floating-point number at the start of `field`: an optional minus sign,
// digits with an optional point and exponent, or infinity / not-a-number in any case.
// Characters after the number are ignored. Nothing for an empty field or one that does
// not begin with a number. Magnitudes beyond the range of a double give infinity, tiny
// ones 0, as strtod does.
std::optional<double> gf_readLeadingNumber(std::string_view field);

// The leading decimal digits as a 32-bit unsigned number; nothing when there is no digit
// or the value exceeds 4294967295.
std::optional<std::uint32_t> gf_readLeadingDigits(std::string_view field);

}  // namespace wnd
