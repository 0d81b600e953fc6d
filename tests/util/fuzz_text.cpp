// libFuzzer entry for the readers of the user's text files; the first byte picks one.
// 0: the charset of the bytes; 1: the bytes as a file (alone, or at the end of the part the
// detection samples), detected and read as lines, where whatever was converted is well-formed
// UTF-8; 2: an hour list, whose text form reads back
// as the same slots. Each input lies in a block of its exact size, so ASan sees any read
// past its end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/charset.h"
#include "util/slots.h"
#include "util/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wnd;
    if (size == 0) {
        return 0;
    }
    const auto block = std::make_unique<char[]>(size - 1);
    std::copy(data + 1, data + size, block.get());
    const std::string_view bytes(block.get(), size - 1);
    switch (data[0] % 3) {
        case 0: {
            const int c = static_cast<int>(gf_detectCharsetOfBytes(bytes));
            if (c < 0 || c > static_cast<int>(Charset::UTF8_without_BOM)) {
                std::abort();  // bytes in memory always have a charset
            }
            break;
        }
        case 1: {
            // scripts/fuzz runs each target in a folder of its own.
            // Half of them behind ASCII text, so they straddle the end of the 4096-byte sample.
            const std::string text =
                (data[0] / 3 % 2 == 1 ? std::string(4090, 'a') : "") + std::string(bytes);
            const std::filesystem::path file = "fuzz_text.txt";
            std::ofstream(file, std::ios::binary | std::ios::trunc)
                .write(text.data(), static_cast<std::streamsize>(text.size()));
            const Charset c = gf_detectCharset(file);
            std::vector<std::string> lines;
            gf_readLinesAsUtf8(c, file, lines);
            if (c == Charset::ANSI || c == Charset::Unicode || c == Charset::Unicode_big_endian) {
                for (const std::string& l : lines) {
                    if (!gf_isValidUtf8(l)) {
                        std::abort();
                    }
                }
            }
            break;
        }
        default: {
            const SlotBits b = gf_hours2bitset(bytes);
            if (const auto text = gf_bitset2hours(b); text && gf_hours2bitset(*text) != b) {
                std::abort();
            }
            break;
        }
    }
    return 0;
}
