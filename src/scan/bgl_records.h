// The record kinds of a scenery file that the airport scan reads, one small class each,
// all reading through a BglView. Offsets are byte offsets from the start of the file.
//
// What the format holds, as far as the scan needs it:
//   file header (56 bytes): header size at 4, number of sections at 20; then the section
//   table, 20 bytes a section: type, flags, subsection count, subsection table offset;
//   the first subsection entry holds the offset of the section's first record at 8.
//   Every record begins with a 16-bit id and a 32-bit size (bytes, header included).
//   Airport (id 0x3C, or 0xAB with a header 4 bytes longer): altitude (mm) at 20, packed
//   ident at 40, subrecords from 56 (60). Name 0x19, helipad 0x26, parking list 0x3D in
//   airports of id 0x3C and 0xAD in those of id 0xAB.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scan/bgl_view.h"

namespace wnd::bgl {

inline constexpr std::uint32_t kHeaderSize = 56;
inline constexpr std::uint32_t kSectionEntrySize = 20;
inline constexpr std::uint32_t kAirportSection = 3;
inline constexpr std::uint16_t kAirport = 0x3C;
inline constexpr std::uint16_t kAirportV5 = 0xAB;
inline constexpr std::uint16_t kName = 0x19;
inline constexpr std::uint16_t kHelipad = 0x26;
inline constexpr std::uint16_t kParkingList = 0x3D;
inline constexpr std::uint16_t kParkingListV5 = 0xAD;
// Walks of records and of an airport's subrecords end after this many steps.
inline constexpr int kMaxIterations = 9000;

// The header and its section table.
class FileHeader {
  public:
    struct Section {
        std::uint32_t type = 0;
        std::uint32_t flags = 0;
        std::uint32_t subsectionTable = 0;
        // An airport section whose "excluded" flag (bit 16) is clear.
        bool readable() const { return type == kAirportSection && (flags & 0x10000U) == 0; }
    };

    explicit FileHeader(const BglView& v);
    // Header size 56, at least one section, and the whole table inside the file.
    bool valid() const { return valid_; }
    std::uint32_t headerSize() const { return headerSize_; }
    std::uint32_t sectionCount() const { return sectionCount_; }
    Section section(std::uint32_t i) const;
    // Offset of the section's first record, from its first subsection entry.
    std::uint32_t firstRecord(const Section& s) const {
        return view_.u32(s.subsectionTable + 8ULL);
    }

  private:
    const BglView& view_;
    std::uint32_t headerSize_ = 0;
    std::uint32_t sectionCount_ = 0;
    bool valid_ = false;
};

struct RecordHeader {
    std::uint16_t id = 0;
    std::uint32_t size = 0;
    static RecordHeader at(const BglView& v, std::uint64_t offset) {
        return {v.u16(offset), v.u32(offset + 2)};
    }
    // The size as whole words, in bytes: the step to the next record.
    std::uint64_t step() const { return size / 4U * 4U; }
};

class AirportRecord {
  public:
    AirportRecord(const BglView& v, std::uint64_t offset, RecordHeader h)
        : view_(v), offset_(offset), header_(h) {}
    bool v5Layout() const { return header_.id == kAirportV5; }
    std::uint64_t offset() const { return offset_; }
    std::uint32_t altitudeMm() const { return view_.u32(offset_ + 20); }
    // Feet, rounded; 0 above 10000 ft (a value the format uses for "unknown").
    int altitudeFeet() const;
    std::uint32_t packedIdent() const { return view_.u32(offset_ + 40); }
    std::uint64_t firstSubrecord() const { return offset_ + (v5Layout() ? 60U : 56U); }
    std::uint64_t end() const { return offset_ + header_.step(); }
    std::uint16_t parkingListId() const { return v5Layout() ? kParkingListV5 : kParkingList; }

  private:
    const BglView& view_;
    std::uint64_t offset_;
    RecordHeader header_;
};

// The ident packed base 38 above 5 flag bits; nothing when a digit is blank or there are
// more than 10.
std::optional<std::string> decodeIdent(std::uint32_t packed);

inline double latitude(std::uint32_t packed) {
    return 90.0 - packed * 3.3527612686157227e-7;
}
inline double longitude(std::uint32_t packed) {
    return packed * 4.470348358154297e-7 - 180.0;
}
// On the globe, and not the 0,0 of an unset position.
bool validPosition(double lat, double lon);

// A name subrecord: at most 46 characters from byte 6, ending at the first zero byte.
// `truncatedAt` is set to the number of bytes available when the name runs past the file.
std::string decodeName(const BglView& v, std::uint64_t offset, std::uint32_t size,
                       std::optional<std::uint64_t>* truncatedAt = nullptr);

// One entry of a parking list.
class ParkingEntry {
  public:
    static constexpr std::uint32_t kFixedBytes = 36;
    ParkingEntry(const BglView& v, std::uint64_t offset);
    std::uint32_t nameCode() const { return flags_ & 0x3FU; }
    std::uint32_t type() const { return (flags_ >> 8) & 0xFU; }
    std::uint32_t number() const { return (flags_ >> 12) & 0xFFFU; }
    std::uint32_t airlineCodes() const { return flags_ >> 24; }
    float radius() const { return radius_; }
    float heading() const { return heading_; }
    std::uint32_t packedLon() const { return lon_; }
    std::uint32_t packedLat() const { return lat_; }
    // Bytes of the entry: the fixed part, the airline codes and, in the newer layout, one
    // more word.
    std::uint64_t bytes(bool v5Layout) const {
        return kFixedBytes + 4ULL * airlineCodes() + (v5Layout ? 4U : 0U);
    }

  private:
    std::uint32_t flags_;
    float radius_;
    float heading_;
    std::uint32_t lon_;
    std::uint32_t lat_;
};

// Parking types 1-11, 14 and 15 are stands; 0, 12 (fuel) and 13 (vehicles) are not.
inline bool parkingTaken(std::uint32_t type) {
    return type < 16 && ((0xCFFEU >> type) & 1U) != 0;
}
inline bool parkingCargo(std::uint32_t type) {
    return type == 5;
}
// Types 1-7 and 14 are ramps, the others gates.
inline bool parkingRamp(std::uint32_t type) {
    return type < 16 && ((0x40FEU >> type) & 1U) != 0;
}
// The stand id: the prefix of the name code and the number ("g12", "C3", "r4").
std::string standId(std::uint32_t nameCode, std::uint32_t number);

class HelipadRecord {
  public:
    // The fields up to the size are required; the heading is read when the record holds it.
    static constexpr std::uint32_t kMinBytes = 32;
    HelipadRecord(const BglView& v, std::uint64_t offset, std::uint32_t size);
    std::uint32_t packedLon() const { return lon_; }
    std::uint32_t packedLat() const { return lat_; }
    float size() const { return size_; }
    float heading() const { return heading_; }

  private:
    std::uint32_t lon_;
    std::uint32_t lat_;
    float size_;
    float heading_ = 0.0F;
};

}  // namespace wnd::bgl
