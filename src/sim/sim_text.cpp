#include "sim/sim_text.h"

#include <array>
#include <exception>

#include "platform/platform.h"
#include "util/unicode.h"

namespace wnd {

namespace {

// Unicode code points of the bytes 0x80..0x9F of Windows-1252 (0: undefined).
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool lf_isAscii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> gf_utf8ToSimText(std::string_view utf8) {
    if (lf_isAscii(utf8)) {
        return std::string(utf8);
    }
    std::u16string wide;
    try {
        wide = gf_utf8ToWide(utf8);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(wide.size());
    for (char16_t c : wide) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        std::size_t i = 0;
        while (i < kCp1252High.size() && kCp1252High[i] != c) {
            ++i;
        }
        if (i == kCp1252High.size()) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(0x80 + i));
    }
    return out;
}

std::string gf_simTextToUtf8(std::string_view ansi) {
    if (lf_isAscii(ansi)) {
        return std::string(ansi);
    }
    const auto wide = platform::ansiToUtf16(ansi, false);
    if (!wide) {
        return std::string(ansi);
    }
    try {
        return gf_wideToUtf8(*wide);
    } catch (const std::exception&) {
        return std::string(ansi);
    }
}

}  // namespace wnd
