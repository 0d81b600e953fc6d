// libFuzzer entry: one aircraft.cfg text through the section parser. Beyond not crashing,
// the sections must keep their own rules: a key's value is there exactly when the key was
// counted, values are trimmed and never empty, headers are "[...]" lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/cfg_parser.h"
#include "util/charset.h"

namespace {

bool fz_trimmed(std::string_view s) {
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    return !s.empty() && !space(s.front()) && !space(s.back());
}

void fz_check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Bytes F0..FF stand for the words of the format, so that short inputs reach sections and
// keys; an input that begins with a NUL is taken as it is.
std::string fz_text(const std::uint8_t* data, std::size_t size) {
    // clang-format off
    static constexpr std::string_view kWords[16] = {
        "[fltsim.", "]", "\n", "=", "title", "sim", "model", "texture", "atc_model", "atc_id",
        "atc_parking_types", "atc_parking_codes", "//", " ", "[General]", "\r\n"};
    // clang-format on
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[0] != 0 && data[i] >= 0xF0) {
            text += kWords[data[i] - 0xF0];
        } else {
            text += static_cast<char>(data[i]);
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wnd;
    const std::vector<std::string> lines = gf_splitLines(fz_text(data, size));
    const ParsedCfg cfg = lf_parseCfgLines(lines);
    fz_check(!cfg.atcModel || fz_trimmed(*cfg.atcModel));
    std::size_t headers = 0;
    for (const std::string& line : lines) {
        if (const auto kv = lf_matchKeyLine(line)) {
            fz_check(fz_trimmed(kv->value));
        }
        if (lf_matchFltsimHeader(line)) {
            fz_check(lf_isSectionHeader(line));
            ++headers;
        }
    }
    fz_check(cfg.sections.size() == headers);
    for (const FltsimSection& s : cfg.sections) {
        fz_check(s.line >= 1 && s.line <= lines.size() && s.header.starts_with('['));
        for (std::size_t k = 0; k < kCfgKeyCount; ++k) {
            fz_check(s.values[k].has_value() == (s.counts[k] > 0));
            fz_check(!s.values[k] || fz_trimmed(*s.values[k]));
        }
        fz_check(s.rawTitle.empty() || s[CfgKey::title].has_value());
    }
    return 0;
}
