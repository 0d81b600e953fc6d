// The QNH rules of the weather datagrams.
#include "rtlink/weather.h"

#include <gtest/gtest.h>

#include "rt_test_util.h"
#include "rtlink/traffic_reader.h"
#include "ui/display.h"

namespace wnd {
namespace {

class WeatherTest : public ::testing::Test {
  protected:
    WeatherTest() { gf_display().reset(); }
    ~WeatherTest() override { gf_display().reset(); }

    // Feeds the datagram and tells whether anything changed.
    bool feed(const std::string& datagram) {
        const int before = current.load();
        traffic.setQnh(-1);
        current.store(-1);
        qnh.onDatagram(datagram);
        const bool changed = current.load() != -1;
        if (changed) {
            EXPECT_EQ(traffic.qnh(), current.load());
            EXPECT_EQ(gf_display().qnh.load(), current.load());
            EXPECT_EQ(qnh.lastQnh(), current.load());
        } else {
            current.store(before);
        }
        return changed;
    }

    rttest::LogCapture log;
    TrafficQueue queue;
    TrafficReader traffic{queue};
    std::atomic<int> current{1013};
    QnhReader qnh{traffic, current};
};

TEST_F(WeatherTest, NumbersAndTextsBecomeHectopascals) {
    EXPECT_TRUE(feed(R"({"QNH":2992})"));  // hundredths of an inch of mercury
    EXPECT_EQ(current.load(), 1013);
    EXPECT_TRUE(feed(R"({"QNH":850})"));
    EXPECT_EQ(current.load(), 900);
    EXPECT_TRUE(feed(R"({"ICAO":"LSZH","QNH":"1020","METAR":"x"})"));
    EXPECT_EQ(current.load(), 1020);
    EXPECT_TRUE(feed(R"({"QNH":1005.6})"));
    EXPECT_EQ(current.load(), 1006);
    EXPECT_TRUE(feed(R"({"QNH":3500})"));  // 1185 hPa is clamped
    EXPECT_EQ(current.load(), 1100);
    EXPECT_TRUE(feed(R"({"QNH":-1e308})"));
    EXPECT_EQ(current.load(), 900);
    EXPECT_TRUE(feed(R"({"QNH":1e308})"));
    EXPECT_EQ(current.load(), 1100);  // taken as inches, clamped
}

TEST_F(WeatherTest, TheSameValueTwiceChangesNothingUnless1013) {
    EXPECT_TRUE(feed(R"({"QNH":1020})"));
    EXPECT_FALSE(feed(R"({"QNH":1020})"));
    EXPECT_FALSE(feed(R"({"QNH":"1020"})"));
    EXPECT_TRUE(feed(R"({"QNH":1013})"));
    EXPECT_TRUE(feed(R"({"QNH":1013})"));
}

TEST_F(WeatherTest, MissingOrUnusableQnhIsLoggedAndIgnored) {
    for (const char* d : {R"({"QNH":null})", R"({"QNH":{}})", R"({"QNH":[]})", R"({"QNH":true})",
                          R"({"qnh":1000})", R"([1000])"}) {
        EXPECT_FALSE(feed(d)) << d;
        EXPECT_TRUE(log.contains(std::string("no QNH ") + d + "\n")) << d;
    }
    EXPECT_FALSE(feed(R"({"QNH":"high"})"));
    EXPECT_TRUE(
        log.contains(R"(==> QNH string parse error: not a decimal integer in {"QNH":"high"})"));
    EXPECT_FALSE(feed(R"({"QNH":"99999999999999999999"})"));
    EXPECT_TRUE(log.contains("==> QNH string parse error: out of range in"));
    EXPECT_FALSE(feed("not json"));
    EXPECT_TRUE(log.contains("Exception "));
    EXPECT_TRUE(log.contains(", in not json\n"));
}

TEST_F(WeatherTest, NewDataTurnsAWaitingWeatherLampGreen) {
    gf_display().weatherReader.store(2);
    EXPECT_TRUE(feed(R"({"QNH":1001})"));
    EXPECT_EQ(gf_display().weatherReader.load(), 1);
    gf_display().weatherReader.store(3);  // a stopped reader stays stopped
    EXPECT_TRUE(feed(R"({"QNH":1002})"));
    EXPECT_EQ(gf_display().weatherReader.load(), 3);
}

}  // namespace
}  // namespace wnd
