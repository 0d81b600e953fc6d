#include "refdata/data_key.h"

#include <algorithm>

namespace wnd {

namespace {
// Kept apart so the whole key never sits in one place of the binary. The shipped
// encrypted files are made with it (tools/wendle-data); change both together.
constexpr std::array<unsigned char, kDataKeyBytes / 2> kFirstHalf = {
    0x46, 0x82, 0x4a, 0x10, 0xab, 0x6b, 0xb4, 0xb4, 0xc7, 0xab, 0x27, 0x4f, 0xfb, 0x6e, 0xf1, 0x8b};
constexpr std::array<unsigned char, kDataKeyBytes / 2> kSecondHalf = {
    0x61, 0x44, 0x3b, 0xd5, 0xf9, 0x2b, 0x33, 0x94, 0xff, 0x11, 0x33, 0xee, 0xbb, 0xa0, 0x33, 0x18};
}  // namespace

DataKey gf_dataKey() {
    DataKey key{};
    std::copy(kFirstHalf.begin(), kFirstHalf.end(), key.begin());
    std::copy(kSecondHalf.begin(), kSecondHalf.end(),
              key.begin() + static_cast<std::ptrdiff_t>(kFirstHalf.size()));
    return key;
}

}  // namespace wnd
