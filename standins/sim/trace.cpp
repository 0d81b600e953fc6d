#include "standins/sim/trace.h"

#include <fmt/format.h>

#include <cmath>
#include <stdexcept>

#include "platform/platform.h"
#include "util/files.h"
#include "util/unicode.h"

namespace wnd::simstandin {

TraceWriter::TraceWriter(const std::filesystem::path& file)
    : out_(file, std::ios::binary | std::ios::trunc) {
    if (!out_) {
        throw std::runtime_error(fmt::format("cannot create the trace file {}", gf_pathText(file)));
    }
}

void TraceWriter::write(double t, std::string_view ev, const nlohmann::ordered_json& fields) {
    nlohmann::ordered_json line;
    line["t"] = std::round(t * 1000.0) / 1000.0;
    line["ev"] = ev;
    if (fields.is_object()) {
        for (const auto& [k, v] : fields.items()) {
            line[k] = v;
        }
    }
    out_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void TraceWriter::flush() {
    out_.flush();
}

std::string gf_ansiToUtf8(std::string_view ansi) {
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

std::string gf_utf8ToAnsi(std::string_view utf8) {
    std::u16string wide;
    try {
        wide = gf_utf8ToWide(utf8);
    } catch (const std::exception&) {
        return std::string(utf8);  // not UTF-8: taken as bytes already in the code page
    }
    // The 0x80..0x9F block of Windows-1252; everything else maps to itself up to 0xFF.
    static const char16_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(wide.size());
    for (char16_t c : wide) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < 32; ++i) {
            if (kHigh[i] != 0 && kHigh[i] == c) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.push_back(mapped);
    }
    return out;
}

}  // namespace wnd::simstandin
