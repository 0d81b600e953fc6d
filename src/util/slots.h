// Slot bit sets: one bit per half hour of a day, and their text form ("3,5,7", "8:20").
#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <string_view>

namespace wnd {

using SlotBits = std::bitset<48>;

SlotBits gf_hours2bitset(std::string_view text);
// "5" for one slot, "8:20" for one unbroken run; nothing for an empty set or a gap.
std::optional<std::string> gf_bitset2hours(const SlotBits& bits);

}  // namespace wnd
