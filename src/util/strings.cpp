#include "util/strings.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <gsl/narrow>
#include <unordered_set>

namespace wnd {

namespace {
constexpr std::string_view kWhite = " \t\n\r";
}

std::string_view gf_trimView(std::string_view text) {
    const std::size_t b = text.find_first_not_of(kWhite);
    if (b == std::string_view::npos) {
        return {};
    }
    const std::size_t e = text.find_last_not_of(kWhite);
    return text.substr(b, e - b + 1);
}

std::string gf_trim(std::string_view text) {
    return std::string(gf_trimView(text));
}

std::vector<std::string> gf_splitList(std::string_view text) {
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find(',', start);
        items.push_back(gf_trim(text.substr(
            start, pos == std::string_view::npos ? std::string_view::npos : pos - start)));
        if (pos == std::string_view::npos) {
            return items;
        }
        start = pos + 1;
    }
}

std::set<std::string> gf_splitListSet(std::string_view text) {
    std::vector<std::string> items = gf_splitList(text);
    return {std::make_move_iterator(items.begin()), std::make_move_iterator(items.end())};
}

std::string gf_normaliseList(std::string_view text) {
    if (text.find_first_of(kWhite) == std::string_view::npos) {
        return std::string(text);
    }
    return fmt::format("{}", fmt::join(gf_splitList(text), ","));
}

std::string gf_toUpper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

bool gf_equalsUpper(std::string_view upper, std::string_view text) {
    if (upper.size() != text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            static_cast<unsigned char>(upper[i])) {
            return false;
        }
    }
    return true;
}

int gf_percent(double part, double whole) {
    if (!(whole >= 1.0)) {
        return 0;
    }
    const double p = std::round(part * 100.0 / whole);
    if (!std::isfinite(p) || p > 2147483647.0 || p < -2147483648.0) {
        throw gsl::narrowing_error();
    }
    return gsl::narrow<int>(p);
}

std::string gf_formatNumber(double x) {
    if (x != std::floor(x)) {
        return fmt::format("{:.1f}", x);
    }
    return fmt::format("{:.0f}", x);
}

std::string gf_starBanner(int widthA, int widthB, bool leadingNewline, bool trailingNewline,
                          std::string_view text) {
    int w = widthA + widthB;
    if (w % 2 != 0) {
        ++w;
    }
    std::string line;
    if (text.empty()) {
        line.assign(static_cast<std::size_t>(std::max(w, 0)), '*');
    } else if (w > static_cast<int>(text.size()) + 2) {
        const std::string stars(static_cast<std::size_t>(w / 2 - 1), '*');
        line = fmt::format("{} {} {}", stars, text, stars);
    } else {
        line = std::string(text);
    }
    if (leadingNewline) {
        line.insert(line.begin(), '\n');
    }
    if (trailingNewline) {
        line.push_back('\n');
    }
    return line;
}

bool gf_isNonAircraftType(std::string_view typeCode) {
    static const std::unordered_set<std::string_view> kNonAircraft = {
        "BALL", "EMER", "GLID", "GRND", "GND", "PARA", "SERV", "SHIP", "VENT"};
    return typeCode.size() > 4 || kNonAircraft.contains(typeCode);
}

}  // namespace wnd
