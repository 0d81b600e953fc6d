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

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) {
        s.push_back(static_cast<char>(c));
    }
    return s;
}

Charset detect(const TempDir& dir, const std::string& content) {
    writeFile(dir / "f.txt", content);
    return gf_detectCharset(dir / "f.txt");
}

TEST(Charset, DetectsByteOrderMarksAndZeroBytes) {
    TempDir dir;
    EXPECT_EQ(detect(dir, bytes({0xEF, 0xBB, 0xBF, 'a'})), Charset::UTF8_with_BOM);
    EXPECT_EQ(detect(dir, bytes({0xFF, 0xFE, 'a', 0})), Charset::Unicode);
    EXPECT_EQ(detect(dir, bytes({0xFE, 0xFF, 0, 'a'})), Charset::Unicode_big_endian);
    EXPECT_EQ(detect(dir, bytes({'A', 0, 'B', 0})), Charset::Unicode);
    EXPECT_EQ(detect(dir, bytes({'A', 0})), Charset::Unicode);
    EXPECT_EQ(detect(dir, bytes({0, 'A', 0, 'B'})), Charset::Unicode_big_endian);
    // Only the second byte is zero: not UTF-16 when the fourth is not.
    EXPECT_EQ(detect(dir, bytes({'A', 0, 'B', 'C'})), Charset::UTF8_without_BOM);
}

TEST(Charset, TellsUtf8FromAnsi) {
    TempDir dir;
    EXPECT_EQ(detect(dir, ""), Charset::UTF8_without_BOM);
    EXPECT_EQ(detect(dir, "plain ascii\r\nline two\n"), Charset::UTF8_without_BOM);
    EXPECT_EQ(detect(dir, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), Charset::UTF8_without_BOM);
    EXPECT_EQ(detect(dir,
                     "ab\xE9"
                     "cd"),
              Charset::ANSI);
    EXPECT_EQ(detect(dir,
                     "ab\xC0\x80"
                     "cd"),
              Charset::ANSI);  // overlong
    EXPECT_EQ(detect(dir,
                     "ab\xE0\x80\x80"
                     "cd"),
              Charset::ANSI);  // overlong 3-byte
    EXPECT_EQ(detect(dir,
                     "ab\xF4\x90\x80\x80"
                     "c"),
              Charset::ANSI);  // beyond U+10FFFF
    EXPECT_EQ(detect(dir,
                     "ab\xF5\x80\x80\x80"
                     "c"),
              Charset::ANSI);
    // A valid character cut by the end of the 4096-byte sample.
    std::string cut(4095, 'a');
    cut += "\xC3\xA9 and more text after the sample";
    EXPECT_EQ(detect(dir, cut), Charset::ANSI);
    EXPECT_EQ(gf_detectCharset(dir / "missing.txt"), Charset::none_found);
}

TEST(Charset, NamesAndInvalidValues) {
    EXPECT_EQ(gf_charsetName(Charset::UTF8_without_BOM), "UTF8_without_BOM");
    EXPECT_EQ(gf_charsetName(Charset::none_found), "none_found");
    EXPECT_THROW(gf_charsetName(static_cast<Charset>(6)), std::out_of_range);
}

TEST(Charset, ReadsEveryCharsetAsUtf8Lines) {
    TempDir dir;
    std::vector<std::string> lines;

    writeFile(dir / "le.txt", bytes({0xFF, 0xFE, 'h', 0, 0xE9, 0, '\r', 0, '\n', 0, 'x', 0}));
    ASSERT_TRUE(gf_readLinesAsUtf8(Charset::Unicode, dir / "le.txt", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"h\xC3\xA9", "x"}));

    writeFile(dir / "be.txt", bytes({0xFE, 0xFF, 0x20, 0xAC, 0, '\n', 0, 'y'}));
    ASSERT_TRUE(gf_readLinesAsUtf8(Charset::Unicode_big_endian, dir / "be.txt", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"\xE2\x82\xAC", "y"}));

    writeFile(dir / "bom.txt",
              "\xEF\xBB\xBF"
              "first\r\nsecond");
    ASSERT_TRUE(gf_readLinesAsUtf8(Charset::UTF8_with_BOM, dir / "bom.txt", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));

    // Windows-1252: 0x80 is the euro sign, 0xE9 e-acute; 0x81 is undefined and is kept
    // as its C1 code point rather than dropping the line.
    writeFile(dir / "ansi.txt", "Z\xFCrich \x80\n\xE9\x81\n");
    ASSERT_TRUE(gf_readLinesAsUtf8(Charset::ANSI, dir / "ansi.txt", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"Z\xC3\xBCrich \xE2\x82\xAC", "\xC3\xA9\xC2\x81"}));
}

TEST(Charset, Utf16WithoutMarkOrOddLengthGivesNoLines) {
    TempDir dir;
    std::vector<std::string> lines{"stale"};
    writeFile(dir / "nomark.txt", bytes({'A', 0, 'B', 0}));
    EXPECT_TRUE(gf_readLinesAsUtf8(Charset::Unicode, dir / "nomark.txt", lines));
    EXPECT_TRUE(lines.empty());
    writeFile(dir / "odd.txt", bytes({0xFF, 0xFE, 'A', 0, 'B'}));
    EXPECT_TRUE(gf_readLinesAsUtf8(Charset::Unicode, dir / "odd.txt", lines));
    EXPECT_TRUE(lines.empty());
}

std::vector<std::string> g_statusLines;
void captureStatus(std::string_view text) {
    g_statusLines.emplace_back(text);
}

TEST(Charset, UnreadableOrUnknownIsReportedNotThrown) {
    TempDir dir;
    g_statusLines.clear();
    gf_setStatusSink(&captureStatus);
    std::vector<std::string> lines;
    writeFile(dir / "a.txt", "x");
    EXPECT_FALSE(gf_readLinesAsUtf8(Charset::none_found, dir / "a.txt", lines));
    EXPECT_FALSE(gf_readLinesAsUtf8(Charset::ANSI, dir / "missing.txt", lines));
    // A lone surrogate cannot become UTF-8.
    writeFile(dir / "bad16.txt", bytes({0xFF, 0xFE, 0x00, 0xD8}));
    EXPECT_FALSE(gf_readLinesAsUtf8(Charset::Unicode, dir / "bad16.txt", lines));
    gf_setStatusSink(nullptr);
    ASSERT_EQ(g_statusLines.size(), 3U);
    EXPECT_NE(g_statusLines[0].find("has unknown charset: none_found"), std::string::npos);
    EXPECT_EQ(g_statusLines[0].rfind("Read failed for '", 0), 0U);
}

TEST(TextFiles, ReadLinesAndWriteTextFile) {
    TempDir dir;
    ASSERT_TRUE(gf_writeTextFile("a\r\nb", dir / "t.txt"));
    const ReadLinesResult r = gf_readLines(dir / "t.txt", 10);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.count, 2U);
    EXPECT_EQ(r.lines, (std::vector<std::string>{"a", "b"}));
    const ReadLinesResult missing = gf_readLines(dir / "none.txt");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "open_failed");
    EXPECT_FALSE(gf_writeTextFile("x", dir / "no" / "such" / "folder.txt"));
}

}  // namespace
}  // namespace wnd
