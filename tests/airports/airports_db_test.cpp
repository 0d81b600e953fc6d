#include "airports/airports_db.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "refdata/refdata_test_util.h"
#include "testkit/log_capture.h"
#include "util/user_error.h"

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;
using wnd::testing::errorText;

namespace {

std::string airportsXml(const std::string& body) {
    return "<?xml version=\"1.0\"?>\n<root>\n  <airports>\n" + body + "  </airports>\n</root>\n";
}

class AirportsDbTest : public ::testing::Test {
  protected:
    void SetUp() override { wnd::gf_airportsDb().reset(); }
    void TearDown() override { wnd::gf_airportsDb().reset(); }
    void pack(const std::string& xml) { wnd::testing::packXml(input, "airports.enc", xml); }
    // The user error a read raises; no plain file may stay.
    std::string userError() {
        const std::string text = errorText([&] { wnd::gf_readAirports(input); });
        EXPECT_FALSE(fs::exists(input / "airports.xml"));
        return text;
    }

    wnd::testkit::TempDir dir;
    wnd::testkit::LogCapture log;
    fs::path input = dir / "input";
};

TEST_F(AirportsDbTest, ReadsOnceWithTheRecordRules) {
    pack(airportsXml(R"(
    <airport code="LSZH" iata="ZRH" lat="47.4647" lon="8.5492" alt="1416" stands="120" />
    <airport code="EDDF" iata="FRA" lat="50.0333" lon="8.5706" alt="364" stands="bad" />
    <airport code="NOLL" iata="" lat="1" alt="1" stands="1" />
    <airport code="NOAL" iata="" lat="1" lon="1" stands="1" />
    <airport code="NOIA" lat="1" lon="1" alt="1" stands="1" />
    <airport code="NOST" iata="" lat="x" lon="2" alt="3" />
    <airport code="LSZH" iata="DUP" lat="1" lon="1" alt="1" stands="1" />
    <runway code="XXXX" />
)"));
    ASSERT_TRUE(wnd::gf_readAirports(input));
    EXPECT_FALSE(fs::exists(input / "airports.xml"));
    const auto& list = wnd::gf_airportsDb().airports;
    ASSERT_EQ(list.size(), 4U);
    EXPECT_EQ(list[0].code, "EDDF");  // sorted by code
    EXPECT_EQ(list[0].stands, 0);     // bad number text reads as 0
    const wnd::AirportRecord* noStands = wnd::gf_findAirport("NOST");
    ASSERT_NE(noStands, nullptr);  // kept, without a stock file
    EXPECT_EQ(noStands->stands, 0);
    EXPECT_EQ(noStands->position.lat, 0.0);
    EXPECT_EQ(noStands->altitude, 3.0);
    EXPECT_EQ(wnd::gf_findAirport("lszh"), nullptr);
    EXPECT_EQ(wnd::gf_findAirport("NOLL"), nullptr);
    // The index keeps the first position given for a code.
    EXPECT_NEAR(wnd::gf_rtAirportIndex().at("LSZH").lat, 47.4647, 1e-9);
    EXPECT_TRUE(wnd::gf_isRtAirport("EDDF"));
    EXPECT_FALSE(wnd::gf_isRtAirport("XXXX"));

    const std::string text = log.text();
    EXPECT_THAT(text, HasSubstr("==> Missing latLons for airport 'NOLL'"));
    EXPECT_THAT(text, HasSubstr("==> Missing alt for airport 'NOAL'"));
    EXPECT_THAT(text, HasSubstr("==> Missing IATA for airport 'NOIA'"));
    EXPECT_THAT(text, HasSubstr("==> Missing stands for airport 'NOST'"));
    EXPECT_THAT(text, HasSubstr("4 airports read"));

    // A second call reads and decrypts nothing.
    fs::remove(input / "airports.enc");
    EXPECT_TRUE(wnd::gf_readAirports(input));
    EXPECT_NO_THROW(wnd::gf_readAirportsOnce(input));
}

TEST_F(AirportsDbTest, BrokenFilesAreUserError88AndLeaveNothing) {
    pack("<root><airports><airport");
    EXPECT_THAT(userError(),
                HasSubstr("88: " + (input / "airports.xml").string() + " not loaded: "));
    pack("<?xml version=\"1.0\"?>\n<root><airport code=\"EDDF\" /></root>\n");
    EXPECT_EQ(userError(), "88: Missing <airports> root in: " + (input / "airports.xml").string());
    EXPECT_FALSE(wnd::gf_airportsDb().loaded);
}

// A file that does not decrypt is played by the real program in tests/e2e.
TEST_F(AirportsDbTest, MissingOrEmptyFileIsAnError) {
    EXPECT_EQ(errorText([&] { wnd::gf_readAirports(input); }),
              (input / "airports.enc").string() + " not available");
    pack(airportsXml(""));
    EXPECT_EQ(errorText([&] { wnd::gf_readAirportsOnce(input); }), "reading airports failed!");
    EXPECT_TRUE(wnd::gf_airportsDb().loaded);
}

// Two airports 0.06 degrees of longitude apart on the equator (about 3.6 nm), a third alone.
TEST_F(AirportsDbTest, ClosestAirportWithinFiveMilesAndItsNeighbour) {
    pack(airportsXml(R"(
    <airport code="AAAA" iata="" lat="0" lon="0" alt="0" stands="1" />
    <airport code="BBBB" iata="" lat="0" lon="0.06" alt="0" stands="1" />
    <airport code="CCCC" iata="" lat="10" lon="10" alt="0" stands="1" />
)"));
    ASSERT_TRUE(wnd::gf_readAirports(input));
    const auto code = [](const wnd::AirportRecord* a) {
        return a != nullptr ? a->code : std::string("<none>");
    };
    // Nearer to the earlier AAAA: no neighbour.
    EXPECT_EQ(code(wnd::gf_findClosestAirport({0.0, 0.01})), "AAAA");
    EXPECT_THAT(log.text(), Not(HasSubstr("is closest")));
    // Nearer to BBBB, which comes later in code order: AAAA becomes the neighbour; with no
    // park files both stands are equally far and the closest airport wins.
    EXPECT_EQ(code(wnd::gf_findClosestAirport({0.0, 0.05})), "BBBB");
    EXPECT_THAT(log.text(), HasSubstr("Airport BBBB is closest, neighbour is AAAA"));

    EXPECT_EQ(wnd::gf_findClosestAirport({0.0, 0.2}), nullptr);
    EXPECT_EQ(code(wnd::gf_findClosestAirport({10.0, 10.08})), "CCCC");             // 4.7 nm east
    EXPECT_EQ(code(wnd::gf_findClosestAirport({10.0 + 4.95 / 60, 10.0})), "CCCC");  // north
    EXPECT_EQ(wnd::gf_findClosestAirport({10.0 + 5.05 / 60, 10.0}), nullptr);
}

}  // namespace
