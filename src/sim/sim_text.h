// Texts cross the SimConnect boundary in the simulator's ANSI code page (Windows-1252);
// inside the program they are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wnd {

// Nothing when a character has no place in Windows-1252 or the UTF-8 is malformed.
std::optional<std::string> gf_utf8ToSimText(std::string_view utf8);
// Bytes that Windows-1252 leaves undefined become their C1 code points.
std::string gf_simTextToUtf8(std::string_view ansi);

}  // namespace wnd
