// Seeded random inputs for the traffic line and weather handlers: mutated good lines,
// the stand-in's hostile datagrams and plain noise. Each input lies in a heap block of
// exactly its size, so a sanitizer build (-DWENDLE_ASAN=ON) catches any read past it.
// WENDLE_FUZZ_ITERATIONS and WENDLE_FUZZ_SEED change the run's size and seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>

#include "board/status_board.h"
#include "rt_test_util.h"
#include "rtlink/traffic_reader.h"
#include "rtlink/weather.h"
#include "settings/settings.h"
#include "standins/rt/standin.h"

namespace wnd {
namespace {

std::uint64_t lf_env(const char* name, std::uint64_t fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtoull(v, nullptr, 10) : fallback;
}

class Mutator {
  public:
    Mutator(std::vector<std::string> corpus, std::vector<std::string> tokens, std::uint64_t seed)
        : corpus_(std::move(corpus)), tokens_(std::move(tokens)), rng_(seed) {}

    std::string next() {
        std::string s = corpus_[pick(corpus_.size())];
        const std::size_t rounds = 1 + pick(4);
        for (std::size_t i = 0; i < rounds; ++i) {
            mutate(s);
        }
        return s;
    }

  private:
    std::size_t pick(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng_() % n); }
    char randomByte() {
        static constexpr char kFavourites[] = {',', ',', ',', '.', '-', 'e', '0',  '9',  '@',
                                               '"', '{', '}', '[', ']', ':', '\0', '\n', ' '};
        return pick(2) == 0 ? kFavourites[pick(sizeof kFavourites)]
                            : static_cast<char>(rng_() & 0xFF);
    }
    void mutate(std::string& s) {
        switch (pick(8)) {
            case 0: {  // one comma-separated field becomes a token
                std::vector<std::size_t> commas{0};
                for (std::size_t i = 0; i < s.size(); ++i) {
                    if (s[i] == ',') {
                        commas.push_back(i + 1);
                    }
                }
                const std::size_t start = commas[pick(commas.size())];
                const std::size_t end = std::min(s.find(',', start), s.size());
                s.replace(start, end - start, tokens_[pick(tokens_.size())]);
                break;
            }
            case 1:
                if (!s.empty()) {
                    s[pick(s.size())] = randomByte();
                }
                break;
            case 2:
                s.insert(s.begin() + static_cast<std::ptrdiff_t>(pick(s.size() + 1)), randomByte());
                break;
            case 3:
                s.resize(pick(s.size() + 1));
                break;
            case 4:
                if (!s.empty()) {
                    const std::size_t from = pick(s.size());
                    s.insert(pick(s.size()), s.substr(from, pick(64)));
                }
                break;
            case 5: {
                const std::string& other = corpus_[pick(corpus_.size())];
                s = s.substr(0, pick(s.size() + 1)) + other.substr(pick(other.size() + 1));
                break;
            }
            case 6:
                s.erase(pick(s.size() + 1), pick(16));
                break;
            default: {
                s.clear();
                const std::size_t n = pick(300);
                for (std::size_t i = 0; i < n; ++i) {
                    s += randomByte();
                }
                break;
            }
        }
        if (s.size() > 16383) {
            s.resize(16383);
        }
    }

    std::vector<std::string> corpus_;
    std::vector<std::string> tokens_;
    std::mt19937_64 rng_;
};

// Feeds mutated inputs to the reader, each from a block of its exact size; `after(i)`
// checks and tidies up between them. The stand-in's huge datagrams are cut short: at full
// size they would take most of the run's time, and the socket tests cover the sizes.
// `share` divides the run's size and tells the runs' random streams apart.
template <typename Reader, typename After>
void lf_fuzz(const char* what, Reader& reader, std::vector<std::string> corpus,
             std::vector<std::string> tokens, std::uint64_t share, After after) {
    const auto iterations = lf_env("WENDLE_FUZZ_ITERATIONS", 1'000'000) / share;
    const auto seed = lf_env("WENDLE_FUZZ_SEED", 20240617);
    std::printf("%s fuzz: %llu inputs, seed %llu\n", what,
                static_cast<unsigned long long>(iterations), static_cast<unsigned long long>(seed));
    for (auto& d : corpus) {
        d.resize(std::min<std::size_t>(d.size(), 2048));
    }
    Mutator mutator(std::move(corpus), std::move(tokens), seed + share - 1);
    for (std::uint64_t i = 0; i < iterations; ++i) {
        const std::string d = mutator.next();
        std::unique_ptr<char[]> block(new char[d.size()]);
        std::copy(d.begin(), d.end(), block.get());
        try {
            reader.handOn(std::string_view(block.get(), d.size()), (i & 1) == 0);
        } catch (...) {
            FAIL() << "an exception left the reader for input " << i;
        }
        after(i);
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
}

TEST(RtlinkFuzz, TrafficLinesNeverEscapeTheReader) {
    const ParkAirportRef park{{47.4647, 8.5492}, 1416.0};
    TrafficQueue queue;
    queue.setMainCycleRuns(true);
    TrafficReader reader(queue);
    reader.setUserPosition(park.position);
    reader.setParkAirport(park);
    reader.setCallsignCollection(true);
    reader.setCycleSource([] { return 0x7FFFFFF0; });  // the due cycle wraps

    rtstandin::Report good;
    good.id = 4921528;
    good.lat = 47.5;
    good.lon = 8.6;
    good.altFt = 3000.0;
    good.gsKt = 160.0;
    good.trackDeg = 250.0;
    good.headingDeg = 252.0;
    good.rollDeg = 4.0;
    good.callsign = "SWR123";
    good.type = "A320";
    good.registration = "HB-JLT";
    good.category = "A3";
    std::vector<std::string> corpus = rtstandin::hostileTrafficDatagrams(good, 1.7e9);
    corpus.push_back(rtstandin::formatTrafficLine(good, 1.7e9));
    good.onGround = true;
    good.altFt = 0.0;
    corpus.push_back(rtstandin::formatTrafficLine(good, 1.7e9));
    corpus.push_back(rttest::Line().str());
    // Boundaries of the line rules and numbers the parsers must refuse.
    std::vector<std::string> tokens = {
        "null",        "",           "nan",   "-inf",  "1e999",      "1e-400",
        "0",           "-1",         "35",    "36",    "360",        "360.0001",
        "13999.9",     "14000",      "10000", "10001", "4294967295", "4294967296",
        "adsb_icao",   "@",          " VEH",  "C1",    "BALL",       "ZZZZ",
        "0x10",        ".",          "-",     "e5",    "ERARMTR1",   "AIRPORT1",
        "00000000",    "1416",       "1458",  "1524",  "47.4647",    "8.5492",
        "-90.0000001", "180.0000001"};
    tokens.insert(tokens.end(), {"99999999999999999999", std::string(200, 'A')});
    std::uint64_t queued = 0;
    lf_fuzz("traffic", reader, std::move(corpus), std::move(tokens), 1, [&](std::uint64_t i) {
        if (queue.size() > 4096) {
            queued += queue.size();
            queue.clear();
            reader.clearCallsigns();
        }
        if ((i + 1) % 50000 == 0) {  // each setting a while
            gs().AIRBORNE_ONLY.set(((i + 1) / 50000) % 4 == 3);
            reader.setParkAirport((i + 1) % 100000 == 50000 ? std::nullopt : std::optional(park));
        }
    });
    gs().AIRBORNE_ONLY.set(false);
    queued += queue.size();
    queue.clear();
    EXPECT_GT(queued, 0u);  // the mutations left some lines good
    reader.onDatagram(rttest::Line().str());
    EXPECT_EQ(queue.size(), 1u);
}

TEST(RtlinkFuzz, WeatherDatagramsNeverEscapeTheReader) {
    TrafficQueue queue;
    TrafficReader traffic(queue);
    std::atomic<int> current{1013};
    QnhReader reader(traffic, current);
    std::vector<std::string> corpus = rtstandin::hostileWeatherDatagrams();
    corpus.push_back(rtstandin::weatherDatagram("1013", "LSZH"));
    corpus.push_back(rtstandin::weatherDatagram("\"2992\"", "LSZH"));
    corpus.push_back(R"({"QNH":1020.4,"other":[1,{"a":null}],"s":"\u00e9\ud83d\ude00"})");
    lf_fuzz("weather", reader, std::move(corpus),
            {"null", "true", "1e308", "-1e308", "\"1020\"", "\"\"", "[]", "{}", "\"\\u0000\"",
             "1100", "1101", "2992", "-0", "1e-400", "\"-5\"", "\"9999999999999\"", "\"\\ud800\""},
            4, [&](std::uint64_t i) {
                EXPECT_TRUE(current.load() >= 900 && current.load() <= 1100) << current.load();
                if (i % 10000 == 0) {
                }
            });
    reader.onDatagram(R"({"QNH":1017})");
    EXPECT_EQ(current.load(), 1017);
    gf_board().reset();
}

}  // namespace
}  // namespace wnd
