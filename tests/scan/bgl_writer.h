// A small writer of scenery files for tests, benchmarks and fuzz seeds: airport sections
// with airports of either layout, names, parking lists and helipads, laid out as the
// compilers do (header, section table, subsection tables, records).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wnd::testbgl {

inline std::uint32_t packIdent(const std::string& ident) {
    std::uint32_t v = 0;
    for (char c : ident) {
        // A blank is the digit 0, which no valid ident has.
        const auto digit = static_cast<std::uint32_t>(c == ' '   ? 0
                                                      : c >= 'A' ? c - 'A' + 12
                                                                 : c - '0' + 2);
        v = v * 38 + digit;
    }
    return v << 5;
}
inline std::uint32_t packLat(double lat) {
    return static_cast<std::uint32_t>(std::llround((90.0 - lat) / 3.3527612686157227e-7));
}
inline std::uint32_t packLon(double lon) {
    return static_cast<std::uint32_t>(std::llround((lon + 180.0) / 4.470348358154297e-7));
}

struct Parking {
    std::uint32_t nameCode = 10;  // "g"
    std::uint32_t type = 8;       // a small gate
    std::uint32_t number = 1;
    float radius = 20.0F;
    float heading = 90.0F;
    double lat = 47.45;
    double lon = 8.55;
    std::uint32_t airlines = 0;
};

struct Helipad {
    double lat = 47.46;
    double lon = 8.56;
    float size = 30.0F;
    float heading = 45.0F;
    bool withHeading = true;  // a record of 36 bytes; without, 32
};

struct Airport {
    bool v5 = true;
    std::string ident = "LSZH";
    std::uint32_t altitudeMm = 431800;  // 1417 ft
    std::vector<std::string> names = {"Zurich"};
    std::vector<std::vector<Parking>> parkingLists;
    std::vector<Helipad> helipads;
    std::vector<std::string> extraSubrecords;  // raw bytes, appended last
};

struct File {
    std::vector<Airport> airports;
    std::uint32_t headerSize = 56;
    std::uint32_t sectionFlags = 1;
    std::string trailingRecords;  // raw records after the airports in the section
};

class Bytes {
  public:
    template <typename T>
    void put(T v) {
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        s.append(b, sizeof(T));
    }
    void set32(std::size_t at, std::uint32_t v) { std::memcpy(s.data() + at, &v, 4); }
    std::string s;
};

// A record: id, size and the body, padded to whole words.
inline std::string record(std::uint16_t id, const std::string& body) {
    Bytes b;
    const auto size = static_cast<std::uint32_t>((6 + body.size() + 3) / 4 * 4);
    b.put(id);
    b.put(size);
    b.s += body;
    b.s.resize(size, '\0');
    return b.s;
}

inline std::string parkingList(const std::vector<Parking>& list, bool v5) {
    Bytes b;
    b.put(static_cast<std::uint16_t>(list.size()));
    for (const Parking& p : list) {
        b.put(p.nameCode | (p.type << 8) | (p.number << 12) | (p.airlines << 24));
        b.put(p.radius);
        b.put(p.heading);
        b.s.append(16, '\0');  // tee offsets
        b.put(packLon(p.lon));
        b.put(packLat(p.lat));
        b.s.append(4 * p.airlines + (v5 ? 4 : 0), 'A');
    }
    return record(v5 ? 0xAD : 0x3D, b.s);
}

inline std::string helipad(const Helipad& h) {
    Bytes b;
    b.s.append(6, '\0');  // surface, flags, colour
    b.put(packLon(h.lon));
    b.put(packLat(h.lat));
    b.put(std::uint32_t{0});
    b.put(h.size);
    b.put(h.size);
    if (h.withHeading) {
        b.put(h.heading);
    }
    return record(0x26, b.s);
}

inline std::string airportRecord(const Airport& a) {
    Bytes body;
    body.s.append(6, '\0');  // subrecord counts
    body.put(packLon(8.55));
    body.put(packLat(47.45));
    body.put(a.altitudeMm);
    body.s.append(16, '\0');  // tower position, magnetic variation
    body.put(packIdent(a.ident));
    body.s.append(a.v5 ? 16 : 12, '\0');
    for (const std::string& n : a.names) {
        body.s += record(0x19, n);
    }
    for (const Helipad& h : a.helipads) {
        body.s += helipad(h);
    }
    for (const std::vector<Parking>& list : a.parkingLists) {
        body.s += parkingList(list, a.v5);
    }
    for (const std::string& raw : a.extraSubrecords) {
        body.s += raw;
    }
    return record(a.v5 ? 0xAB : 0x3C, body.s);
}

// Header, a name-list section and the airport section, then the records.
inline std::string build(const File& f) {
    constexpr std::uint32_t kSections = 2;
    constexpr std::uint32_t kTables = 56 + 20 * kSections;
    constexpr std::uint32_t kData = kTables + 16 * kSections;
    std::string data;
    for (const Airport& a : f.airports) {
        data += airportRecord(a);
    }
    data += f.trailingRecords;
    Bytes b;
    b.put(std::uint32_t{0x19920201});
    b.put(f.headerSize);
    b.s.append(12, '\0');
    b.put(kSections);
    b.s.append(32, '\0');
    const std::uint32_t types[kSections] = {0x27, 3};
    for (std::uint32_t i = 0; i < kSections; ++i) {
        b.put(types[i]);
        b.put(f.sectionFlags);
        b.put(std::uint32_t{1});
        b.put(kTables + 16 * i);
        b.put(std::uint32_t{16});
    }
    for (std::uint32_t i = 0; i < kSections; ++i) {
        b.put(std::uint32_t{0});
        b.put(std::uint32_t{1});
        b.put(i == 1 ? kData : kData + static_cast<std::uint32_t>(data.size()));
        b.put(static_cast<std::uint32_t>(i == 1 ? data.size() : 0));
    }
    return b.s + data;
}

}  // namespace wnd::testbgl
