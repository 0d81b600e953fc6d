// Names and the version of the program itself.
#pragma once

#include <string_view>

#include "util/program_version.h"

namespace wnd {

inline constexpr std::string_view kProductTitle = "Wendle_P3D";
inline constexpr std::string_view kSimulatorName = "Prepar3D v5/v6";
inline constexpr std::string_view kMutexName = "Local\\$Wendle_P3D$";

}  // namespace wnd
