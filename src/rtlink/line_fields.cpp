#include "rtlink/line_fields.h"

#include <charconv>
#include <cstdlib>
#include <string>

namespace wnd {

void gf_splitFields(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            out.push_back(line.substr(start));
            return;
        }
        out.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

std::optional<double> gf_readLeadingNumber(std::string_view field) {
    if (field.empty()) {
        return std::nullopt;
    }
    const char* first = field.data();
    const char* last = first + field.size();
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc()) {
        return value;
    }
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here; strtod tells overflow from underflow.
        const std::string number(first, end);
        return std::strtod(number.c_str(), nullptr);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> gf_readLeadingDigits(std::string_view field) {
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(field[i] - '0');
        if (value > 0xFFFFFFFFULL) {
            return std::nullopt;
        }
    }
    if (i == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace wnd
