#include <gtest/gtest.h>

#include <gsl/narrow>

#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "util/program_time.h"
#include "util/slots.h"
#include "util/strings.h"
#include "util/time.h"
#include "util/version.h"

namespace wnd {
namespace {

SlotBits bitsOf(std::initializer_list<int> slots) {
    SlotBits b;
    for (int s : slots) {
        b.set(static_cast<std::size_t>(s));
    }
    return b;
}

TEST(Slots, ListsAndRanges) {
    testkit::LogCapture capture;  // the bad lists are logged
    EXPECT_EQ(gf_hours2bitset("3, 5,7"), bitsOf({3, 5, 7}));
    EXPECT_EQ(gf_hours2bitset("1,x,3"), bitsOf({1, 3}));
    EXPECT_EQ(gf_hours2bitset("48"), SlotBits());
    EXPECT_EQ(gf_hours2bitset(""), SlotBits());
    EXPECT_EQ(gf_hours2bitset(" 0 , 47 "), bitsOf({0, 47}));
    const SlotBits run = bitsOf({8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    EXPECT_EQ(gf_hours2bitset("8:20"), run);
    EXPECT_EQ(gf_hours2bitset(" 9 : 9 "), bitsOf({9}));
    EXPECT_EQ(gf_hours2bitset("20:8"), SlotBits());
    EXPECT_EQ(gf_hours2bitset("1:2:3"), SlotBits());
    EXPECT_EQ(gf_hours2bitset("1:99"), SlotBits());
    EXPECT_EQ(gf_hours2bitset(":"), SlotBits());

    EXPECT_EQ(gf_bitset2hours(run), "8:20");
    EXPECT_EQ(gf_bitset2hours(bitsOf({5})), "5");
    EXPECT_EQ(gf_bitset2hours(bitsOf({3, 5})), std::nullopt);
    EXPECT_EQ(gf_bitset2hours(SlotBits()), std::nullopt);
    EXPECT_EQ(gf_bitset2hours(bitsOf({0, 47})), std::nullopt);
}

// The edges of the text and number helpers; their ordinary use shows in every other test.
TEST(Strings, EdgesOfTheTextAndNumberHelpers) {
    EXPECT_EQ(gf_trim(" \t\r\n"), "");
    EXPECT_TRUE(gf_splitList("").empty());
    EXPECT_EQ(gf_splitList(" a, b ,,c "), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(gf_normaliseList("A320, B738 ,\tE190"), "A320,B738,E190");
    EXPECT_EQ(gf_percent(2, 3), 67);
    EXPECT_EQ(gf_percent(5, 0.5), 0);
    EXPECT_THROW(gf_percent(1e12, 1), gsl::narrowing_error);
    EXPECT_EQ(gf_formatNumber(24.0), "24");
    EXPECT_EQ(gf_starBanner(2, 2, false, false, "longer text"), "longer text");
}

TEST(Time, WeekSlotsAndTheirFallBackToTheSystemClock) {
    // Saturday 5 December 2026, 04:29:29 and 04:29:30; Thursday 1 January 1970.
    EXPECT_EQ(gf_weekSlotOf(1796444969), (WeekSlot{6, 8}));
    EXPECT_EQ(gf_weekSlotOf(1796444970), (WeekSlot{6, 9}));
    EXPECT_EQ(gf_weekSlotOf(1796446800), (WeekSlot{6, 10}));
    EXPECT_EQ(gf_weekSlotOf(0), (WeekSlot{4, 0}));
    EXPECT_EQ(gf_utcTimeString(1791158400), "Mon Okt 05 00:00:00 2026");  // its own month names
    EXPECT_EQ(gf_weekSlotOf(1796515199), (WeekSlot{6, 47}));
    EXPECT_EQ(gf_weekSlotOf(1796515200), (WeekSlot{7, 0}));
    gf_setProgramTime(1796444970);
    EXPECT_EQ(gf_programTime(), 1796444970);
    EXPECT_EQ(gf_weekSlot(), (WeekSlot{6, 9}));
    // An unknown simulation time: both the time and its slot come from the system clock.
    gf_setProgramTime(0);
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    EXPECT_NEAR(static_cast<double>(gf_programTime()), static_cast<double>(now), 2.0);
    EXPECT_EQ(gf_weekSlot(), gf_weekSlotOf(gf_programTime()));
}

TEST(Version, TextJsonAndErrors) {
    EXPECT_EQ(gf_parseVersion("11.10.9"), (Version{11, 10, 9}));
    EXPECT_EQ(gf_parseVersion(R"( {"major":1,"minor":2,"patch":3} )"), (Version{1, 2, 3}));
    auto message = [](std::string_view text) {
        return testkit::errorText([&] { gf_parseVersion(text); });
    };
    EXPECT_EQ(message(""), "invalid version format");
    EXPECT_EQ(message("{\"major\":1}"), "invalid version format");
    EXPECT_EQ(message("{not json"), "invalid version format");
    EXPECT_EQ(message("99999999999.1.1"), "parse error in version string");
}

}  // namespace
}  // namespace wnd
