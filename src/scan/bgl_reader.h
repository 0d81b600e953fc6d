// The scenery-file reader: finds the airports of one BGL file, decodes ident, name and
// altitude, and collects parking positions and helipads as stands. It only walks and
// reports; what becomes of an airport is the sink's business (the airport scan writes
// files, wendle-bgl prints JSON). A malformed file costs a log line, never the caller.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/bgl_view.h"

namespace wnd {

// One stand as the scan hands it on: the stand record's fields that a scenery file gives.
struct BglStand {
    std::string id;
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double heading = 0.0;    // radians; a parking heading of 0 is 2 pi (written as 360.0)
    double radius = 0.0;     // nautical miles
    bool ramp = false;
    bool cargo = false;
    bool heli = false;
    int parkingType = -1;  // 0-15 for a parking, -1 for a helipad
};

struct BglAirport {
    std::string ident;
    std::string name;  // UTF-8; empty when the file gives two different names
    int altitudeFt = 0;
    bool v5Layout = false;         // record id 0xAB rather than 0x3C
    std::uint64_t offset = 0;      // of the airport record in the file
    std::vector<BglStand> stands;  // in the order read
    int helipads = 0;
};

// Where the reader's findings and messages go. Called on the reading thread only.
class BglSink {
  public:
    virtual ~BglSink() = default;
    // The ident check: whether an airport with this (valid) ident is read.
    virtual bool acceptAirport(std::string_view ident) = 0;
    // Before the stands of an accepted airport are read.
    virtual void airportStarts(std::string_view /*ident*/) {}
    virtual void airport(BglAirport&& airport) = 0;
    // The program log (plain and marked lines) and the scan log.
    virtual void log(std::string_view line) = 0;
    virtual void warning(std::string_view line) = 0;
    virtual void scanLog(std::string_view line) = 0;
};

// The cheap test before a file gets a task: at least 57 bytes, a section count from 1 to
// what the file can hold, and an airport section among them. Reads only the header and
// the section table.
bool gf_bglPreCheck(const std::filesystem::path& path);
// The same on bytes in memory.
bool gf_bglPreCheck(const BglView& view);

// Files above this size are not read (no scenery file with airports comes near it).
inline constexpr std::uint64_t kMaxBglBytes = std::uint64_t{1} << 30;

// The whole file in memory; nothing when it cannot be read (the reason in `error`).
std::optional<BglData> gf_loadBglFile(const std::filesystem::path& path, std::string* error);

// Reads one file and hands every accepted airport to the sink. Exceptions of the reading
// are caught here and logged; an unreadable file ends quietly.
void lf_processBGLfile(const std::filesystem::path& path, BglSink& sink);
// The same for a file already in memory; `name` stands for its path in messages.
void gf_processBglData(const BglView& view, std::string_view name, BglSink& sink);

}  // namespace wnd
