#include "util/charset.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>

#include "platform/platform.h"
#include "util/files.h"
#include "util/status_sink.h"
#include "util/unicode.h"

namespace wnd {

namespace {

constexpr std::size_t kSampleSize = 4096;

bool readWholeFile(const std::filesystem::path& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        throw std::runtime_error("read error");
    }
    out = std::move(ss).str();
    return true;
}

// `cut`: the file goes on past the sample, so a character its end falls inside is
// judged by the bytes the sample has of it.
bool isValidUtf8Sample(std::string_view s, bool cut) {
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        if (b <= 0x7F) {
            ++i;
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        const std::size_t present = std::min(extra, n - i - 1);
        if (present < extra && !cut) {
            return false;
        }
        for (std::size_t k = 1; k <= present; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0U) != 0x80U) {
                return false;
            }
        }
        if (present > 0) {
            const auto b1 = static_cast<unsigned char>(s[i + 1]);
            if ((b == 0xE0 && b1 < 0xA0) || (b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 > 0x8F)) {
                return false;
            }
        }
        i += present + 1;
    }
    return true;
}

std::string ansiLineToUtf8(std::string_view line) {
    auto wide = platform::ansiToUtf16(line, true);
    if (!wide) {
        wide = platform::ansiToUtf16(line, false);
    }
    if (!wide) {
        return {};
    }
    return gf_wideToUtf8(*wide);
}

}  // namespace

const std::string& gf_charsetName(Charset c) {
    static const std::map<Charset, std::string> kNames = {
        {Charset::ANSI, "ANSI"},
        {Charset::Unicode, "Unicode"},
        {Charset::Unicode_big_endian, "Unicode_big_endian"},
        {Charset::UTF8_with_BOM, "UTF8_with_BOM"},
        {Charset::UTF8_without_BOM, "UTF8_without_BOM"},
        {Charset::none_found, "none_found"}};
    const auto it = kNames.find(c);
    if (it == kNames.end()) {
        throw std::out_of_range("invalid map<K, T> key");
    }
    return it->second;
}

Charset gf_detectCharsetOfBytes(std::string_view bytes) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), 4);
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (n >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
        return Charset::UTF8_with_BOM;
    }
    if (n >= 2) {
        if (b(0) == 0xFF && b(1) == 0xFE) {
            return Charset::Unicode;
        }
        if (b(0) == 0xFE && b(1) == 0xFF) {
            return Charset::Unicode_big_endian;
        }
        if (b(1) == 0 && (n < 4 || b(3) == 0)) {
            return Charset::Unicode;
        }
        if (b(0) == 0 && (n < 4 || b(2) == 0)) {
            return Charset::Unicode_big_endian;
        }
    }
    const std::string_view sample = bytes.substr(0, kSampleSize);
    if (sample.empty()) {
        return Charset::UTF8_without_BOM;
    }
    const bool cut = bytes.size() > sample.size();
    return isValidUtf8Sample(sample, cut) ? Charset::UTF8_without_BOM : Charset::ANSI;
}

Charset gf_detectCharset(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return Charset::none_found;
    }
    // Only the sample is needed, and one byte more that tells whether the file goes on past
    // it; never pull a huge file into memory for it.
    std::string head(kSampleSize + 1, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return gf_detectCharsetOfBytes(head);
}

std::vector<std::string> gf_splitLines(std::string_view text, std::size_t reserveHint) {
    std::vector<std::string> lines;
    lines.reserve(reserveHint);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

bool gf_readLinesAsUtf8(Charset charset, const std::filesystem::path& path,
                        std::vector<std::string>& lines) {
    lines.clear();
    try {
        std::string bytes;
        switch (charset) {
            case Charset::Unicode:
            case Charset::Unicode_big_endian: {
                if (!readWholeFile(path, bytes)) {
                    throw std::runtime_error("cannot open file");
                }
                if (bytes.size() < 2 || bytes.size() % 2 != 0) {
                    return true;
                }
                const auto m0 = static_cast<unsigned char>(bytes[0]);
                const auto m1 = static_cast<unsigned char>(bytes[1]);
                bool little = false;
                if (m0 == 0xFF && m1 == 0xFE) {
                    little = true;
                } else if (!(m0 == 0xFE && m1 == 0xFF)) {
                    return true;
                }
                std::u16string wide;
                wide.reserve(bytes.size() / 2);
                for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
                    const auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
                    const auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
                    wide.push_back(static_cast<char16_t>((hi << 8U) | lo));
                }
                lines = gf_splitLines(gf_wideToUtf8(wide));
                return true;
            }
            case Charset::UTF8_with_BOM:
                if (!readWholeFile(path, bytes)) {
                    throw std::runtime_error("cannot open file");
                }
                lines = gf_splitLines(bytes);
                if (!lines.empty() && lines.front().starts_with("\xEF\xBB\xBF")) {
                    lines.front().erase(0, 3);
                }
                return true;
            case Charset::UTF8_without_BOM:
                if (!readWholeFile(path, bytes)) {
                    throw std::runtime_error("cannot open file");
                }
                lines = gf_splitLines(bytes);
                return true;
            case Charset::ANSI:
                if (!readWholeFile(path, bytes)) {
                    throw std::runtime_error("cannot open file");
                }
                lines = gf_splitLines(bytes, 2048);
                for (std::string& line : lines) {
                    line = ansiLineToUtf8(line);
                }
                return true;
            default: {
                std::string name;
                try {
                    name = gf_charsetName(charset);
                } catch (const std::out_of_range&) {
                    name = std::to_string(static_cast<int>(charset));
                }
                throw std::runtime_error(
                    fmt::format("file {} has unknown charset: {}", gf_pathText(path), name));
            }
        }
    } catch (const std::exception& e) {
        lines.clear();
        gf_reportStatus(fmt::format("Read failed for '{}': {}", gf_pathText(path), e.what()));
        return false;
    }
}

ReadLinesResult gf_readLines(const std::filesystem::path& path, std::size_t reserveHint) {
    ReadLinesResult r;
    std::string bytes;
    try {
        if (!readWholeFile(path, bytes)) {
            r.error = "open_failed";
            return r;
        }
    } catch (const std::exception& e) {
        r.error = e.what();
        return r;
    }
    r.lines = gf_splitLines(bytes, reserveHint);
    r.count = r.lines.size();
    r.ok = true;
    return r;
}

bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out.is_open()) {
        return false;
    }
    out << text << '\n';
    out.flush();
    return true;
}

}  // namespace wnd
