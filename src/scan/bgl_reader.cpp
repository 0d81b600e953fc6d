#include "scan/bgl_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <system_error>
#include <unordered_set>

#include "platform/platform.h"
#include "scan/bgl_records.h"
#include "util/files.h"
#include "util/hash.h"
#include "util/unicode.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

constexpr double kMetresPerNm = 1852.0;

// Degrees to radians, folded into [0, 360) first; a heading that is no number counts as 0.
double lf_headingRadians(float degrees) {
    double d = std::isfinite(degrees) ? std::fmod(static_cast<double>(degrees), 360.0) : 0.0;
    if (d < 0.0) {
        d += 360.0;
    }
    return d * std::numbers::pi / 180.0;
}

// Names are ANSI text in older files; the program keeps UTF-8 and the XML wants no control
// characters.
std::string lf_nameText(std::string raw) {
    if (!gf_isValidUtf8(raw)) {
        const std::optional<std::u16string> wide = platform::ansiToUtf16(raw, false);
        raw = wide ? gf_wideToUtf8(*wide) : std::string();
    }
    std::replace_if(
        raw.begin(), raw.end(), [](char c) { return c >= 0 && c < 0x20; }, ' ');
    return raw;
}

class FileWalk {
  public:
    FileWalk(const BglView& v, std::string_view name, BglSink& sink)
        : view_(v), name_(name), sink_(sink) {}

    void run() {
        const bgl::FileHeader header(view_);
        if (!header.valid()) {
            return;
        }
        for (std::uint32_t i = 0; i < header.sectionCount(); ++i) {
            const bgl::FileHeader::Section s = header.section(i);
            if (s.readable()) {
                walkSection(header.firstRecord(s));
            }
        }
    }

  private:
    static std::uint64_t words(std::uint64_t bytes) { return bytes / 4; }

    void walkSection(std::uint64_t offset) {
        offset = offset / 4 * 4;  // records start on a word
        for (int n = 0;; ++n) {
            if (n == bgl::kMaxIterations) {
                sink_.warning(
                    "Error: Maximum loop iterations reached (2) — possible corrupt BGL or "
                    "malformed input.");
                return;
            }
            if (!view_.fits(offset, 6)) {
                return;
            }
            const bgl::RecordHeader h = bgl::RecordHeader::at(view_, offset);
            if (h.id == bgl::kAirport || h.id == bgl::kAirportV5) {
                if (h.size == 0) {
                    sink_.warning(
                        fmt::format("   Warning: decodeSizeAtBoundary returned {} at o2 = {}",
                                    h.size, words(offset)));
                    return;
                }
                // A file with several airport sections walks the later ones twice.
                if (seen_.insert(offset).second) {
                    readAirport(bgl::AirportRecord(view_, offset, h));
                }
            }
            if (h.step() == 0) {
                return;
            }
            offset += h.step();
        }
    }

    void readAirport(const bgl::AirportRecord& record) {
        const std::optional<std::string> ident = bgl::decodeIdent(record.packedIdent());
        if (!ident || !sink_.acceptAirport(*ident)) {
            return;
        }
        sink_.airportStarts(*ident);
        BglAirport a;
        a.ident = *ident;
        a.altitudeFt = record.altitudeFeet();
        a.v5Layout = record.v5Layout();
        a.offset = record.offset();
        readName(record, a);
        readStands(record, a);
        sink_.airport(std::move(a));
    }

    // Calls f(offset, header) for each subrecord of the airport; false from f stops.
    template <typename F>
    void walkSubrecords(const bgl::AirportRecord& record, bool stands, F&& f) {
        std::uint64_t o3 = record.firstSubrecord();
        for (int n = 0; o3 < record.end(); ++n) {
            if (n == bgl::kMaxIterations) {
                sink_.log(stands ? "Error: Maximum loop iterations reached (1) — possible "
                                   "corrupt SIA or malformed input"
                                 : "Error: Maximum loop iterations reached (3) — possible "
                                   "corrupt Airport Basic data or malformed input.");
                return;
            }
            if (!view_.fits(o3, 6)) {
                if (stands) {
                    sink_.log(
                        fmt::format("   Error: o3={} exceeded data buffer size ({}), "
                                    "aborting.",
                                    words(o3), view_.size() / 4));
                }
                return;
            }
            const bgl::RecordHeader h = bgl::RecordHeader::at(view_, o3);
            if (h.size < 4) {
                sink_.log(fmt::format("   Warning: decodeSizeAtBoundary returned {} at o3 = {}",
                                      h.size, words(o3)));
                return;
            }
            f(o3, h);
            o3 += h.step();
        }
    }

    void readName(const bgl::AirportRecord& record, BglAirport& a) {
        std::optional<std::string> name;
        bool conflict = false;
        walkSubrecords(record, false, [&](std::uint64_t o3, bgl::RecordHeader h) {
            if (h.id != bgl::kName) {
                return;
            }
            try {
                std::optional<std::uint64_t> truncated;
                std::string n = bgl::decodeName(view_, o3, h.size, &truncated);
                if (truncated) {
                    sink_.log(fmt::format("! name blocks truncated at o3={}, available={}",
                                          words(o3), *truncated));
                }
                if (name && *name != n) {
                    conflict = true;
                }
                name = std::move(n);
            } catch (const std::exception& e) {
                sink_.warning(fmt::format("{}: {} EXCEPTION", "lf_decodeAirportNAME", e.what()));
            }
        });
        a.name = conflict || !name ? std::string() : lf_nameText(std::move(*name));
    }

    void readStands(const bgl::AirportRecord& record, BglAirport& a) {
        ids_.clear();
        helipads_.clear();
        walkSubrecords(record, true, [&](std::uint64_t o3, bgl::RecordHeader h) {
            if (h.id == bgl::kHelipad) {
                readHelipad(o3, h, a);
            } else if (h.id == record.parkingListId()) {
                readParkingList(o3, h, record.v5Layout(), a);
            }
        });
    }

    void readParkingList(std::uint64_t o3, bgl::RecordHeader h, bool v5, BglAirport& a) {
        const std::uint32_t count = view_.u16(o3 + 6);
        const std::uint64_t end = o3 + h.size;
        std::uint64_t p = o3 + 8;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (p + bgl::ParkingEntry::kFixedBytes > end) {
                sink_.log(
                    fmt::format("   Error: parking list at o3={} ends after {} of {} "
                                "entries",
                                words(o3), i, count));
                return;
            }
            const bgl::ParkingEntry e(view_, p);
            p += e.bytes(v5);
            readParking(e, a);
        }
    }

    void readParking(const bgl::ParkingEntry& e, BglAirport& a) {
        const float radius = e.radius();
        if (!(radius > 1.0F && radius < 200.0F)) {
            sink_.scanLog(
                fmt::format("Skipped position with radius {:.1F} m in {}", radius, name_));
            return;
        }
        std::string id = bgl::standId(e.nameCode(), e.number());
        if (!bgl::parkingTaken(e.type())) {
            return;
        }
        const double lat = bgl::latitude(e.packedLat());
        const double lon = bgl::longitude(e.packedLon());
        if (!bgl::validPosition(lat, lon)) {
            sink_.scanLog(
                fmt::format("LatLon {} invalid (skipped)", fmt::format("{:.6f},{:.6f}", lat, lon)));
            return;
        }
        if (!ids_.insert(id).second) {
            bool placed = false;
            for (char suffix = 'a'; suffix <= 'j' && !placed; ++suffix) {
                if (ids_.insert(id + suffix).second) {
                    id += suffix;
                    placed = true;
                }
            }
            if (!placed) {
                sink_.scanLog(fmt::format("{}Warning: more than 10 duplicate IDs {} in {}", "===> ",
                                          id, name_));
                return;
            }
        }
        BglStand s;
        s.id = std::move(id);
        s.latitude = lat;
        s.longitude = lon;
        s.heading = lf_headingRadians(e.heading());
        if (s.heading == 0.0) {
            s.heading = 2.0 * std::numbers::pi;
        }
        s.radius = static_cast<double>(radius) / kMetresPerNm;
        s.ramp = bgl::parkingRamp(e.type());
        s.cargo = bgl::parkingCargo(e.type());
        s.parkingType = static_cast<int>(e.type());
        a.stands.push_back(std::move(s));
    }

    void readHelipad(std::uint64_t o3, bgl::RecordHeader h, BglAirport& a) {
        if (h.size < bgl::HelipadRecord::kMinBytes) {
            sink_.log(fmt::format("   Warning: helipad of {} bytes at o3 = {} skipped", h.size,
                                  words(o3)));
            return;
        }
        const bgl::HelipadRecord r(view_, o3, h.size);
        const double lat = bgl::latitude(r.packedLat());
        const double lon = bgl::longitude(r.packedLon());
        const std::string position = fmt::format("{:.6f},{:.6f}", lat, lon);
        if (!bgl::validPosition(lat, lon)) {
            sink_.scanLog("lat/lon helipad incorrect (skipped): " + position);
            return;
        }
        for (const auto& [hLat, hLon] : helipads_) {
            if (std::abs(hLat - lat) < 1e-8 && std::abs(hLon - lon) < 1e-8) {
                sink_.scanLog("double helipad " + a.ident + " (skipped) " + position);
                return;
            }
        }
        helipads_.emplace_back(lat, lon);
        BglStand s;
        s.id = fmt::format("helipad{}", helipads_.size());
        s.latitude = lat;
        s.longitude = lon;
        s.heading = r.heading() == 0.0F ? 0.0 : lf_headingRadians(r.heading());
        const float size = r.size();
        s.radius = std::isfinite(size) && size > 0.0F
                       ? static_cast<double>(size) / 2.0 / kMetresPerNm
                       : 0.0;
        s.heli = true;
        a.stands.push_back(std::move(s));
        ++a.helipads;
    }

    const BglView& view_;
    std::string name_;
    BglSink& sink_;
    std::unordered_set<std::uint64_t> seen_;
    std::unordered_set<std::string, TextHash, std::equal_to<>> ids_;
    std::vector<std::pair<double, double>> helipads_;
};

}  // namespace

bool gf_bglPreCheck(const BglView& view) {
    if (view.size() < 57) {
        return false;
    }
    const std::uint32_t count = view.u32(20);
    if (count < 1 || count > (view.size() - 56) / 20) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (view.u32(56 + 20ULL * i) == bgl::kAirportSection) {
            return true;
        }
    }
    return false;
}

bool gf_bglPreCheck(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size < 57) {
        return false;
    }
    std::FILE* f = platform::openFile(path, "rb");
    if (f == nullptr) {
        return false;
    }
    // The header, then the section table in pieces, stopping at the first airport section.
    std::array<std::byte, 4096> buf;
    bool found = false;
    if (std::fread(buf.data(), 1, 56, f) == 56) {
        std::uint32_t count = 0;
        std::memcpy(&count, buf.data() + 20, 4);
        if (count >= 1 && count <= (size - 56) / 20) {
            const std::size_t perPiece = buf.size() / 20;
            for (std::uint32_t done = 0; done < count && !found;) {
                const std::size_t n = std::min<std::size_t>(perPiece, count - done);
                if (std::fread(buf.data(), 20, n, f) != n) {
                    break;
                }
                for (std::size_t i = 0; i < n && !found; ++i) {
                    std::uint32_t type = 0;
                    std::memcpy(&type, buf.data() + 20 * i, 4);
                    found = type == bgl::kAirportSection;
                }
                done += static_cast<std::uint32_t>(n);
            }
        }
    }
    std::fclose(f);
    return found;
}

std::optional<BglData> gf_loadBglFile(const fs::path& path, std::string* error) {
    auto fail = [&](std::string why) -> std::optional<BglData> {
        if (error != nullptr) {
            *error = std::move(why);
        }
        return std::nullopt;
    };
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        return fail(ec.message());
    }
    if (size > kMaxBglBytes) {
        return fail(fmt::format("{} bytes, more than a scenery file with airports has", size));
    }
    std::FILE* f = platform::openFile(path, "rb");
    if (f == nullptr) {
        return fail("cannot be opened");
    }
    BglData data(static_cast<std::size_t>(size / 4));
    const std::size_t got = std::fread(data.mutableData(), 1, data.bytes(), f);
    std::fclose(f);
    if (got != data.bytes()) {
        return fail("read failed");
    }
    return data;
}

void gf_processBglData(const BglView& view, std::string_view name, BglSink& sink) {
    try {
        FileWalk(view, name, sink).run();
    } catch (const std::exception& e) {
        sink.warning(
            fmt::format("Exception in lf_processBGLfile (std::ex): {} ({})", e.what(), name));
    } catch (...) {
        sink.warning(fmt::format("Exception in lf_processBGLfile: {}", name));
    }
}

void lf_processBGLfile(const fs::path& path, BglSink& sink) {
    std::error_code ec;
    if (const std::uintmax_t size = fs::file_size(path, ec); !ec && size > kMaxBglBytes) {
        sink.log(fmt::format("{}: {} bytes, more than a scenery file with airports has, skipped",
                             gf_pathText(path), size));
        return;
    }
    const std::optional<BglData> data = gf_loadBglFile(path, nullptr);
    if (!data) {
        return;  // unreadable: nothing to say
    }
    gf_processBglData(BglView(*data), gf_pathText(path), sink);
}

}  // namespace wnd
