// The traffic line rules, checked through what the reader queues and logs.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "rt_test_util.h"
#include "rtlink/traffic_reader.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"

namespace wnd {
namespace {

using rttest::Line;
using testkit::LogCapture;

constexpr LatLon kZurich{47.4647, 8.5492};
constexpr double kZurichElevation = 1416.0;

class TrafficLineTest : public ::testing::Test {
  protected:
    TrafficLineTest() {
        queue.setMainCycleRuns(true);
        reader.setUserPosition(kZurich);
        reader.setCycleSource([] { return 500; });
    }
    ~TrafficLineTest() override { gs().AIRBORNE_ONLY.set(false); }

    std::optional<TrafficRecord> feed(const std::string& line) {
        reader.onDatagram(line);
        return queue.takeFront();
    }
    std::optional<TrafficRecord> feed(const Line& line) { return feed(line.str()); }
    void withPark() { reader.setParkAirport(ParkAirportRef{kZurich, kZurichElevation}); }

    LogCapture log;
    TrafficQueue queue;
    TrafficReader reader{queue};
};

TEST_F(TrafficLineTest, GoodLineBecomesACompleteRecord) {
    const auto r = feed(Line());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->id, 4921528u);
    EXPECT_EQ(r->model, "A320");
    EXPECT_EQ(r->callsign, "SWR123");
    EXPECT_EQ(r->registration, "HB-JLT");
    EXPECT_EQ(r->origin, "LHR");
    EXPECT_EQ(r->destination, "ZRH");
    EXPECT_DOUBLE_EQ(r->lat, 47.5);
    EXPECT_DOUBLE_EQ(r->lon, 8.6);
    EXPECT_DOUBLE_EQ(r->altitude, 5000.0);
    EXPECT_TRUE(r->airborne);
    EXPECT_DOUBLE_EQ(r->groundSpeed, 180.0);
    EXPECT_DOUBLE_EQ(r->track, 250.5);
    EXPECT_DOUBLE_EQ(r->verticalRate, -700.0);
    EXPECT_DOUBLE_EQ(r->trueAirspeed, 200.0);
    ASSERT_TRUE(r->trueHeadingValid);
    EXPECT_NEAR(r->trueHeading, 252.0 * kDeg2Rad, 1e-12);
    ASSERT_TRUE(r->bankValid);  // roll -5 (to the right) is a bank of +5 degrees
    EXPECT_NEAR(r->bank, 5.0 * kDeg2Rad, 1e-12);
    EXPECT_DOUBLE_EQ(r->timestamp, 1700000000.5);
    EXPECT_EQ(r->dueCycle, 3500);
    EXPECT_DOUBLE_EQ(reader.lastTrafficTime(), 1700000000.5);
    // "null" texts become empty, a line end is no part of the last field.
    const auto n = feed(Line().set(12, "null").set(13, "null").set(11, "null").str() + "\r\n");
    ASSERT_TRUE(n);
    EXPECT_EQ(n->origin, "");
    EXPECT_EQ(n->destination, "");
    EXPECT_EQ(n->registration, "");
}

TEST_F(TrafficLineTest, DroppedLinesLeaveNoRecordAndNoMessage) {
    // Lines due north of the user, `nm` away.
    const auto north = [](double nm) {
        return Line().set(2, fmt::format("{:.6f}", kZurich.lat + nm / 60.0)).set(3, "8.549200");
    };
    const std::vector<std::pair<const char*, Line>> cases = {
        {"id 123 then letters", Line().set(1, "123abc456")},
        {"id 10000", Line().set(1, "10000")},
        {"41 nm away", north(41.0)},
        {"registration of 13", Line().set(11, "HB-JLTXXXXXXX")},
        {"model null", Line().set(10, "null")},
        {"model ZZZZ", Line().set(10, "ZZZZ")},
        {"model empty", Line().set(10, "")},
        {"category B1", Line().set(28, "B1")},
        {"category C1", Line().set(28, "C1")},
        {"balloon with a category", Line().set(28, "A1").set(10, "BALL")},
        {"long type with a category", Line().set(28, "A1").set(10, "GLIDER")},
        {"callsign ERARMTR1", Line().set(9, "ERARMTR1")},
        {"no callsign, no registration", Line().set(9, "null").set(11, "null")},
        {"on the ground, no park airport", Line().set(4, "0")},
        {"ground vehicle", Line().set(9, "TUG VEH1")},
    };
    for (const auto& [what, line] : cases) {
        EXPECT_FALSE(feed(line)) << what;
    }
    EXPECT_FALSE(log.contains("exception")) << log.text();
    // Just inside the radius passes, and the radius follows the range setter.
    EXPECT_TRUE(feed(north(39.0)));
    reader.setTrafficRadius(30.0);
    EXPECT_FALSE(feed(north(39.0)));
    // Without a category the pseudo-type test does not apply.
    EXPECT_TRUE(feed(Line().set(28, "").set(10, "BALL")));
    EXPECT_TRUE(feed(Line().set(28, "null").set(10, "GLID")));
}

TEST_F(TrafficLineTest, BadFieldsAreLoggedAndTheLineDropped) {
    const Line good;
    const std::vector<std::pair<Line, std::string>> cases = {
        {Line().set(8, ""), "exception in processLineSub: gs:\n"},
        {Line().set(5, "up"), "exception in processLineSub: vs:up\n"},
        {Line().set(14, ""), "exception in processLineSub: timestamp:\n"},
        {Line().set(2, "91"), "exception in processLineSub: invalid lalo: 91.000000,8.600000"},
        {Line().set(2, "0.00001").set(3, "-0.00002"), "invalid lalo: 0.000010,-0.000020"},
        {Line().set(2, "nan"), "exception in processLineSub: lat:nan\n"},
        {Line().set(3, "-Infinity"), "exception in processLineSub: lon:-Infinity\n"},
        {Line().set(1, "xyz"), "exception in processLineSub: hexid incorrect xyz\n"},
        {Line().set(1, "4294967296"), "hexid incorrect 4294967296\n"},
        {Line().set(25, "400"), "exception in processLineSub: trueheading: 400.00\n"},
        {Line().set(7, "north"), "exception in processLineSub: track incorrect north\n"},
        {Line().set(20, "fast"), "exception in processLineSub: TAS incorrect fast\n"},
        {Line().set(23, ""), "exception in processLineSub: roll:\n"},
        {Line().set(4, "high"), "exception in processLineSub: altitude high incorrect, from: " +
                                    Line().set(4, "high").str() + "\n"},
    };
    for (const auto& [line, message] : cases) {
        EXPECT_FALSE(feed(line)) << message;
        EXPECT_TRUE(log.contains(message)) << message << "\n" << log.text();
    }
    // A short line is refused before any field is read: its timestamp does not count.
    TrafficQueue q2;
    TrafficReader fresh(q2);
    fresh.onDatagram(good.first(28));
    fresh.onDatagram(good.first(15));
    EXPECT_EQ(fresh.lastTrafficTime(), 0.0);
    EXPECT_TRUE(log.contains("exception in processLineSub: too few fields: 28\n"));
    EXPECT_TRUE(log.contains("exception in processLineSub: too few fields: 15\n"));
}

TEST_F(TrafficLineTest, NumbersAreReadFromTheStartOfTheField) {
    auto r = feed(Line().set(8, "250kt").set(1, "4921528xyz7"));
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(r->groundSpeed, 250.0);
    EXPECT_EQ(r->id, 4921528u);
    r = feed(Line().set(4, "1e4").set(20, "1.5e2abc"));
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(r->altitude, 10000.0);
    EXPECT_DOUBLE_EQ(r->trueAirspeed, 150.0);
}

TEST_F(TrafficLineTest, HeadingTrackAndBank) {
    // Heading 0 is north (360); a track of 0 takes the known heading.
    auto r = feed(Line().set(25, "0").set(7, "0"));
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->trueHeading, 2.0 * kPi, 1e-12);
    EXPECT_DOUBLE_EQ(r->track, 360.0);
    // No track: the heading, or 0 without one.
    r = feed(Line().set(7, ""));
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(r->track, 252.0);
    r = feed(Line().set(7, "").set(17, "mlat"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->trueHeadingValid);
    EXPECT_DOUBLE_EQ(r->track, 0.0);
    // A negative heading is unknown; the heading field is not read for other sources.
    r = feed(Line().set(25, "-1"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->trueHeadingValid);
    r = feed(Line().set(17, "mode_s").set(25, "999"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->trueHeadingValid);
    // Roll -1 and 0 are unknown; on the ground the roll is not read.
    EXPECT_FALSE(feed(Line().set(23, "-1"))->bankValid);
    EXPECT_FALSE(feed(Line().set(23, "0"))->bankValid);
    withPark();
    r = feed(Line().set(4, "0").set(23, "junk"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->airborne);
    EXPECT_FALSE(r->bankValid);
}

TEST_F(TrafficLineTest, GroundRulesUseTheParkAirportElevation) {
    withPark();
    const auto altitudeOf = [this](double alt, double gs) {
        const auto r = feed(Line().set(4, fmt::format("{}", alt)).set(8, fmt::format("{}", gs)));
        return r ? std::optional(r->altitude) : std::nullopt;
    };
    EXPECT_EQ(altitudeOf(kZurichElevation + 42, 120), 0.0);  // the 42 ft rule
    EXPECT_EQ(altitudeOf(kZurichElevation + 84, 80), 0.0);   // the 84 ft rule
    EXPECT_EQ(altitudeOf(kZurichElevation + 108, 43), 0.0);  // the 108 ft rule
    EXPECT_EQ(altitudeOf(kZurichElevation + 84, 81), kZurichElevation + 84);
    EXPECT_EQ(altitudeOf(kZurichElevation + 109, 43), kZurichElevation + 109);
    EXPECT_EQ(altitudeOf(kZurichElevation - 50, 150), 0.0);  // below the airport
    EXPECT_EQ(altitudeOf(20000, 30), 0.0);                   // slow is on the ground
    EXPECT_EQ(altitudeOf(-5, 150), 0.0);
    EXPECT_EQ(altitudeOf(14000, 150), 14000.0);  // no height rule from 14000 ft

    // A ground report more than 5 nm from the park airport is dropped.
    EXPECT_FALSE(feed(Line().set(4, "0").set(2, "47.5647").set(3, "8.5492")));
    EXPECT_TRUE(feed(Line().set(4, "0").set(2, "47.5147").set(3, "8.5492")));

    // Without a park airport the reference is -1000 ft.
    reader.setParkAirport(std::nullopt);
    EXPECT_EQ(altitudeOf(-900, 150), std::nullopt);  // ground, and no park airport
    EXPECT_EQ(altitudeOf(100, 150), 100.0);
}

TEST_F(TrafficLineTest, AirborneOnlyPassesNoGroundReport) {
    gs().AIRBORNE_ONLY.set(true);
    withPark();
    EXPECT_FALSE(feed(Line().set(4, "0").set(8, "10")));
    EXPECT_FALSE(feed(Line().set(4, fmt::format("{}", kZurichElevation + 300))));
    EXPECT_TRUE(feed(Line().set(4, fmt::format("{}", kZurichElevation + 301))));
    reader.setParkAirport(std::nullopt);
    EXPECT_FALSE(feed(Line().set(4, "250")));  // within 300 ft of 0
    EXPECT_TRUE(feed(Line().set(4, "301")));
}

TEST_F(TrafficLineTest, UnknownAirspeedIsEstimatedFromTheAltitude) {
    const std::vector<std::pair<double, double>> cases = {
        {2000, 180}, {4000, 220}, {9000, 250}, {15000, 350}, {30000, 430}};
    for (const auto& [alt, tas] : cases) {
        const auto r = feed(Line().set(20, "-1").set(4, fmt::format("{}", alt)));
        ASSERT_TRUE(r) << alt;
        EXPECT_DOUBLE_EQ(r->trueAirspeed, tas) << alt;
    }
}

TEST_F(TrafficLineTest, CallsignRulesAndCollection) {
    reader.setCallsignCollection(true);
    const auto r = feed(Line().set(9, "A@B"));  // empties the callsign, passes
    ASSERT_TRUE(r);
    EXPECT_EQ(r->callsign, "");
    feed(Line().set(9, "EZY12").set(10, "null"));  // collected although the model drops it
    feed(Line().set(9, "null"));
    feed(Line().set(9, "").set(11, "HB-ABC"));
    feed(Line().set(9, "SWR123"));
    EXPECT_EQ(reader.callsigns(), (std::set<std::string>{"EZY12", "SWR123"}));
    reader.setCallsignCollection(false);
    feed(Line().set(9, "DLH1"));
    EXPECT_EQ(reader.callsigns().count("DLH1"), 0u);
    reader.clearCallsigns();
    EXPECT_TRUE(reader.callsigns().empty());
}

TEST_F(TrafficLineTest, NothingIsQueuedWhileTheMainCycleDoesNotRun) {
    queue.setMainCycleRuns(false);
    EXPECT_FALSE(feed(Line().set(14, "1700000123")));
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_DOUBLE_EQ(reader.lastTrafficTime(), 1700000123.0);  // it still counts as traffic
    // The queue has a ceiling; the warning comes once.
    queue.setMainCycleRuns(true);
    const std::string line = Line().str();
    for (std::size_t i = 0; i < TrafficQueue::kMaxQueued + 10; ++i) {
        reader.onDatagram(line);
    }
    EXPECT_EQ(queue.size(), TrafficQueue::kMaxQueued);
    const std::string text = log.text();
    const auto first = text.find("==> traffic-record queue full");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("queue full", first + 40), std::string::npos);
}

}  // namespace
}  // namespace wnd
