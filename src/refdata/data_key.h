// The program's key of its encrypted data files (XChaCha20-Poly1305 secret stream).
#pragma once

#include <array>
#include <cstddef>

namespace wnd {

inline constexpr std::size_t kDataKeyBytes = 32;
using DataKey = std::array<unsigned char, kDataKeyBytes>;

// The two halves put together; callers wipe their copy after use.
DataKey gf_dataKey();

}  // namespace wnd
