#include "util/version.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>

#include "util/program.h"
#include "util/strings.h"

namespace wnd {

std::string Version::text() const {
    return fmt::format("{}.{}.{}", major, minor, patch);
}

Version gf_parseVersion(std::string_view text) {
    static const std::regex kPattern(R"((\d+)\.(\d+)\.(\d+))");
    const std::string s(text);
    std::smatch m;
    if (std::regex_search(s, m, kPattern)) {
        try {
            return {std::stoi(m[1].str()), std::stoi(m[2].str()), std::stoi(m[3].str())};
        } catch (const std::exception&) {
            throw std::runtime_error("parse error in version string");
        }
    }
    const std::string_view trimmed = gf_trimView(text);
    if (!trimmed.empty() && trimmed.front() == '{') {
        const auto j = nlohmann::json::parse(trimmed, nullptr, false);
        if (j.is_object() && j.contains("major") && j.contains("minor") && j.contains("patch") &&
            j["major"].is_number_integer() && j["minor"].is_number_integer() &&
            j["patch"].is_number_integer()) {
            return {j["major"].get<int>(), j["minor"].get<int>(), j["patch"].get<int>()};
        }
    }
    throw std::runtime_error("invalid version format");
}

const Version& gf_programVersion() {
    static const Version v = gf_parseVersion(kProgramVersionText);
    return v;
}

}  // namespace wnd
