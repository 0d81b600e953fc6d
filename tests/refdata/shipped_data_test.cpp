// The data files the build packs into the working folder, read as the program reads them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <pugixml.hpp>

#include "airports/airports_db.h"
#include "refdata/dbase.h"
#include "refdata/encrypted_file.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"

namespace fs = std::filesystem;

namespace {

class ShippedDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path staged = wnd::testkit::stageDir() / "input";
        for (const char* name : {"dbase.enc", "airports.enc", "AIG-regcodes.enc"}) {
            ASSERT_TRUE(fs::exists(staged / name)) << "the build did not pack " << name;
            fs::copy_file(staged / name, input / name);
        }
        wnd::gf_dbase().reset();
        wnd::gf_airportsDb().reset();
    }
    void TearDown() override {
        wnd::gf_dbase().reset();
        wnd::gf_airportsDb().reset();
    }

    wnd::testkit::TempDir dir;
    wnd::testkit::LogCapture log;
    fs::path input = [this] {
        fs::create_directories(dir / "input");
        return dir / "input";
    }();
};

TEST_F(ShippedDataTest, DatabaseHoldsRealFacts) {
    ASSERT_TRUE(wnd::gf_readDbase(input));
    const wnd::Dbase& d = wnd::gf_dbase();
    EXPECT_GT(d.knownTypes.size(), 2500U);
    EXPECT_GT(d.airlines.size(), 5000U);
    EXPECT_GT(d.registrations.size(), 14000U);
    EXPECT_GT(d.halfWingspans.size(), 300U);
    EXPECT_EQ(wnd::gf_typeCategory("A388"), wnd::kHeavy);
    EXPECT_EQ(wnd::gf_typeCategory("DH8D"), wnd::kLarge);
    EXPECT_EQ(wnd::gf_typeCategory("V22"), wnd::kRotorcraft);
    EXPECT_EQ(wnd::gf_typeCategory("C172"), wnd::kLight);
    EXPECT_TRUE(d.cargoOperators.contains("UPS"));
    EXPECT_FALSE(d.cargoOperators.contains("DLH"));
    // The FAA gives the 747-400 195.7 ft; the table holds half of it in nautical miles.
    EXPECT_NEAR(wnd::gf_halfWingspan("B744") * 1852.0 * 2.0, 59.65, 0.01);
    const auto rec = wnd::gf_lookupRegistration("N12028");
    ASSERT_TRUE(rec.has_value());
    EXPECT_EQ(rec->airl, "AAL");
    EXPECT_EQ(rec->type, "A319");
    EXPECT_FALSE(fs::exists(input / "dbase.xml"));
}

TEST_F(ShippedDataTest, AirportsHoldRealFacts) {
    ASSERT_TRUE(wnd::gf_readAirports(input));
    EXPECT_GT(wnd::gf_airportsDb().airports.size(), 8000U);
    const wnd::AirportRecord* eddf = wnd::gf_findAirport("EDDF");
    ASSERT_NE(eddf, nullptr);
    EXPECT_EQ(eddf->iata, "FRA");
    EXPECT_NEAR(eddf->altitude, 364, 30);
    EXPECT_TRUE(wnd::gf_isRtAirport("KJFK"));
    const wnd::AirportRecord* at = wnd::gf_findClosestAirport({50.0379, 8.5622});
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->code, "EDDF");
    EXPECT_FALSE(fs::exists(input / "airports.xml"));
}

TEST_F(ShippedDataTest, RegcodesDecryptToTheirRoot) {
    ASSERT_TRUE(wnd::gf_streamDecrypt(input / "AIG-regcodes.enc", input / "AIG-regcodes.xml"));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((input / "AIG-regcodes.xml").c_str()));
    EXPECT_TRUE(doc.child("root").child("AIG-regcodes"));
}

}  // namespace
