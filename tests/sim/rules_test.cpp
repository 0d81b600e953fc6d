// The decisions that need no connection: simulator names, time, the user model, flight plan
// files and the ANSI texts.
#include <gtest/gtest.h>

#include <filesystem>

#include "refdata/dbase.h"
#include "sim/flight_plan.h"
#include "sim/sim_rules.h"
#include "sim/sim_text.h"
#include "sim_test_util.h"
#include "testkit/testkit.h"
#include "util/user_error.h"

namespace wnd {
namespace {

TEST(SimRules, OnlyPrepar3dOfTheConfiguredVersionConnects) {
    const std::string filtered = gf_filterSimulatorName("Lockheed Martin\xAE Prepar3D\xAE v5");
    EXPECT_EQ(filtered, "Lockheed Martin Prepar3D v5");
    EXPECT_EQ(gf_simulatorName(filtered, {5, 4, 9, 28482}),
              "Lockheed Martin Prepar3D v5 (5.4.9.28482)");

    for (const char* msfs : {"KittyHawk", "SunRise"}) {
        EXPECT_EQ(testkit::errorText([&] {
                      gf_simulatorName(msfs, {11, 0, 0, 0});
                  }),
                  fmt::format("78: {}, (MSFS) not being P3D connects ... ?", msfs));
    }
    // Letters, digits and blanks only: "Kitty-Hawk" is not the other simulator's name.
    EXPECT_EQ(gf_filterSimulatorName("Kitty-Hawk\xAE"), "KittyHawk");

    const std::string v5 = "Lockheed Martin Prepar3D v5 (5.4.9.28482)";
    EXPECT_NO_THROW(gf_checkP3dVersion(v5, "", 5));
    EXPECT_NO_THROW(gf_checkP3dVersion(v5, "D:\\Prepar3D V5", 6));
    EXPECT_EQ(testkit::errorText([&] { gf_checkP3dVersion(v5, "D:\\Prepar3D v6", 6); }),
              "78: wrong P3D version '" + v5 + "' connects ... ?)");
    EXPECT_NO_THROW(gf_checkP3dVersion("Lockheed Martin Prepar3D v6 (6.0.34.31011)", "", 6));
}

TEST(SimRules, SimulationTimeCountsFirstJanuaryAsDayOne) {
    EXPECT_EQ(gf_simulationTime(1970, 1, 0), 0);
    // 2024 is a leap year: 1 March is day 61.
    EXPECT_EQ(gf_simulationTime(2024, 61, 10 * 3600 + 29 * 60 + 45), 1709288985);  // 10:29:45
    EXPECT_EQ(gf_simulationTime(2023, 365, 0), 1703980800);  // 31 December 2023
    // What a simulator cannot mean is not a time.
    EXPECT_FALSE(gf_simulationTime(0, 1, 0));
    EXPECT_FALSE(gf_simulationTime(2024, 0, 0));
    EXPECT_FALSE(gf_simulationTime(2024, 367, 0));
    EXPECT_FALSE(gf_simulationTime(2024, 1, -1));
}

class UserModel : public simtest::RunFrame {
  protected:
    void SetUp() override {
        RunFrame::SetUp();
        auto& d = gf_dbase();
        d.halfWingspans = {{"B738", 0.0097}, {"A320", 0.0097}, {"E190", 0.0077}};
        d.largestHalfWingspan = 0.0429;
        d.categories[kLarge] = {"B738", "A320", "E190"};
    }
};

TEST_F(UserModel, ModelTitleAndDatabaseGiveSpanAndCategory) {
    // A known model's span and category: the link's log line against wendle-sim in tests/e2e.
    // A camera pod goes on as an E190 of category 0.
    UserModelInfo m = gf_resolveUserModel("camerapod", "");
    EXPECT_TRUE(m.noAircraft);
    EXPECT_EQ(m.model, "E190");
    EXPECT_DOUBLE_EQ(m.halfWingspanNm, 0.0077);
    EXPECT_EQ(m.category, 0);

    // A long model gets the largest span, unless an Aerosoft title tells the type.
    m = gf_resolveUserModel("TT:ATCCOM.AC_MODEL_A320.0.text", "Aerosoft A320 Swiss");
    EXPECT_TRUE(m.deducedFromTitle);
    EXPECT_EQ(m.model, "A320");
    EXPECT_DOUBLE_EQ(m.halfWingspanNm, 0.0097);
    m = gf_resolveUserModel("TT:ATCCOM.AC_MODEL_A320.0.text", "Aerosoft A3");
    EXPECT_TRUE(m.spanUnknown);
    EXPECT_DOUBLE_EQ(m.halfWingspanNm, 0.0429);
    m = gf_resolveUserModel("ZZZZ", "");
    EXPECT_TRUE(m.spanUnknown);

    EXPECT_NE(testkit::errorText([] { gf_resolveUserModel("", "x"); })
                  .find("71: atc_model= in [General] section of your aircraft.cfg is empty or "
                        "missing"),
              std::string::npos);
}

TEST(FlightPlan, TextAndFileOfObject1234) {
    const std::string text = gf_flightPlanText(2, "LSZH", "EGLL");
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
              "<FlightPlan.FlightPlan>\n"
              "<FPType>IFR</FPType>\n"
              "<DepartureID>LSZH</DepartureID>\n"
              "<DestinationID>EGLL</DestinationID>\n"
              "</FlightPlan.FlightPlan>\n"
              "</SimBase.Document>\n\n");
    EXPECT_NE(gf_flightPlanText(0, "LSZH", "LSZB").find("<FPType>VFR</FPType>"), std::string::npos);
    EXPECT_NE(gf_flightPlanText(4, "LSZH", "LSZB").find("<FPType>VFR</FPType>"), std::string::npos);

    // The folder's life and a plan's file are played against wendle-sim in tests/e2e.
    testkit::TempDir work;
    gf_createFlightPlanFolder(work.path());
    EXPECT_EQ(gf_flightPlanPath(1234), work.path() / "orig_dest" / "1234.pln");
    testkit::writeFile(gf_flightPlanPath(1234), text);
    gf_removeFlightPlan(1234);
    EXPECT_FALSE(std::filesystem::exists(gf_flightPlanPath(1234)));
    gf_removeFlightPlanFolder();

    // A file where the folder should be is a file-system error.
    testkit::writeFile(work / "orig_dest", "x");
    EXPECT_THROW(gf_createFlightPlanFolder(work.path()), std::filesystem::filesystem_error);
}

TEST(SimText, Windows1252BothWays) {
    EXPECT_EQ(gf_utf8ToSimText("Swiss A320"), "Swiss A320");
    EXPECT_EQ(gf_utf8ToSimText("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 \x80");
    EXPECT_FALSE(gf_utf8ToSimText("\xE6\x97\xA5"));  // no place in Windows-1252
    EXPECT_FALSE(gf_utf8ToSimText("\xC3"));          // malformed
    EXPECT_EQ(gf_simTextToUtf8("Prepar3D\xAE"), "Prepar3D\xC2\xAE");
}

}  // namespace
}  // namespace wnd
