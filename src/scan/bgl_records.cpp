#include "scan/bgl_records.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace wnd::bgl {

FileHeader::FileHeader(const BglView& v) : view_(v) {
    if (!v.fits(0, kHeaderSize)) {
        return;
    }
    headerSize_ = v.u32(4);
    sectionCount_ = v.u32(20);
    valid_ = headerSize_ == kHeaderSize && sectionCount_ >= 1 &&
             v.fits(kHeaderSize, std::uint64_t{kSectionEntrySize} * sectionCount_);
}

FileHeader::Section FileHeader::section(std::uint32_t i) const {
    const std::uint64_t entry = kHeaderSize + std::uint64_t{kSectionEntrySize} * i;
    return {view_.u32(entry), view_.u32(entry + 4), view_.u32(entry + 12)};
}

int AirportRecord::altitudeFeet() const {
    const auto feet = static_cast<long long>(std::llround(altitudeMm() * 3.2808399 / 1000.0));
    return feet + 20 > 10020 ? 0 : static_cast<int>(feet);
}

std::optional<std::string> decodeIdent(std::uint32_t packed) {
    std::uint32_t v = packed >> 5;
    std::string reversed;
    while (v != 0) {
        const std::uint32_t digit = v % 38;
        v /= 38;
        if (digit < 2 || reversed.size() == 10) {
            return std::nullopt;
        }
        reversed += digit < 12 ? static_cast<char>('0' + (digit - 2))
                               : static_cast<char>('A' + (digit - 12));
    }
    return std::string(reversed.rbegin(), reversed.rend());
}

bool validPosition(double lat, double lon) {
    if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0)) {
        return false;
    }
    return std::abs(lat) >= 0.0001 || std::abs(lon) >= 0.0001;
}

std::string decodeName(const BglView& v, std::uint64_t offset, std::uint32_t size,
                       std::optional<std::uint64_t>* truncatedAt) {
    const std::uint64_t wanted = std::clamp<std::uint64_t>(size >= 6 ? size - 6ULL : 0, 0, 46);
    const std::uint64_t start = offset + 6;
    std::uint64_t length = wanted;
    if (!v.fits(start, length)) {
        length = start < v.size() ? v.size() - start : 0;
        if (truncatedAt != nullptr) {
            *truncatedAt = length;
        }
    }
    const char* chars = length > 0 ? v.chars(start, length) : nullptr;
    const std::string_view text(chars, length);
    return std::string(text.substr(0, text.find('\0')));
}

ParkingEntry::ParkingEntry(const BglView& v, std::uint64_t offset)
    : flags_(v.u32(offset)),
      radius_(v.f32(offset + 4)),
      heading_(v.f32(offset + 8)),
      lon_(v.u32(offset + 28)),
      lat_(v.u32(offset + 32)) {}

std::string standId(std::uint32_t nameCode, std::uint32_t number) {
    static constexpr std::array<std::string_view, 12> kPrefixes = {
        "", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};
    std::string id;
    if (nameCode < kPrefixes.size()) {
        id = kPrefixes[nameCode];
    } else if (nameCode <= 37) {
        id = static_cast<char>('A' + (nameCode - 12));
    }
    id += std::to_string(number);
    return id;
}

HelipadRecord::HelipadRecord(const BglView& v, std::uint64_t offset, std::uint32_t size)
    : lon_(v.u32(offset + 12)), lat_(v.u32(offset + 16)), size_(v.f32(offset + 28)) {
    // The heading follows the size; records written by older tools may end before it.
    if (size >= 36) {
        heading_ = v.f32(offset + 32);
    }
}

}  // namespace wnd::bgl
