// Seeded random inputs for the traffic line and weather handlers: mutated good lines,
// the stand-in's hostile datagrams and plain noise. Each input lies in a heap block of
// exactly its size, so a sanitizer build (-DWENDLE_ASAN=ON) catches any read past it.
// WENDLE_FUZZ_ITERATIONS and WENDLE_FUZZ_SEED change the run's size and seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>

#include "rt_test_util.h"
#include "rtlink/traffic_reader.h"
#include "rtlink/weather.h"
#include "settings/settings.h"
#include "standin.h"
#include "ui/display.h"
#include "ui/message_queue.h"

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

// The huge datagrams of the stand-in's catalogue are cut short: at full size they would
// take most of the run's time, and the socket tests cover the sizes themselves.
void lf_shorten(std::vector<std::string>& corpus) {
    for (auto& d : corpus) {
        if (d.size() > 2048) {
            d.resize(2048);
        }
    }
}

// Hands the datagram over from a block of its exact size.
template <typename Reader>
void lf_handOnExact(Reader& reader, const std::string& d, bool local) {
    std::unique_ptr<char[]> block(new char[d.size()]);
    std::copy(d.begin(), d.end(), block.get());
    reader.handOn(std::string_view(block.get(), d.size()), local);
}

TEST(RtlinkFuzz, TrafficLinesNeverEscapeTheReader) {
    const auto iterations = lf_env("WENDLE_FUZZ_ITERATIONS", 1'000'000);
    const auto seed = lf_env("WENDLE_FUZZ_SEED", 20240617);
    TrafficQueue queue;
    queue.setMainCycleRuns(true);
    TrafficReader reader(queue);
    reader.setUserPosition({47.4647, 8.5492});
    reader.setParkAirport(ParkAirportRef{{47.4647, 8.5492}, 1416.0});
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
    lf_shorten(corpus);
    corpus.push_back(rtstandin::formatTrafficLine(good, 1.7e9));
    good.onGround = true;
    good.altFt = 0.0;
    corpus.push_back(rtstandin::formatTrafficLine(good, 1.7e9));
    corpus.push_back(rttest::Line().str());
    const std::vector<std::string> tokens = {"",
                                             "null",
                                             "nan",
                                             "-inf",
                                             "INFINITY",
                                             "1e999",
                                             "-1e999",
                                             "1e-400",
                                             "-0",
                                             "0",
                                             "-1",
                                             "35",
                                             "36",
                                             "360",
                                             "360.0001",
                                             "13999.9",
                                             "14000",
                                             "10000",
                                             "10001",
                                             "4294967295",
                                             "4294967296",
                                             "99999999999999999999",
                                             "adsb_icao",
                                             "@",
                                             " VEH",
                                             "C1",
                                             "BALL",
                                             "ZZZZ",
                                             "0x10",
                                             ".",
                                             "-",
                                             "e5",
                                             "ERARMTR1",
                                             "AIRPORT1",
                                             "00000000",
                                             "1416",
                                             "1458",
                                             "1524",
                                             "47.4647",
                                             "8.5492",
                                             "-90.0000001",
                                             "180.0000001",
                                             std::string(40, '9'),
                                             std::string(200, 'A')};
    Mutator mutator(corpus, tokens, seed);
    std::uint64_t queued = 0;
    for (std::uint64_t i = 0; i < iterations; ++i) {
        if (i % 50000 == 0) {
            gs().AIRBORNE_ONLY.set((i / 50000) % 4 == 3);
            reader.setParkAirport(i % 100000 == 50000
                                      ? std::nullopt
                                      : std::optional(ParkAirportRef{{47.4647, 8.5492}, 1416.0}));
        }
        const std::string d = mutator.next();
        try {
            lf_handOnExact(reader, d, (i & 1) == 0);
        } catch (...) {
            FAIL() << "an exception left the reader for input " << i;
        }
        if (queue.size() > 4096) {
            queued += queue.size();
            queue.clear();
            reader.clearCallsigns();
        }
    }
    gs().AIRBORNE_ONLY.set(false);
    queued += queue.size();
    queue.clear();
    EXPECT_GT(queued, 0u);  // the mutations left some lines good
    reader.onDatagram(rttest::Line().str());
    EXPECT_EQ(queue.size(), 1u);
    std::printf("traffic fuzz: %llu inputs, %llu records queued, seed %llu\n",
                static_cast<unsigned long long>(iterations),
                static_cast<unsigned long long>(queued), static_cast<unsigned long long>(seed));
}

TEST(RtlinkFuzz, WeatherDatagramsNeverEscapeTheReader) {
    const auto iterations = lf_env("WENDLE_FUZZ_ITERATIONS", 1'000'000) / 4;
    const auto seed = lf_env("WENDLE_FUZZ_SEED", 20240617);
    TrafficQueue queue;
    TrafficReader traffic(queue);
    std::atomic<int> current{1013};
    QnhReader reader(traffic, current);
    std::vector<std::string> corpus = rtstandin::hostileWeatherDatagrams();
    lf_shorten(corpus);
    corpus.push_back(rtstandin::weatherDatagram("1013", "LSZH"));
    corpus.push_back(rtstandin::weatherDatagram("\"2992\"", "LSZH"));
    corpus.push_back(R"({"QNH":1020.4,"other":[1,{"a":null}],"s":"\u00e9\ud83d\ude00"})");
    const std::vector<std::string> tokens = {"null",        "true",   "1e308",  "-1e308",
                                             "\"1020\"",    "\"\"",   "[]",     "{}",
                                             "\"\\u0000\"", "1100",   "1101",   "2992",
                                             "-0",          "1e-400", "\"-5\"", "\"9999999999999\"",
                                             "\"\\ud800\""};
    Mutator mutator(corpus, tokens, seed + 1);
    for (std::uint64_t i = 0; i < iterations; ++i) {
        const std::string d = mutator.next();
        try {
            lf_handOnExact(reader, d, (i & 1) == 0);
        } catch (...) {
            FAIL() << "an exception left the reader for input " << i;
        }
        const int q = current.load();
        ASSERT_TRUE(q >= 900 && q <= 1100) << q;
        if (i % 10000 == 0) {
            gf_windowQueue().clear();  // no window drains the repaint requests here
        }
    }
    reader.onDatagram(R"({"QNH":1017})");
    EXPECT_EQ(current.load(), 1017);
    std::printf("weather fuzz: %llu inputs, seed %llu\n",
                static_cast<unsigned long long>(iterations), static_cast<unsigned long long>(seed));
    gf_display().reset();
}

}  // namespace
}  // namespace wnd
