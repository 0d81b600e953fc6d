// libFuzzer entry: real airport files (written ones without ../shared/data) mutated field by
// field through the reader. The input picks a seed, then lists 8-byte mutations: a word set
// to the fuzzer's value or to one that offsets and sizes make dangerous, a byte set, or a cut.
// An input beginning with 0xFF is a file of its own. Beyond not crashing and not reading past
// the copy (ASan), every stand must have a unique id, a position on the globe, finite values.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bgl_writer.h"
#include "scan/bgl_reader.h"

namespace {

using namespace wnd;

void fz_check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

std::vector<std::string> fz_seeds() {
    std::vector<std::string> seeds;
    const std::filesystem::path dir =
        std::filesystem::path(WENDLE_SHARED_DATA_DIR) / "testdata" / "bgl";
    for (const char* name : {"KTST_TestAirport_v5.BGL", "KTST_TestAirport_v6.bgl",
                             "LEAB_ADEP4_ARV187.bgl", "LEAB_ADEP5_ARV187_ALT.bgl"}) {
        std::ifstream in(dir / name, std::ios::binary);
        if (in) {
            seeds.emplace_back(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>());
        }
    }
    if (seeds.empty()) {
        testbgl::Airport a;
        a.parkingLists = {{{.number = 1}, {.number = 2, .airlines = 2}}};
        a.helipads = {{}};
        seeds.push_back(testbgl::build({.airports = {a}}));
        a.v5 = false;
        seeds.push_back(testbgl::build({.airports = {a}}));
    }
    return seeds;
}

struct Check final : BglSink {
    bool acceptAirport(std::string_view) override { return true; }
    void airport(BglAirport&& a) override {
        std::set<std::string> ids;
        for (const BglStand& s : a.stands) {
            fz_check(ids.insert(s.id).second);
            fz_check(std::abs(s.latitude) <= 90.0 && std::abs(s.longitude) <= 180.0);
            fz_check(std::isfinite(s.heading) && std::isfinite(s.radius));
        }
    }
    void log(std::string_view) override {}
    void warning(std::string_view) override {}
    void scanLog(std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::string> seeds = fz_seeds();
    std::string file;
    if (size > 0 && data[0] == 0xFF) {
        file.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    } else if (size > 0) {
        file = seeds[data[0] % seeds.size()];
        for (std::size_t i = 1; i + 8 <= size && !file.empty(); i += 8) {
            const std::uint8_t op = data[i];
            std::uint32_t at = 0;
            std::uint32_t value = 0;
            std::memcpy(&at, data + i, 4);
            std::memcpy(&value, data + i + 4, 4);
            at = (at >> 8) % static_cast<std::uint32_t>(file.size());
            const std::uint32_t dangerous[] = {
                0, 1, 3, 4, 0xFFFFFFFFU, 0x7FFFFFFFU, at, static_cast<std::uint32_t>(file.size())};
            switch (op % 4) {
                case 0:
                    break;
                case 1:
                    value = dangerous[value % 8];
                    break;
                case 2:
                    file[at] = static_cast<char>(value);
                    continue;
                default:
                    file.resize(at);
                    continue;
            }
            if (at + 4 <= file.size()) {
                std::memcpy(file.data() + at, &value, 4);
            }
        }
    }
    // An allocation of exactly the words read, so that ASan sees any read past them.
    const std::size_t bytes = file.size() / 4 * 4;
    const std::unique_ptr<std::byte[]> copy(new std::byte[bytes == 0 ? 1 : bytes]);
    std::memcpy(copy.get(), file.data(), bytes);
    const BglView view(copy.get(), bytes);
    gf_bglPreCheck(view);
    Check check;
    gf_processBglData(view, "fuzz.bgl", check);
    return 0;
}
