#include "refdata/dbase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "refdata_test_util.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "util/user_error.h"

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using wnd::testing::errorText;

namespace {

// Every required section, each with one usable item.
std::string required(const std::string& heavy = R"(<hvy types="B744" /><hvy types="A388" />)") {
    return R"(<aircraft types="A320, B744,B738, C172,H60,F16,GLF6,DH8D, A388" />
  </aircrafts>
  <high_performance><hpf types="F16" /></high_performance>
  <heavy>)" +
           heavy + R"(</heavy>
  <large><lar types="A320,B738,DH8D" /></large>
  <buzjet><bzj types="GLF6" /></buzjet>
  <rotorcraft><rot types="H60" /></rotorcraft>
  <cargo_types><cargo_type types="A388" /></cargo_types>
  <ICAO_airlines><ICAO codes="DLH,BAW" /><ICAO codes="UPS" /></ICAO_airlines>
  <cargo_operators><ICAO codes="UPS" /></cargo_operators>
  <simaddonsP3D><simaddonP3D arpts="LOWI" /></simaddonsP3D>
)";
}

std::string document(const std::string& body) {
    return "<?xml version=\"1.0\"?>\n<root>\n  <aircrafts>\n    " + body + "</root>\n";
}

class DbaseTest : public ::testing::Test {
  protected:
    void SetUp() override { wnd::gf_dbase().reset(); }
    void TearDown() override { wnd::gf_dbase().reset(); }
    void pack(const std::string& xml) { wnd::testing::packXml(input, "dbase.enc", xml); }
    // The user error text of a read, checking that the plain file did not stay.
    std::string readError() {
        const std::string text = errorText([&] { wnd::gf_readDbase(input); });
        EXPECT_FALSE(fs::exists(input / "dbase.xml"));
        return text;
    }

    wnd::testkit::TempDir dir;
    wnd::testkit::LogCapture log;
    fs::path input = dir / "input";
};

TEST_F(DbaseTest, ReadsEverySectionWithItsRules) {
    pack(document(required(R"(<hvy types="B744,A320" /><hvy types="A388" />)") + R"(
  <similar_types><similar types="B738, A320" /><similar types="" /></similar_types>
  <publishers><pub names="FlyTampa" /><pub names="FSDreamTeam, FSDT" /><pub names="FlyTampa" />
  </publishers>
  <wingspans>
    <wingspan type="A320" meters="35.8" /><wingspan type="A320" meters="40" />
    <wingspan type="B744" meters="64.4" /><wingspan type="XXXX" meters="99" />
    <wingspan type="C172" meters="11" />
  </wingspans>
  <fixes><fx wro="A330" cor="A320" /><fx wro="A330" cor="B738" /><fx wro="B7" cor="QQQQ" /></fixes>
  <thirdpartiesP3D><thirdpartieP3D pub="FlyTampa" arpts="EHAM, KBOS" /></thirdpartiesP3D>
  <dbase>
    <db reg="D-AIPX" airl="DLH" type="A320" opr="DLH" />
    <db reg="N123AB" airl="UPS" type="B744" opr="UPS" cargo="true" />
    <db reg="G-ABCD" type="B738" />
    <db reg="D-AIPX" airl="XXX" type="B738" />
    <db reg="EI" airl="EIN" />
  </dbase>
)"));
    ASSERT_TRUE(wnd::gf_readDbase(input));
    EXPECT_FALSE(fs::exists(input / "dbase.xml"));
    const wnd::Dbase& d = wnd::gf_dbase();

    // A type in both large and heavy is large; the test order decides.
    EXPECT_EQ(wnd::gf_typeCategory("A320"), wnd::kLarge);
    EXPECT_EQ(wnd::gf_typeCategory("B744"), wnd::kHeavy);
    EXPECT_EQ(wnd::gf_typeCategory("F16"), wnd::kHighPerf);
    EXPECT_EQ(wnd::gf_typeCategory("GLF6"), wnd::kBuzjet);
    EXPECT_EQ(wnd::gf_typeCategory("H60"), wnd::kRotorcraft);
    EXPECT_EQ(wnd::gf_typeCategory("C172"), wnd::kLight);
    EXPECT_TRUE(wnd::gf_isKnownType("A388"));
    EXPECT_FALSE(wnd::gf_isKnownType("a320"));
    EXPECT_TRUE(wnd::gf_isKnownAirline("UPS"));
    EXPECT_TRUE(d.cargoTypes.contains("A388"));

    ASSERT_EQ(d.similarGroups.size(), 1U);
    EXPECT_THAT(d.similarGroups[0], ElementsAre("A320", "B738"));
    ASSERT_EQ(d.publishers.size(), 2U);  // duplicates dropped, sorted by their text
    EXPECT_THAT(d.publishers[0], ElementsAre("FSDreamTeam", "FSDT"));
    EXPECT_THAT(d.publishers[1], ElementsAre("FlyTampa"));
    ASSERT_EQ(d.publisherAirports.size(), 1U);
    EXPECT_THAT(d.publisherAirports[0].arpts, ElementsAre("EHAM", "KBOS"));

    // The first wingspan of a type wins; the largest sees every entry.
    const double nmPerM = 0.5 / 1852.0;
    EXPECT_NEAR(wnd::gf_halfWingspan("A320"), 35.8 * nmPerM, 1e-12);
    EXPECT_NEAR(wnd::gf_largestHalfWingspan(), 64.4 * nmPerM, 1e-12);
    // A large type without an entry gets the mean of its category (A320 only).
    EXPECT_NEAR(wnd::gf_halfWingspan("DH8D"), 35.8 * nmPerM, 1e-12);
    // No rotorcraft has a wingspan: a typical value, never zero.
    EXPECT_GT(wnd::gf_halfWingspan("H60"), 0.002);

    EXPECT_EQ(d.fixes.size(), 1U);
    EXPECT_EQ(d.fixes.at("A330"), "A320");

    EXPECT_EQ(d.registrations.size(), 4U);
    const auto dlh = wnd::gf_lookupRegistration("DAIPX");
    ASSERT_TRUE(dlh.has_value());
    EXPECT_THAT(dlh->airl, testing::AnyOf("DLH", "XXX"));  // one D-AIPX record is kept
    const auto ups = wnd::gf_lookupRegistration("N123AB");
    ASSERT_TRUE(ups.has_value());
    EXPECT_EQ(ups->airl, "UPS");
    EXPECT_TRUE(ups->cargo);
    EXPECT_FALSE(wnd::gf_lookupRegistration("").has_value());
    EXPECT_EQ(wnd::gf_lookupRegistration("GABCD")->type, "B738");  // found as G-ABCD
    EXPECT_EQ(wnd::gf_airlineOfRegistration("N123AB"), "UPS");
    EXPECT_EQ(wnd::gf_operatorOfRegistration("G-ABCD"), "");
    EXPECT_EQ(wnd::gf_findRegistrationIn("Aer Lingus EI-DVM title"), "EI");
    EXPECT_FALSE(wnd::gf_findRegistrationIn("no registration").has_value());
}

TEST(RegistrationCandidates, SpelledVariantsOnlyForPlainForeignRegistrations) {
    EXPECT_THAT(wnd::gf_registrationCandidates("DAIPX"), ElementsAre("DA-IPX", "D-AIPX", "DAIPX"));
    EXPECT_THAT(wnd::gf_registrationCandidates("N123AB"), ElementsAre("N123AB"));
    EXPECT_THAT(wnd::gf_registrationCandidates("G-ABCD"), ElementsAre("G-ABCD"));
    EXPECT_THAT(wnd::gf_registrationCandidates("ABCD"), ElementsAre("ABCD"));
}

TEST_F(DbaseTest, OptionalSectionsMayBeAbsentAndPublisherOfPath) {
    pack(document(required() + R"(<publishers><pub names="FSDreamTeam, FSDT" /></publishers>)"));
    ASSERT_TRUE(wnd::gf_readDbase(input));
    EXPECT_TRUE(wnd::gf_dbase().registrations.empty());
    EXPECT_EQ(wnd::gf_largestHalfWingspan(), 0.0);
    EXPECT_GT(wnd::gf_halfWingspan("B744"), wnd::gf_halfWingspan("C172"));
    EXPECT_THAT(log.text(), HasSubstr("0 dbase records read"));

    std::string scanLog;
    EXPECT_EQ(wnd::gf_publisherOfPath("C:/Addons/orbx/LOWI/scenery",
                                      [&](const std::string& l) { scanLog = l; }),
              "simaddon");
    EXPECT_EQ(scanLog, "from filename => publisher simaddon");
    EXPECT_EQ(wnd::gf_publisherOfPath("D:/fsdt/KORD"), "FSDreamTeam");
    EXPECT_EQ(wnd::gf_publisherOfPath("D:/Other/EDDF"), "");
}

TEST_F(DbaseTest, RequiredSectionFaultsAreUserError61AndLeaveNoPlainFile) {
    pack(document(required(R"(<hvy types=" , " /><hvy />)")));
    EXPECT_EQ(readError(),
              "61: In XML file section [heavy], element [hvy], attribute [types] is empty.");
    std::string noRotor = document(required());
    noRotor.replace(noRotor.find("<rotorcraft>"),
                    noRotor.find("</rotorcraft>") + 13 - noRotor.find("<rotorcraft>"), "");
    pack(noRotor);
    EXPECT_EQ(readError(), "61: Missing section: rotorcraft");
    pack("<?xml version=\"1.0\"?>\n<dbase><aircrafts /></dbase>\n");
    EXPECT_EQ(readError(), "61: XML root missing: root");
    EXPECT_FALSE(wnd::gf_dbase().read);
}

// A missing file is played by the real program in tests/e2e.
TEST_F(DbaseTest, BrokenOrUnparsableFilesAndStartUpReadsOncePerProcess) {
    const std::string enc = (input / "dbase.enc").string();
    wnd::testkit::writeFile(input / "dbase.enc", std::string(100, 'x'));
    EXPECT_EQ(errorText([&] { wnd::gf_readDbase(input); }), enc + " stream decrypt failed");
    EXPECT_FALSE(fs::exists(input / "dbase.xml"));
    pack("<root><aircrafts>");
    EXPECT_FALSE(wnd::gf_readDbase(input));
    EXPECT_FALSE(fs::exists(input / "dbase.xml"));
    EXPECT_THAT(log.text(),
                HasSubstr("==> '" + (input / "dbase.xml").string() + "' not read because of "));
    EXPECT_EQ(errorText([&] { wnd::gf_readDataFilesOnce(input); }), "reading data files failed!");

    pack(document(required()));
    wnd::gf_readDataFilesOnce(input);
    fs::remove(input / "dbase.enc");
    EXPECT_NO_THROW(wnd::gf_readDataFilesOnce(input));  // a restart reads nothing
    EXPECT_TRUE(wnd::gf_isKnownType("B744"));
}

}  // namespace
