// The QNH rules of the weather datagrams.
#include "rtlink/weather.h"

#include <gtest/gtest.h>

#include "board/status_board.h"
#include "rtlink/traffic_reader.h"
#include "testkit/log_capture.h"

namespace wnd {
namespace {

constexpr int kNoChange = -1;

class WeatherTest : public ::testing::Test {
  protected:
    WeatherTest() { gf_board().reset(); }
    ~WeatherTest() override { gf_board().reset(); }

    // The QNH the datagram set everywhere, or kNoChange.
    int feed(const std::string& datagram) {
        traffic.setQnh(kNoChange);
        current.store(kNoChange);
        qnh.onDatagram(datagram);
        if (current.load() != kNoChange) {
            EXPECT_EQ(traffic.qnh(), current.load());
            EXPECT_EQ(gf_board().qnh.load(), current.load());
            EXPECT_EQ(qnh.lastQnh(), current.load());
        }
        return current.load();
    }

    testkit::LogCapture log;
    TrafficQueue queue;
    TrafficReader traffic{queue};
    std::atomic<int> current{1013};
    QnhReader qnh{traffic, current};
};

TEST_F(WeatherTest, NumbersAndTextsBecomeHectopascals) {
    EXPECT_EQ(feed(R"({"QNH":2992})"), 1013);  // hundredths of an inch of mercury
    EXPECT_EQ(feed(R"({"QNH":850})"), 900);
    EXPECT_EQ(feed(R"({"ICAO":"LSZH","QNH":"1020","METAR":"x"})"), 1020);
    EXPECT_EQ(feed(R"({"QNH":1005.6})"), 1006);
    EXPECT_EQ(feed(R"({"QNH":3500})"), 1100);  // 1185 hPa is clamped
    EXPECT_EQ(feed(R"({"QNH":-1e308})"), 900);
}

TEST_F(WeatherTest, TheSameValueTwiceChangesNothingUnless1013) {
    EXPECT_EQ(feed(R"({"QNH":1020})"), 1020);
    EXPECT_EQ(feed(R"({"QNH":1020})"), kNoChange);
    EXPECT_EQ(feed(R"({"QNH":"1020"})"), kNoChange);
    EXPECT_EQ(feed(R"({"QNH":1013})"), 1013);
    EXPECT_EQ(feed(R"({"QNH":1013})"), 1013);
}

TEST_F(WeatherTest, MissingOrUnusableQnhIsLoggedAndIgnored) {
    for (const char* d : {R"({"QNH":null})", R"({"QNH":{}})", R"({"QNH":[]})", R"({"QNH":true})",
                          R"({"qnh":1000})", R"([1000])"}) {
        EXPECT_EQ(feed(d), kNoChange) << d;
        EXPECT_TRUE(log.contains(std::string("no QNH ") + d + "\n")) << d;
    }
    EXPECT_EQ(feed(R"({"QNH":"high"})"), kNoChange);
    EXPECT_TRUE(
        log.contains(R"(==> QNH string parse error: not a decimal integer in {"QNH":"high"})"));
    EXPECT_EQ(feed(R"({"QNH":"99999999999999999999"})"), kNoChange);
    EXPECT_TRUE(log.contains("==> QNH string parse error: out of range in"));
    EXPECT_EQ(feed("not json"), kNoChange);
    EXPECT_TRUE(log.contains("Exception "));
    EXPECT_TRUE(log.contains(", in not json\n"));
}

TEST_F(WeatherTest, NewDataTurnsAWaitingWeatherLampGreen) {
    gf_board().weatherReader.store(LinkState::Waiting);
    EXPECT_EQ(feed(R"({"QNH":1001})"), 1001);
    EXPECT_EQ(gf_board().weatherReader.load(), LinkState::Good);
    gf_board().weatherReader.store(LinkState::Hidden);  // a stopped reader stays stopped
    EXPECT_EQ(feed(R"({"QNH":1002})"), 1002);
    EXPECT_EQ(gf_board().weatherReader.load(), LinkState::Hidden);
}

}  // namespace
}  // namespace wnd
