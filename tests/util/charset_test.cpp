#include "util/charset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/testkit.h"
#include "util/status_sink.h"

namespace wnd {
namespace {

using testkit::TempDir;
using testkit::writeFile;
using Lines = std::vector<std::string>;
using namespace std::string_literals;

TEST(Charset, Detection) {
    const std::vector<std::pair<std::string, Charset>> cases = {
        {"\xEF\xBB\xBFq", Charset::UTF8_with_BOM},
        {"\xFF\xFEq\0"s, Charset::Unicode},
        {"\xFE\xFF\0a"s, Charset::Unicode_big_endian},
        {"A\0B\0"s, Charset::Unicode},
        {"A\0"s, Charset::Unicode},
        {"\0A\0B"s, Charset::Unicode_big_endian},
        // Only the second byte is zero: not UTF-16 when the fourth is not.
        {"A\0BC"s, Charset::UTF8_without_BOM},
        {"", Charset::UTF8_without_BOM},
        {"plain ascii\r\nline two\n", Charset::UTF8_without_BOM},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", Charset::UTF8_without_BOM},
        {"ab\xE9xy", Charset::ANSI},
        {"ab\xC0\x80xy", Charset::ANSI},          // overlong
        {"ab\xE0\x80\x80xy", Charset::ANSI},      // overlong 3-byte
        {"ab\xF4\x90\x80\x80xy", Charset::ANSI},  // beyond U+10FFFF
        {"ab\xF5\x80\x80\x80xy", Charset::ANSI},
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_EQ(gf_detectCharsetOfBytes(bytes), expected);
    }
    TempDir dir;
    EXPECT_EQ(gf_detectCharset(dir / "missing.txt"), Charset::none_found);
}

// Only the first 4096 bytes are looked at: a character that byte 4096 falls inside is cut
// by the sample, not by a fault of the file.
TEST(Charset, ACharacterCutByTheEndOfTheSampleIsValid) {
    TempDir dir;
    const std::string after = " and more text \xC3\xA9 after the sample";
    for (const std::string ch : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        for (std::size_t cut = 1; cut < ch.size(); ++cut) {
            SCOPED_TRACE(testing::PrintToString(ch) + " cut after " + std::to_string(cut));
            writeFile(dir / "cut.txt", std::string(4096 - cut, 'a') + ch + after);
            EXPECT_EQ(gf_detectCharset(dir / "cut.txt"), Charset::UTF8_without_BOM);
        }
    }
    // A fault inside the sample still makes it Windows-1252, also in a cut character's
    // first bytes; a file that itself ends inside a character is no valid UTF-8 either.
    for (const std::string& bytes :
         {std::string(4000, 'a') + "\xE9" + std::string(200, 'a') + "\xC3\xA9",
          std::string(4094, 'a') + "\xE0\x80\x80 more", std::string(4094, 'a') + "\xE2\x41\x80 x",
          std::string(4095, 'a') + "\xC3"}) {
        writeFile(dir / "bad.txt", bytes);
        EXPECT_EQ(gf_detectCharset(dir / "bad.txt"), Charset::ANSI) << bytes.size();
    }
}

std::vector<std::string> g_statusLines;
void captureStatus(std::string_view text) {
    g_statusLines.emplace_back(text);
}

TEST(Charset, ReadsEveryCharsetAsUtf8Lines) {
    struct Case {
        Charset charset;
        std::string bytes;
        bool ok;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {Charset::Unicode, "\xFF\xFEh\0\xE9\0\r\0\n\0x\0"s, true, {"h\xC3\xA9", "x"}},
        {Charset::Unicode_big_endian, "\xFE\xFF\x20\xAC\0\n\0y"s, true, {"\xE2\x82\xAC", "y"}},
        {Charset::UTF8_with_BOM, "\xEF\xBB\xBFline\r\nsecond", true, {"line", "second"}},
        {Charset::UTF8_without_BOM, "caf\xC3\xA9\r\n\nend", true, {"caf\xC3\xA9", "", "end"}},
        // Windows-1252: 0x80 is the euro sign, 0xE9 e-acute; 0x81 is undefined and is kept
        // as its C1 code point rather than dropping the line.
        {Charset::ANSI,
         "Z\xFCrich \x80\n\xE9\x81\n",
         true,
         {"Z\xC3\xBCrich \xE2\x82\xAC", "\xC3\xA9\xC2\x81"}},
        // UTF-16 without its mark, or of odd length, gives no lines.
        {Charset::Unicode, "A\0B\0"s, true, {}},
        {Charset::Unicode, "\xFF\xFEQ\0R"s, true, {}},
        // A lone surrogate cannot become UTF-8.
        {Charset::Unicode, "\xFF\xFE\0\xD8"s, false, {}},
        {Charset::none_found, "x", false, {}},
    };
    TempDir dir;
    g_statusLines.clear();
    gf_setStatusSink(&captureStatus);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        writeFile(dir / "f.txt", c.bytes);
        Lines lines{"stale"};
        EXPECT_EQ(gf_readLinesAsUtf8(c.charset, dir / "f.txt", lines), c.ok);
        EXPECT_EQ(lines, c.lines);
    }
    Lines lines;
    EXPECT_FALSE(gf_readLinesAsUtf8(Charset::ANSI, dir / "missing.txt", lines));
    gf_setStatusSink(nullptr);
    ASSERT_EQ(g_statusLines.size(), 3U);
    EXPECT_EQ(g_statusLines[1].rfind("Read failed for '", 0), 0U);
    EXPECT_NE(g_statusLines[1].find("has unknown charset: none_found"), std::string::npos);
    EXPECT_THROW(gf_charsetName(static_cast<Charset>(6)), std::out_of_range);
}

TEST(TextFiles, ReadLinesAndWriteTextFile) {
    TempDir dir;
    ASSERT_TRUE(gf_writeTextFile("a\r\nb", dir / "t.txt"));
    const ReadLinesResult r = gf_readLines(dir / "t.txt", 10);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.count, 2U);
    EXPECT_EQ(r.lines, (Lines{"a", "b"}));
    const ReadLinesResult missing = gf_readLines(dir / "none.txt");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "open_failed");
    EXPECT_FALSE(gf_writeTextFile("x", dir / "no" / "such" / "folder.txt"));
}

}  // namespace
}  // namespace wnd
