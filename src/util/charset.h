// Character sets of user text files and reading them as UTF-8 lines.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace wnd {

enum class Charset : int {
    ANSI = 0,
    Unicode = 1,  // UTF-16 little endian
    Unicode_big_endian = 2,
    UTF8_with_BOM = 3,
    UTF8_without_BOM = 4,
    none_found = 5,  // the file could not be opened
};

// "ANSI", "Unicode", ...; throws std::out_of_range("invalid map<K, T> key") outside 0..5.
const std::string& gf_charsetName(Charset c);

// Files without a byte-order mark are judged by their first 4096 bytes: valid UTF-8 there
// (a character cut by the end of the sample counts as valid) is UTF-8, else Windows-1252.
Charset gf_detectCharset(const std::filesystem::path& path);
// Detection on bytes already in memory: all of a file, or its first bytes and at least one
// more beyond the sample when the file goes on.
Charset gf_detectCharsetOfBytes(std::string_view bytes);

// Fills `lines` with the file's lines in UTF-8; false when the file could not be read
// (the reason is shown in the status display). Unknown charsets are an error.
bool gf_readLinesAsUtf8(Charset charset, const std::filesystem::path& path,
                        std::vector<std::string>& lines);

struct ReadLinesResult {
    std::vector<std::string> lines;
    std::size_t count = 0;
    bool ok = false;
    std::string error;  // "open_failed" when the file could not be opened
};

// A UTF-8 text file split at "\n", a trailing "\r" removed from each line.
ReadLinesResult gf_readLines(const std::filesystem::path& path, std::size_t reserveHint = 0);

// Writes text + "\n" (binary mode); false when the file could not be opened.
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path);

// Splits at "\n" and removes one "\r" at the end of each line; no empty last line.
std::vector<std::string> gf_splitLines(std::string_view text, std::size_t reserveHint = 0);

}  // namespace wnd
