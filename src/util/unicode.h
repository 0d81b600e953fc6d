// UTF-8 inside the program, UTF-16 only at the operating-system boundary.
#pragma once

#include <string>
#include <string_view>

namespace wnd {

// Throws std::runtime_error("utf8_to_wide: invalid UTF-8").
std::u16string gf_utf8ToWide(std::string_view utf8);
// Throws std::runtime_error("wide_to_utf8: invalid UTF-16").
std::string gf_wideToUtf8(std::u16string_view wide);
// True when the bytes are well-formed UTF-8.
bool gf_isValidUtf8(std::string_view bytes);

}  // namespace wnd
