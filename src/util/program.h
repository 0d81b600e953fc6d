// Names and the version of the program itself.
#pragma once

#include <string_view>

namespace wnd {

inline constexpr std::string_view kProductTitle = "Wendle_P3D";
inline constexpr std::string_view kSimulatorName = "Prepar3D v5/v6";
inline constexpr std::string_view kProgramVersionText = "11.10.9";
inline constexpr std::string_view kMutexName = "Local\\$Wendle_P3D$";

}  // namespace wnd
