// Random and hostile inputs for the text parsers: no crash, no read past the buffer
// (run under AddressSanitizer with -DWENDLE_ASAN=ON), no exception escaping.
#include <gtest/gtest.h>

#include <random>

#include "testkit/testkit.h"
#include "util/charset.h"
#include "util/slots.h"
#include "util/unicode.h"

namespace wnd {
namespace {

std::string randomBytes(std::mt19937& rng, std::size_t maxLen, std::string_view alphabet = {}) {
    std::uniform_int_distribution<std::size_t> len(0, maxLen);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string s(len(rng), '\0');
    for (char& c : s) {
        if (alphabet.empty()) {
            c = static_cast<char>(byte(rng));
        } else {
            c = alphabet[static_cast<std::size_t>(byte(rng)) % alphabet.size()];
        }
    }
    return s;
}

TEST(RandomInput, CharsetDetectionAndReadingNeverFail) {
    std::mt19937 rng(20261206);
    testkit::TempDir dir;
    const auto file = dir / "r.txt";
    // Exactly sized heap buffers, so ASan sees any read past the end.
    for (int i = 0; i < 200000; ++i) {
        const std::string s = randomBytes(
            rng, 24,
            i % 2 == 0 ? std::string_view{}
                       : std::string_view("\x00\xC2\xE0\xED\xF0\xF4\x80\xBF\xA0\x8F\x90 \n", 13));
        std::unique_ptr<char[]> exact(new char[s.size()]);
        std::copy(s.begin(), s.end(), exact.get());
        const Charset c = gf_detectCharsetOfBytes(std::string_view(exact.get(), s.size()));
        ASSERT_LE(static_cast<int>(c), 4);
    }
    for (int i = 0; i < 500; ++i) {
        testkit::writeFile(file, randomBytes(rng, 9000));
        std::vector<std::string> lines;
        const Charset c = gf_detectCharset(file);
        gf_readLinesAsUtf8(c, file, lines);
        // Converted text is always well-formed; UTF-8 files are passed on as they are.
        if (c == Charset::ANSI || c == Charset::Unicode || c == Charset::Unicode_big_endian) {
            for (const std::string& l : lines) {
                ASSERT_TRUE(gf_isValidUtf8(l));
            }
        }
    }
}

TEST(RandomInput, HourListsNeverFail) {
    std::mt19937 rng(4711);
    for (int i = 0; i < 200000; ++i) {
        const std::string s = randomBytes(rng, 16, "0123456789:, \t-x47");
        const SlotBits b = gf_hours2bitset(s);
        if (const auto text = gf_bitset2hours(b)) {
            ASSERT_EQ(gf_hours2bitset(*text), b) << s;
        }
    }
}

}  // namespace
}  // namespace wnd
