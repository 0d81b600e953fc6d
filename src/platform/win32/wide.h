// UTF-8 inside the program, UTF-16 at the Windows API: the two conversions the Win32 side
// of the platform layer makes at that boundary.
#pragma once

#include <string>
#include <string_view>

namespace wnd::platform::win32 {

// Invalid input becomes U+FFFD rather than an error: these are names the system gave us
// or that we pass to it, never data to be checked.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

}  // namespace wnd::platform::win32
