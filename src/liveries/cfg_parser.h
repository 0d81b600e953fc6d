// Splitting an aircraft.cfg (or sim.cfg) into its [fltsim.N] sections and reading the
// keys a livery needs. Hand-written matchers of the line patterns "\s*(key)\s*=\s*(.*\S)\s*"
// and "\s*\[fltsim\.(\d+)\]\s*": a regular expression per line is far too slow for a scan
// of tens of thousands of files.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wnd {

enum class CfgKey : int {
    title = 0,
    sim,
    model,
    texture,
    atc_model,
    atc_id,
    atc_parking_types,
    atc_parking_codes,
};
inline constexpr std::size_t kCfgKeyCount = 8;

struct CfgKeyLine {
    CfgKey key;
    std::string value;  // trimmed, a trailing "//" comment removed
    std::string raw;    // the text after '=' as written
};

// A key line of one of the eight keys (names in any case); nothing for any other line and
// for a key whose value is empty once a trailing comment is gone.
std::optional<CfgKeyLine> lf_matchKeyLine(std::string_view line);
// "[fltsim.12]" (any case, blanks around) gives 12.
std::optional<long> lf_matchFltsimHeader(std::string_view line);
// Any "[...]" header line.
bool lf_isSectionHeader(std::string_view line);

struct FltsimSection {
    std::string header;                                           // as written, trimmed
    std::size_t line = 0;                                         // 1-based
    std::array<std::optional<std::string>, kCfgKeyCount> values;  // the first of each key
    std::array<int, kCfgKeyCount> counts{};
    std::string rawTitle;  // the first title's text after '='

    const std::optional<std::string>& operator[](CfgKey k) const {
        return values[static_cast<std::size_t>(k)];
    }
    int count(CfgKey k) const { return counts[static_cast<std::size_t>(k)]; }
};

struct ParsedCfg {
    std::vector<FltsimSection> sections;
    std::optional<std::string> atcModel;  // the first atc_model line of the file
};

ParsedCfg lf_parseCfgLines(const std::vector<std::string>& lines);

}  // namespace wnd
