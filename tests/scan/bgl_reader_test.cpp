// The BGL reader: real compiler output against its source, the format's rules on written
// files, and malformed files that must cost a log line only.
#include "scan/bgl_reader.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>
#include <pugixml.hpp>

#include "bgl_writer.h"
#include "testkit/testkit.h"

namespace fs = std::filesystem;
using testing::HasSubstr;

namespace wnd {
namespace {

struct Collect final : BglSink {
    std::vector<BglAirport> airports;
    std::string messages;
    bool acceptAirport(std::string_view) override { return true; }
    void airport(BglAirport&& a) override { airports.push_back(std::move(a)); }
    void log(std::string_view l) override { messages += std::string(l) + "\n"; }
    void warning(std::string_view l) override { messages += "==> " + std::string(l) + "\n"; }
    void scanLog(std::string_view l) override { messages += std::string(l) + "\n"; }
};

// From a copy of exactly the file's size, so that ASan sees a read past it.
Collect readBytes(const std::string& bytes) {
    const std::unique_ptr<std::byte[]> copy(new std::byte[std::max<std::size_t>(bytes.size(), 1)]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    Collect c;
    gf_processBglData(BglView(copy.get(), bytes.size()), "test.bgl", c);
    return c;
}

Collect readAirport(const testbgl::Airport& a) {
    return readBytes(testbgl::build({.airports = {a}}));
}

std::vector<std::string> ids(const BglAirport& a) {
    std::vector<std::string> out;
    for (const BglStand& s : a.stands) {
        out.push_back(s.id);
    }
    return out;
}

fs::path bglDir() {
    const fs::path d = testkit::sharedDataDir() / "testdata" / "bgl";
    return testkit::sharedDataDir().empty() ? fs::path() : d;
}
#define REQUIRE_BGL_DATA()                                                          \
    if (bglDir().empty() || !fs::exists(bglDir())) {                                \
        GTEST_SKIP() << "../shared/data/testdata/bgl is absent: no real BGL files"; \
    }

double angleDiff(double a, double b) {
    const double d = std::fmod(std::abs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

// The compiler source lists what the scan must find: parkings by name and number, helipads
// in order. The v6 compiler writes the heading of a helipad's scenery object into it.
TEST(BglRealFiles, KtstListsExactlyTheStandsOfItsCompilerSource) {
    REQUIRE_BGL_DATA();
    const std::map<std::string, std::string> prefixes = {
        {"NONE", ""}, {"PARKING", "r"}, {"N_PARKING", "p"}, {"GATE", "g"}, {"DOCK", ""}};
    for (const char* file : {"KTST_TestAirport_v5.BGL", "KTST_TestAirport_v6.bgl"}) {
        SCOPED_TRACE(file);
        Collect c;
        lf_processBGLfile(bglDir() / file, c);
        ASSERT_EQ(c.airports.size(), 1U) << c.messages;
        const BglAirport& a = c.airports[0];
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file((bglDir() / fs::path(file).replace_extension(".xml")).c_str()));
        const pugi::xml_node src = doc.child("FSData").child("Airport");
        EXPECT_EQ(a.ident, src.attribute("ident").value());
        EXPECT_EQ(a.name, src.attribute("name").value());
        EXPECT_EQ(a.altitudeFt, std::lround(src.attribute("alt").as_double() / 0.3048));
        std::size_t at = 0;
        int helipads = 0;
        for (pugi::xml_node n : src.children()) {
            const std::string tag = n.name();
            if (tag != "Helipad" && tag != "TaxiwayParking") {
                continue;
            }
            ASSERT_LT(at, a.stands.size());
            const BglStand& s = a.stands[at++];
            double heading = n.attribute("heading").as_double();
            if (tag == "Helipad") {
                EXPECT_EQ(s.id, "helipad" + std::to_string(++helipads));
                EXPECT_TRUE(s.heli);
                EXPECT_NEAR(s.radius * 1852.0, n.attribute("width").as_double() * 0.3048 / 2, 0.01);
                if (pugi::xml_node object = n.child("SceneryObject")) {
                    heading = object.attribute("heading").as_double();
                }
            } else {
                ASSERT_TRUE(prefixes.contains(n.attribute("name").value()));
                EXPECT_EQ(s.id,
                          prefixes.at(n.attribute("name").value()) + n.attribute("number").value());
                const std::string type = n.attribute("type").value();
                EXPECT_EQ(s.ramp, type.starts_with("RAMP")) << type;
                EXPECT_EQ(s.cargo, type == "RAMP_CARGO") << type;
                EXPECT_NEAR(s.radius * 1852.0, n.attribute("radius").as_double(), 0.01);
            }
            EXPECT_LT(angleDiff(s.heading * 180.0 / std::numbers::pi, heading), 0.01) << s.id;
            EXPECT_LT(std::abs(s.latitude - n.attribute("lat").as_double()) * 111132.95, 0.5);
            EXPECT_LT(std::abs(s.longitude - n.attribute("lon").as_double()) * 111132.95 *
                          std::cos(s.latitude * std::numbers::pi / 180.0),
                      0.5);
        }
        EXPECT_EQ(at, a.stands.size());
    }
}

TEST(BglReaderRules, ParkingEntries) {
    using P = testbgl::Parking;
    testbgl::Airport a;
    a.parkingLists = {{
        P{.type = 0},
        P{.type = 12},
        P{.type = 13},  // no stands
        P{.number = 2, .radius = 1.0F},
        P{.number = 3, .radius = 200.0F},  // radius bounds
        P{.nameCode = 1, .type = 5, .number = 4, .radius = 1.01F, .heading = 0.0F},
        P{.nameCode = 12, .type = 14, .number = 5, .radius = 199.9F, .airlines = 3},
        P{.nameCode = 11, .type = 15, .number = 6},
        P{.nameCode = 40, .number = 7},
        P{.number = 8, .lat = 0.0, .lon = 0.0},
        P{.number = 9, .lat = -91.0},
    }};
    for (int i = 0; i < 12; ++i) {
        a.parkingLists[0].push_back(P{.number = 12});
    }
    for (bool v5 : {true, false}) {
        a.v5 = v5;
        const Collect c = readAirport(a);
        ASSERT_EQ(c.airports.size(), 1U);
        const BglAirport& r = c.airports[0];
        EXPECT_THAT(ids(r),
                    testing::ElementsAre("r4", "A5", "6", "7", "g12", "g12a", "g12b", "g12c",
                                         "g12d", "g12e", "g12f", "g12g", "g12h", "g12i", "g12j"));
        EXPECT_TRUE(r.stands[0].cargo && r.stands[0].ramp);
        EXPECT_DOUBLE_EQ(r.stands[0].heading, 2 * std::numbers::pi);
        EXPECT_TRUE(r.stands[1].ramp && !r.stands[1].cargo);
        EXPECT_FALSE(r.stands[2].ramp || r.stands[2].cargo);
        EXPECT_DOUBLE_EQ(r.stands[2].heading, std::numbers::pi / 2);
        EXPECT_NEAR(r.stands[1].radius, 199.9 / 1852, 1e-6);
        EXPECT_THAT(c.messages,
                    HasSubstr("===> Warning: more than 10 duplicate IDs g12 in test.bgl\n"));
    }
}

TEST(BglReaderRules, HelipadsNamesAltitudeIdentsAndSections) {
    testbgl::Airport a;
    a.helipads = {{}, {}, {.lat = 47.47, .heading = 0.0F}, {.lat = 47.48, .withHeading = false}};
    a.names = {"Zurich", "Zurich"};
    a.altitudeMm = 3048000;  // 10000 ft
    Collect c = readAirport(a);
    ASSERT_EQ(c.airports.size(), 1U);
    EXPECT_THAT(ids(c.airports[0]), testing::ElementsAre("helipad1", "helipad2", "helipad3"));
    EXPECT_NEAR(c.airports[0].stands[0].heading, std::numbers::pi / 4, 1e-6);
    EXPECT_NEAR(c.airports[0].stands[0].radius, 15.0 / 1852, 1e-9);
    EXPECT_EQ(c.airports[0].stands[1].heading, 0.0);
    EXPECT_EQ(c.airports[0].stands[2].heading, 0.0);
    EXPECT_EQ(c.airports[0].name, "Zurich");
    EXPECT_EQ(c.airports[0].altitudeFt, 10000);

    a.names = {"Zurich", "Kloten"};
    a.altitudeMm = 3048305;  // 10001 ft
    c = readAirport(a);
    EXPECT_EQ(c.airports[0].name, "");
    EXPECT_EQ(c.airports[0].altitudeFt, 0);

    a.names = {"M\xE1laga"};  // an ANSI name becomes UTF-8
    a.ident = "LEMG";
    EXPECT_EQ(readAirport(a).airports[0].name, "M\xC3\xA1laga");
    a.ident = "L MG";  // a blank digit
    EXPECT_TRUE(readAirport(a).airports.empty());

    a.ident = "LSZH";
    EXPECT_TRUE(readBytes(testbgl::build({.airports = {a}, .headerSize = 60})).airports.empty());
    EXPECT_TRUE(
        readBytes(testbgl::build({.airports = {a}, .sectionFlags = 0x10001})).airports.empty());
    // A parking list of the other layout is stepped over.
    a.parkingLists = {{testbgl::Parking{}}};
    a.helipads.clear();
    testbgl::Airport fsx = a;
    fsx.v5 = false;
    a.extraSubrecords = {testbgl::parkingList({testbgl::Parking{.number = 9}}, false)};
    EXPECT_THAT(ids(readAirport(a).airports[0]), testing::ElementsAre("g1"));
    EXPECT_THAT(ids(readAirport(fsx).airports[0]), testing::ElementsAre("g1"));
}

TEST(BglReaderRules, IterationCaps) {
    std::string records;
    for (int i = 0; i < 9001; ++i) {
        records += testbgl::record(0x13, "");
    }
    testbgl::Airport a;
    EXPECT_THAT(readBytes(testbgl::build({.airports = {a}, .trailingRecords = records})).messages,
                HasSubstr("==> Error: Maximum loop iterations reached (2) — possible corrupt "
                          "BGL or malformed input.\n"));
    a.extraSubrecords.assign(9001, testbgl::record(0x11, ""));
    const Collect c = readAirport(a);
    EXPECT_THAT(c.messages, HasSubstr("Error: Maximum loop iterations reached (3) — possible "
                                      "corrupt Airport Basic data or malformed input.\n"));
    EXPECT_THAT(c.messages, HasSubstr("Error: Maximum loop iterations reached (1) — possible "
                                      "corrupt SIA or malformed input\n"));
}

// Each of these costs the file only; the reader neither crashes nor reads past the end.
TEST(BglReaderRobustness, MalformedFiles) {
    testbgl::Airport a;
    a.parkingLists = {{testbgl::Parking{}, testbgl::Parking{.number = 2}}};
    a.helipads = {{}};
    const std::string good = testbgl::build({.airports = {a}});
    for (std::size_t n = 0; n < good.size(); ++n) {
        readBytes(good.substr(0, n));
    }
    const std::size_t listBytes = testbgl::parkingList(a.parkingLists[0], true).size();
    EXPECT_THAT(readBytes(good.substr(0, good.size() - listBytes)).messages,
                HasSubstr("exceeded data buffer size"));
    EXPECT_EQ(readBytes(std::string(4096, '\0')).messages, "");

    const std::size_t airportAt = good.size() - testbgl::airportRecord(a).size();
    auto withSize = [&](std::uint32_t size) {
        std::string s = good;
        std::memcpy(s.data() + airportAt + 2, &size, 4);
        return readBytes(s);
    };
    EXPECT_THAT(withSize(0).messages,
                HasSubstr(fmt::format("==>    Warning: decodeSizeAtBoundary returned 0 at o2 = {}",
                                      airportAt / 4)));
    EXPECT_THAT(withSize(0xFFFFFFFFU).messages, HasSubstr("exceeded data buffer size"));
    // A subsection table that points back into the header and at itself.
    for (std::uint32_t target : {0U, 56U, 96U + 16U}) {
        std::string s = good;
        std::memcpy(s.data() + 96 + 16 + 8, &target, 4);
        EXPECT_TRUE(readBytes(s).airports.empty());
    }
    // A subrecord of size 0 ends that airport's walk.
    a.extraSubrecords = {std::string(8, '\0')};
    EXPECT_THAT(readAirport(a).messages,
                HasSubstr("Warning: decodeSizeAtBoundary returned 0 at o3"));
    // A 2 GB sparse file with a valid header is refused without reading it.
    testkit::TempDir dir;
    const fs::path big = dir / "big.bgl";
    testkit::writeFile(big, good);
    std::error_code ec;
    fs::resize_file(big, (std::uintmax_t{1} << 31) + 8, ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_TRUE(gf_bglPreCheck(big));
    Collect c;
    lf_processBGLfile(big, c);
    EXPECT_THAT(c.messages, HasSubstr("bytes, more than a scenery file with airports has"));
}

}  // namespace
}  // namespace wnd
