#include "liveries/cfg_parser.h"

#include <cctype>

namespace wnd {

namespace {

constexpr std::array<std::string_view, kCfgKeyCount> kKeyNames = {"title",
                                                                  "sim",
                                                                  "model",
                                                                  "texture",
                                                                  "atc_model",
                                                                  "atc_id",
                                                                  "atc_parking_types",
                                                                  "atc_parking_codes"};

// The characters of the regular expressions' "\s".
bool lf_isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t lf_skipSpace(std::string_view s, std::size_t i) {
    while (i < s.size() && lf_isSpace(s[i])) {
        ++i;
    }
    return i;
}

std::string_view lf_trimSpace(std::string_view s) {
    std::size_t b = lf_skipSpace(s, 0);
    std::size_t e = s.size();
    while (e > b && lf_isSpace(s[e - 1])) {
        --e;
    }
    return s.substr(b, e - b);
}

bool lf_equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The simulator reads "model=long //clean,long" as "long": a "//" at the start of the
// value or after a blank begins a comment.
std::string_view lf_dropComment(std::string_view value) {
    std::size_t pos = value.find("//");
    while (pos != std::string_view::npos) {
        if (pos == 0 || lf_isSpace(value[pos - 1])) {
            return lf_trimSpace(value.substr(0, pos));
        }
        pos = value.find("//", pos + 1);
    }
    return value;
}

}  // namespace

std::optional<CfgKeyLine> lf_matchKeyLine(std::string_view line) {
    std::size_t i = lf_skipSpace(line, 0);
    const std::size_t nameStart = i;
    while (i < line.size() &&
           (std::isalnum(static_cast<unsigned char>(line[i])) != 0 || line[i] == '_')) {
        ++i;
    }
    const std::string_view name = line.substr(nameStart, i - nameStart);
    if (name.empty()) {
        return std::nullopt;
    }
    std::size_t k = 0;
    while (k < kCfgKeyCount && !lf_equalsNoCase(name, kKeyNames[k])) {
        ++k;
    }
    if (k == kCfgKeyCount) {
        return std::nullopt;
    }
    i = lf_skipSpace(line, i);
    if (i >= line.size() || line[i] != '=') {
        return std::nullopt;
    }
    const std::string_view raw = line.substr(i + 1);
    const std::string_view value = lf_dropComment(lf_trimSpace(raw));
    if (value.empty()) {
        return std::nullopt;
    }
    return CfgKeyLine{static_cast<CfgKey>(k), std::string(value), std::string(raw)};
}

std::optional<long> lf_matchFltsimHeader(std::string_view line) {
    std::size_t i = lf_skipSpace(line, 0);
    constexpr std::string_view kOpen = "[fltsim.";
    if (line.size() - i < kOpen.size() || !lf_equalsNoCase(line.substr(i, kOpen.size()), kOpen)) {
        return std::nullopt;
    }
    i += kOpen.size();
    long number = 0;
    const std::size_t digitsStart = i;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) != 0) {
        // Any larger number still names a section; capped below 2^31, the size of a long
        // on Windows.
        if (number < 100000000L) {
            number = number * 10 + (line[i] - '0');
        }
        ++i;
    }
    if (i == digitsStart || i >= line.size() || line[i] != ']') {
        return std::nullopt;
    }
    if (lf_skipSpace(line, i + 1) != line.size()) {
        return std::nullopt;
    }
    return number;
}

bool lf_isSectionHeader(std::string_view line) {
    const std::size_t i = lf_skipSpace(line, 0);
    return i < line.size() && line[i] == '[';
}

ParsedCfg lf_parseCfgLines(const std::vector<std::string>& lines) {
    ParsedCfg out;
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t current = kNone;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (lf_isSectionHeader(line)) {
            if (lf_matchFltsimHeader(line)) {
                FltsimSection s;
                s.header = std::string(lf_trimSpace(line));
                s.line = n + 1;
                out.sections.push_back(std::move(s));
                current = out.sections.size() - 1;
            } else {
                current = kNone;
            }
            continue;
        }
        if (line.find('=') == std::string::npos) {
            continue;
        }
        std::optional<CfgKeyLine> kv = lf_matchKeyLine(line);
        if (!kv) {
            continue;
        }
        if (kv->key == CfgKey::atc_model && !out.atcModel) {
            out.atcModel = kv->value;
        }
        if (current == kNone) {
            continue;
        }
        FltsimSection& s = out.sections[current];
        const auto k = static_cast<std::size_t>(kv->key);
        ++s.counts[k];
        if (!s.values[k]) {
            if (kv->key == CfgKey::title) {
                s.rawTitle = std::move(kv->raw);
            }
            s.values[k] = std::move(kv->value);
        }
    }
    return out;
}

}  // namespace wnd
