// Airport files and park airports in a working folder of their own: reading with the
// learned companion, saving, the file search, and the park airport following the user.
#include "airports/park_airport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "airports/airports_db.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "util/user_error.h"

namespace wnd {
namespace {

namespace fs = std::filesystem;

std::string lf_file(const std::string& version, const std::string& params,
                    const std::string& stands) {
    return "<?xml version=\"1.0\"?>\n<root>\n<meta version=\"" + version + "\"/>\n<parameters>\n" +
           params + "</parameters>\n<parkpositions>\n" + stands + "</parkpositions>\n</root>\n";
}

std::string lf_param(const std::string& name, const std::string& value) {
    return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>\n";
}

const std::string kArchived = lf_file(
    "11.10.9",
    lf_param("airport_name", "Zurich") + lf_param("publisher", "stock") +
        lf_param("altitude", "1416") + lf_param("Qf_real", "2") + lf_param("Qf_soft", "1"),
    R"(<parkpos id="A1" latitude="47.450000" longitude="8.560000" heading="90.0" radius="30.0">
  <opt airl="SWR" type="A320" reg="HB-JLP" cs="SWR100" day="1" hh="16:18"/>
  <opt airl="SWR" type="A320" reg="HB-JLQ" cs="SWR102" day="0" hh="16"/>
  <opt airl="SWR" type="A320" reg="HB-JLR" cs="SWR104" day="8" hh="16"/>
</parkpos>
<parkpos id="A2" latitude="47.450300" longitude="8.560000" heading="90.0" radius="30.0"/>
<parkpos id="Z" latitude="0" longitude="0" heading="0" radius="10"/>
<parkpos id="N" latitude="nan" longitude="8.5" heading="0" radius="10"/>
<parkpos id="F" latitude="47.5" longitude="200" heading="0" radius="10"/>
)");

class ParkAirportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(dir_.path());
        fs::create_directories("airports/my_thirdparty");
        AirportsDb& db = gf_airportsDb();
        db.reset();
        db.airports = {{"LSGG", "GVA", {46.2381, 6.1089}, 1411, 60},
                       {"LSZB", "BRN", {46.9141, 7.4971}, 1674, 0},
                       {"LSZH", "ZRH", {47.4647, 8.5492}, 1416, 168}};
        for (const AirportRecord& a : db.airports) {
            db.index[a.code] = a.position;
        }
        db.loaded = true;
        gs().resetValues();
        gf_parkAirports().reset();
    }
    void TearDown() override {
        fs::current_path(previous_);
        gf_airportsDb().reset();
        gf_parkAirports().reset();
        gs().resetValues();
    }
    testkit::TempDir dir_;
    fs::path previous_;
    testkit::LogCapture log_;
};

TEST_F(ParkAirportTest, AFileIsReadWithItsLearnedCompanionAndSavedBack) {
    testkit::writeFile("airports/my_thirdparty/LSZH.xml", kArchived);
    ASSERT_TRUE(gf_parkAirports().setParkAirport("LSZH"));
    ASSERT_EQ(gf_parkAirports().gf_readApf("airports/my_thirdparty/LSZH.xml"), "");
    const AirportFileData& f = gf_parkAirports().file();
    ASSERT_EQ(f.stands.size(), 2u);             // the stand at 0,0 is not read
    EXPECT_EQ(f.stands[0].flights.size(), 1u);  // days 0 and 8 are not
    EXPECT_EQ(f.stands[0].neighbours, std::vector<std::uint32_t>{2});  // 33 m apart, 30 m radii
    // No learned file: a low real quality with soft data switches soft and week parking on.
    EXPECT_TRUE(log_.contains("learned does not exist"));
    EXPECT_TRUE(gs().PARK_SOFT.value());
    EXPECT_TRUE(gs().WEEK.value());
    EXPECT_EQ(gs().parking_percentage.value(), 30);

    // A learned file: flights merged without doubles, a manual stand added once, an empty
    // hour set refused, and its own settings taken.
    const auto learned = gf_learnedPathOf("airports/my_thirdparty/LSZH.xml", "stock");
    ASSERT_TRUE(learned);
    EXPECT_EQ(learned->generic_string(), "airports/learned/thirdparty/stock/LSZH.xml");
    testkit::writeFile(
        *learned,
        lf_file("11.10.9",
                lf_param("airport_name", "Zurich") + lf_param("altitude", "1416") +
                    lf_param("WEEK", "false") + lf_param("parking_percentage", "40"),
                R"(<parkpos id="A1" latitude="47.45" longitude="8.56" heading="90" radius="30">
  <opt airl="SWR" type="A320" reg="HB-JLP" cs="SWR100" day="1" hh="17"/>
  <opt airl="EZY" type="A320" reg="G-EZAA" cs="EZY1" day="2" hh="20"/>
  <opt airl="EZY" type="A320" reg="G-EZAB" cs="EZY2" day="2" hh="x"/>
</parkpos>
<parkpos id="A2" manual="true" latitude="47.46" longitude="8.56" heading="0" radius="20"/>
<parkpos id="M1" manual="true" latitude="47.46" longitude="8.57" heading="0" radius="20"/>
)"));
    ASSERT_EQ(gf_parkAirports().gf_readApf("airports/my_thirdparty/LSZH.xml"), "");
    EXPECT_EQ(gf_parkAirports().file().stands.size(), 3u);
    EXPECT_EQ(gf_parkAirports().file().stands[0].flights.size(), 2u);
    EXPECT_TRUE(log_.contains("manually created standid A2 already exists in LSZH.xml"));
    EXPECT_TRUE(log_.contains("empty bit set"));
    EXPECT_FALSE(gs().WEEK.value());
    EXPECT_EQ(gs().parking_percentage.value(), 40);

    // Saved and read again: the same stands and flights; the old file kept as a generation.
    const fs::path out = gf_learnedSavePath("LSZH", "stock");
    EXPECT_EQ(out.generic_string(), "airports/learned/stock/LSZH.xml");
    ASSERT_TRUE(gf_saveLearned(gf_parkAirports().file(), out));
    ASSERT_TRUE(gf_saveLearned(gf_parkAirports().file(), out));
    AirportFileData again;
    ASSERT_EQ(gf_readAirportFile(out, again), "");
    ASSERT_EQ(again.stands.size(), 3u);
    EXPECT_EQ(again.stands[0].flights.size(), 2u);
    EXPECT_EQ(again.stands[0].flights[0].hours, "16:18");
    EXPECT_NEAR(again.stands[2].radiusNm * 1852.0, 20.0, 0.05);
    EXPECT_EQ(gf_learnedPathOf("archive/stock/LSZH.xml", "stock")->generic_string(),
              "airports/learned/stock/LSZH.xml");
}

TEST_F(ParkAirportTest, BadFilesGiveTheirErrors) {
    struct Case {
        std::string stands;
        std::string params;
        std::string error;
    };
    const std::string alt = lf_param("altitude", "1");
    for (const Case& c :
         std::vector<Case>{{R"(<parkpos latitude="1" longitude="1"/>)", alt,
                            "93: Parking position #1 has no 'id' attribute."},
                           {R"(<parkpos id="" latitude="1" longitude="1"/>)", alt,
                            "93: Parking position #1 has empty 'id' attribute."},
                           {R"(<parkpos id="A"/><parkpos id="A"/>)", alt,
                            "94: Parking position 'A' appears more than once."},
                           {"", lf_param("publisher", "x"), "65: Parameter altitude not found"}}) {
        SCOPED_TRACE(c.error);
        testkit::writeFile("bad.xml", lf_file("11.10.9", c.params, c.stands));
        AirportFileData d;
        EXPECT_EQ(testkit::errorText([&] { gf_readAirportFile("bad.xml", d); }), c.error);
    }
    // Broken, binary or missing files (a link pointing nowhere ends here too).
    testkit::writeFile("broken.xml", "<root><parameters>");
    testkit::writeFile("binary.xml", std::string("\x00\xff\xfe<root>\x01", 9));
    AirportFileData d;
    for (const char* f : {"broken.xml", "binary.xml", "missing.xml"}) {
        EXPECT_NE(gf_readAirportFile(f, d).find("could not load file"), std::string::npos) << f;
    }
    testkit::writeFile("html.xml", "<html><body>Not found</body></html>");
    EXPECT_NE(gf_readAirportFile("html.xml", d).find("refused to load"), std::string::npos);
    testkit::writeFile("airports/my_thirdparty/LSGG.txt", "airports/elsewhere/LSGG.xml\n");
    ASSERT_TRUE(gf_parkAirports().setParkAirport("LSGG"));
    EXPECT_NE(gf_parkAirports().lf_readParkedFile({}).find("could not load file"),
              std::string::npos);
    // An unreadable learned file is put aside, and the archived data stand alone.
    testkit::writeFile("airports/my_thirdparty/LSZH.xml", kArchived);
    testkit::writeFile("airports/learned/thirdparty/stock/LSZH.xml", "not xml");
    ASSERT_TRUE(gf_parkAirports().setParkAirport("LSZH"));
    EXPECT_EQ(gf_parkAirports().gf_readApf("airports/my_thirdparty/LSZH.xml"), "");
    EXPECT_TRUE(fs::exists("airports/learned/thirdparty/stock/LSZH.0.xml"));
    EXPECT_EQ(gf_parkAirports().file().stands.size(), 2u);
}

TEST_F(ParkAirportTest, OldAndHandmadeLearnedFilesFollowTheirRules) {
    testkit::writeFile("airports/my_thirdparty/LSZH.xml", kArchived);
    const std::string learned = "airports/learned/thirdparty/stock/LSZH.xml";
    const std::string stands = R"(<parkpos id="H1" latitude="47.46" longitude="8.56" radius="20">
  <opt airl="EZY" type="A320" reg="G-EZAA" cs="EZY1" day="2" hh="20"/>
</parkpos>
)";
    struct Case {
        std::string version;
        bool handmade;
        std::size_t stands;
        std::size_t flightsOfFirst;
    };
    // Old: its flights are dropped (the archived stand keeps its own). Handmade: its stands
    // replace the archived ones, flights and all, old or not.
    for (const Case& c :
         {Case{"11.9.5", false, 2, 1}, Case{"11.9.5", true, 1, 1}, Case{"11.10.9", true, 1, 1}}) {
        SCOPED_TRACE(c.version + (c.handmade ? " handmade" : ""));
        const std::string params =
            lf_param("altitude", "1416") + (c.handmade ? lf_param("handmade", "true") : "");
        testkit::writeFile(
            learned,
            lf_file(c.version, params,
                    c.handmade ? stands
                               : R"(<parkpos id="A1" latitude="47.45" longitude="8.56" radius="30">
  <opt airl="EZY" type="A320" reg="G-EZAA" cs="EZY1" day="2" hh="20"/>
</parkpos>
)"));
        ASSERT_TRUE(gf_parkAirports().setParkAirport("LSZH"));
        ASSERT_EQ(gf_parkAirports().gf_readApf("airports/my_thirdparty/LSZH.xml"), "");
        const AirportFileData& f = gf_parkAirports().file();
        ASSERT_EQ(f.stands.size(), c.stands);
        EXPECT_EQ(f.stands[0].flights.size(), c.flightsOfFirst);
        EXPECT_EQ(f.handmade, c.handmade);
    }
}

TEST_F(ParkAirportTest, TheParkAirportFollowsTheUser) {
    testkit::writeFile(std::string(kParkListFile), "LSZB\nLSGG,A5\nLSGG\nLSZH,1,2\nXXXX\n");
    testkit::writeFile("airports/my_thirdparty/LSZH.xml", kArchived);
    ParkAirports& p = gf_parkAirports();
    EXPECT_TRUE(p.lf_readMyParkAirports());
    EXPECT_TRUE(log_.contains("my_park_airports.txt:3 double, skipped"));
    EXPECT_TRUE(log_.contains("my_park_airports.txt:4 wrong syntax, skipped"));
    ASSERT_EQ(p.list().size(), 3u);  // LSZH comes back from its file in my_thirdparty
    EXPECT_EQ(p.list().back().code, "LSZH");

    // Airborne: above AIRP_HEIGHT nothing, below it the nearest listed airport in range.
    const LatLon nearZurich{47.40, 8.50};
    p.step({nearZurich, 30000.0, false});
    EXPECT_FALSE(p.isSet());
    p.step({nearZurich, 5000.0, false});
    ASSERT_EQ(p.code(), "LSZH");
    EXPECT_TRUE(p.readNow());
    p.step({nearZurich, 5000.0, false});  // reads the file
    EXPECT_EQ(p.file().stands.size(), 2u);
    // Flying on toward Berne: Zurich falls out of range and is left.
    p.step({{46.95, 7.55}, 5000.0, false});
    EXPECT_FALSE(p.isSet());
    EXPECT_TRUE(log_.contains("LSZH is out of sight"));
    // A position of 0,0 changes nothing.
    p.step({{0.0, 0.0}, 0.0, true});
    EXPECT_FALSE(p.isSet());
    // On the ground at a stand of Zurich: the park airport, with that stand reserved and
    // recorded in the list file.
    p.step({{47.4647, 8.5492}, 1416.0, true});
    ASSERT_EQ(p.code(), "LSZH");
    p.step({{47.450001, 8.560001}, 1416.0, true});
    EXPECT_EQ(p.reservedStand(), "A1");
    EXPECT_NE(testkit::readFile(std::string(kParkListFile)).find("\nLSZH,A1\n"), std::string::npos);
    // On the ground at another airport: Zurich is left, and what was learned there is saved
    // where the next reading finds it.
    p.markLearnedChanged();
    p.step({{46.2381, 6.1089}, 1411.0, true});
    EXPECT_NE(p.code(), "LSZH");
    EXPECT_TRUE(fs::exists("airports/learned/thirdparty/stock/LSZH.xml"));
    EXPECT_TRUE(p.setParkAirport("LSZH"));
    EXPECT_EQ(p.gf_readApf("airports/my_thirdparty/LSZH.xml"), "");
    EXPECT_TRUE(log_.contains("Read from learned airport file"));
}

}  // namespace
}  // namespace wnd
