// 64-bit FNV-1a for hash maps keyed by text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wnd {

constexpr std::uint64_t gf_fnv1a(std::string_view text) noexcept {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

// Transparent hasher: unordered_map<std::string, T, TextHash, std::equal_to<>> can be
// searched with a string_view without building a string.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return static_cast<std::size_t>(gf_fnv1a(s));
    }
    std::size_t operator()(const std::string& s) const noexcept {
        return (*this)(std::string_view(s));
    }
    std::size_t operator()(const char* s) const noexcept { return (*this)(std::string_view(s)); }
};

}  // namespace wnd
