#include "util/slots.h"

#include <charconv>
#include <vector>

#include "util/log.h"
#include "util/strings.h"

namespace wnd {

namespace {

// A whole decimal number 0..47; logs and gives nothing otherwise.
std::optional<std::size_t> lf_parseHour(std::string_view item, std::string_view whole) {
    int v = -1;
    const char* first = item.data();
    const char* last = item.data() + item.size();
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (item.empty() || ec != std::errc() || ptr != last || v < 0 || v > 47) {
        gf_logWarning("{} invalid hour '{}' in {}", "lf_parseHour", item, whole);
        return std::nullopt;
    }
    return static_cast<std::size_t>(v);
}

std::vector<std::string_view> splitViews(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find(sep, start);
        parts.push_back(gf_trimView(text.substr(
            start, pos == std::string_view::npos ? std::string_view::npos : pos - start)));
        if (pos == std::string_view::npos) {
            return parts;
        }
        start = pos + 1;
    }
}

}  // namespace

SlotBits gf_hours2bitset(std::string_view text) {
    SlotBits bits;
    if (text.find(':') == std::string_view::npos) {
        if (gf_trimView(text).empty()) {
            return bits;
        }
        for (std::string_view item : splitViews(text, ',')) {
            if (const auto h = lf_parseHour(item, text)) {
                bits.set(*h);
            }
        }
        return bits;
    }
    const std::vector<std::string_view> parts = splitViews(text, ':');
    if (parts.size() > 2) {
        gf_logWarning("{} more than one colon char in: {}", "gf_hours2bitset", text);
        return {};
    }
    std::vector<std::size_t> values;
    for (std::string_view part : parts) {
        if (part.empty()) {
            continue;
        }
        const auto h = lf_parseHour(part, text);
        if (!h) {
            return {};
        }
        values.push_back(*h);
    }
    if (values.size() == 1) {
        bits.set(values[0]);
    } else if (values.size() == 2) {
        if (values[0] > values[1]) {
            gf_logWarning("{} descending range not allowed ({}:{} in {})", "gf_hours2bitset",
                          values[0], values[1], text);
            return {};
        }
        for (std::size_t h = values[0]; h <= values[1]; ++h) {
            bits.set(h);
        }
    } else {
        gf_logWarning("{} invalid range format in {}", "gf_hours2bitset", text);
    }
    return bits;
}

std::optional<std::string> gf_bitset2hours(const SlotBits& bits) {
    if (bits.none()) {
        return std::nullopt;
    }
    std::size_t first = 0;
    while (!bits.test(first)) {
        ++first;
    }
    std::size_t last = bits.size() - 1;
    while (!bits.test(last)) {
        --last;
    }
    for (std::size_t i = first; i <= last; ++i) {
        if (!bits.test(i)) {
            return std::nullopt;
        }
    }
    if (first == last) {
        return std::to_string(first);
    }
    return std::to_string(first) + ":" + std::to_string(last);
}

}  // namespace wnd
