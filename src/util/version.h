// Versions of the program and of its data: major, minor, patch compared in that order.
#pragma once

#include <compare>
#include <string>
#include <string_view>

namespace wnd {

struct Version {
    int major = 0;
    int minor = 0;
    int patch = 0;
    auto operator<=>(const Version&) const = default;
    std::string text() const;  // "{}.{}.{}"
};

// "11.10.9" or a JSON object {"major":..,"minor":..,"patch":..}. Throws
// std::runtime_error "parse error in version string" or "invalid version format".
Version gf_parseVersion(std::string_view text);

// The program's own version, parsed once from its constant.
const Version& gf_programVersion();

}  // namespace wnd
