#include "util/unicode.h"

#include <stdexcept>

namespace wnd {

namespace {

// Decodes one code point at s[i]; returns false on malformed input.
bool decodeUtf8(std::string_view s, std::size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    int extra = 0;
    char32_t minValue = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1;
        cp = b0 & 0x1FU;
        minValue = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2;
        cp = b0 & 0x0FU;
        minValue = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3;
        cp = b0 & 0x07U;
        minValue = 0x10000;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) {
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0U) != 0x80U) {
            return false;
        }
        cp = (cp << 6U) | (b & 0x3FU);
    }
    if (cp < minValue || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return true;
}

}  // namespace

bool gf_isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    char32_t cp = 0;
    while (i < bytes.size()) {
        if (!decodeUtf8(bytes, i, cp)) {
            return false;
        }
    }
    return true;
}

std::u16string gf_utf8ToWide(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    char32_t cp = 0;
    while (i < utf8.size()) {
        if (!decodeUtf8(utf8, i, cp)) {
            throw std::runtime_error("utf8_to_wide: invalid UTF-8");
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10U)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FFU)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string gf_wideToUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size() * 3 / 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= wide.size() || wide[i + 1] < 0xDC00 || wide[i + 1] > 0xDFFF) {
                throw std::runtime_error("wide_to_utf8: invalid UTF-16");
            }
            cp = 0x10000 + ((cp - 0xD800) << 10U) + (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            throw std::runtime_error("wide_to_utf8: invalid UTF-16");
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6U)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3FU)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12U)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6U) & 0x3FU)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3FU)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18U)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12U) & 0x3FU)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6U) & 0x3FU)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3FU)));
        }
    }
    return out;
}

}  // namespace wnd
