// The wire format and framing, and SimConnect.cfg.
#include "simconnect/wire.h"

#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "simconnect/config.h"
#include "testkit/testkit.h"

namespace wnd {
namespace {

using scwire::Framer;
using scwire::PacketReader;
using scwire::PacketWriter;

// Our bytes for the calls golden.js makes through node-simconnect (same arguments).
std::map<std::string, std::vector<std::uint8_t>> ourPackets() {
    std::map<std::string, std::vector<std::uint8_t>> out;
    auto take = [&](const std::string& name, auto&& encode) {
        PacketWriter w;
        encode(w);
        w.endClient(0);
        out[name] = w.buffer();
    };
    take("open", [](PacketWriter& w) { scwire::gf_encodeOpen(w, "Wendle_P3D"); });
    take("add_403_lat", [](PacketWriter& w) {
        scwire::gf_encodeAddToDataDefinition(w, 403, "Plane Latitude", "degree",
                                             SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    });
    take("add_404_atcid", [](PacketWriter& w) {
        scwire::gf_encodeAddToDataDefinition(w, 404, "ATC ID", "", SIMCONNECT_DATATYPE_STRING32, 0,
                                             SIMCONNECT_UNUSED);
    });
    take("add_407_title", [](PacketWriter& w) {
        scwire::gf_encodeAddToDataDefinition(w, 407, "TITLE", "", SIMCONNECT_DATATYPE_STRINGV, 0,
                                             SIMCONNECT_UNUSED);
    });
    take("subscribe_sim",
         [](PacketWriter& w) { scwire::gf_encodeSubscribeToSystemEvent(w, 201, "Sim"); });
    take("map_gear",
         [](PacketWriter& w) { scwire::gf_encodeMapClientEventToSimEvent(w, 220, "GEAR_SET"); });
    take("group_add", [](PacketWriter& w) {
        scwire::gf_encodeAddClientEventToNotificationGroup(w, 301, 208, true);
    });
    take("group_priority",
         [](PacketWriter& w) { scwire::gf_encodeSetNotificationGroupPriority(w, 301, 1); });
    take("request_109", [](PacketWriter& w) {
        scwire::gf_encodeRequestDataOnSimObject(w, 109, 403, 0, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    });
    take("request_108", [](PacketWriter& w) {
        scwire::gf_encodeRequestDataOnSimObject(w, 108, 409, 0, SIMCONNECT_PERIOD_SECOND, 0, 0, 0,
                                                0);
    });
    take("request_101", [](PacketWriter& w) {
        scwire::gf_encodeRequestDataOnSimObjectType(w, 101, 404, 20 * 1852,
                                                    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    });
    take("set_402", [](PacketWriter& w) {
        const double pos[8] = {47.5, 8.5, 0.01, -0.02, 1.5, 3500.25, -12.5, 180};
        scwire::gf_encodeSetDataOnSimObject(w, 402, 5, 0, 0, sizeof pos, pos);
    });
    take("transmit_gear",
         [](PacketWriter& w) { scwire::gf_encodeTransmitClientEvent(w, 5, 220, 1, 301, 0); });
    take("create", [](PacketWriter& w) {
        SIMCONNECT_DATA_INITPOSITION p{47.45, 8.56, 1421, -1.5, 0.5, 280, 1, 0};
        scwire::gf_encodeAICreateNonATCAircraft(w, "Boeing 737-800 Paint1", "N12345", p, 104);
    });
    take("release", [](PacketWriter& w) { scwire::gf_encodeAIReleaseControl(w, 5, 103); });
    take("remove", [](PacketWriter& w) { scwire::gf_encodeAIRemoveObject(w, 5, 105); });
    take("flight_plan", [](PacketWriter& w) {
        scwire::gf_encodeAISetAircraftFlightPlan(w, 5, "C:\\Wendle\\orig_dest\\5.pln", 110);
    });
    return out;
}

TEST(Wire, EncodersGiveNodeSimconnectsBytesSendIdsAside) {
    const auto golden = nlohmann::json::parse(
        testkit::readFile(std::filesystem::path(WENDLE_SIMCONNECT_TEST_DIR) / "node/golden.json"));
    auto ours = ourPackets();
    ASSERT_EQ(golden.size(), ours.size());
    for (const auto& g : golden) {
        const std::string name = g["name"];
        ASSERT_TRUE(ours.contains(name)) << name;
        std::string theirs = g["hex"];
        std::string mine = fmt::format("{:02x}", fmt::join(ours[name], ""));
        ASSERT_EQ(mine.size(), theirs.size()) << name;
        // Bytes 12..15 are the send id: node-simconnect counts from 0, we from 1.
        theirs.replace(24, 8, "xxxxxxxx");
        mine.replace(24, 8, "xxxxxxxx");
        EXPECT_EQ(mine, theirs) << name;
    }
}

TEST(Wire, FixedStringsStayInsideTheirFieldsAndTheReaderInsideTheData) {
    PacketWriter w;
    w.fixedString("abc", 4);
    w.fixedString("abcdef", 4);
    w.fixedString("", 2);
    w.fixedString(std::string(300, 'T'), 256);
    const auto& b = w.buffer();
    ASSERT_EQ(b.size(), 4u + 4 + 2 + 256);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), std::string("abc\0", 4));
    EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 8), std::string("abc\0", 4));
    EXPECT_EQ(b[8] | b[9], 0);
    EXPECT_EQ(b[10 + 254], 'T');
    EXPECT_EQ(b[10 + 255], 0);

    PacketReader r(b);
    EXPECT_EQ(r.fixedString(4), "abc");
    r.skip(6);
    EXPECT_EQ(r.fixedString(256), std::string(255, 'T'));
    EXPECT_TRUE(r.ok());

    const std::vector<std::uint8_t> noNul(8, 'x');
    PacketReader n(noNul);
    EXPECT_EQ(n.fixedString(8), "xxxxxxxx");  // the whole field, not a byte more
    EXPECT_EQ(n.u32(), 0u);                   // past the end: zero and not ok
    EXPECT_FALSE(n.ok());
    EXPECT_EQ(n.fixedString(256), "");
    EXPECT_EQ(n.f64(), 0.0);
}

TEST(Framer, SizesBelowTheHeaderOrBeyondTheLimitBreakTheStreamForGood) {
    for (std::uint32_t size :
         {0u, 4u, 11u, static_cast<std::uint32_t>(scwire::kMaxPacketSize + 1), 0xFFFFFFFFu}) {
        Framer f(scwire::kServerHeaderSize);
        std::uint8_t bytes[16] = {};
        scwire::gf_writeU32(bytes, size);
        f.feed(bytes, sizeof bytes);
        std::span<const std::uint8_t> p;
        EXPECT_EQ(f.next(p), Framer::Status::Bad) << size;
        EXPECT_EQ(f.badSize(), size);
        // Good bytes afterwards do not revive it: the packet boundaries are lost.
        PacketWriter good;
        scwire::gf_encodeRecvQuit(good, 4);
        f.feed(good.buffer().data(), good.size());
        EXPECT_EQ(f.next(p), Framer::Status::Bad);
    }
    Framer f(scwire::kServerHeaderSize);
    std::uint8_t header[12] = {};
    scwire::gf_writeU32(header, 12);
    f.feed(header, sizeof header);
    std::span<const std::uint8_t> p;
    EXPECT_EQ(f.next(p), Framer::Status::Packet);
}

TEST(Config, SectionsIndexesAndDefaults) {
    const char* text =
        "\xEF\xBB\xBF; comment\n"
        "[SimConnect]\r\nProtocol=IPv4\r\naddress = 10.0.0.5\r\nPort=5000\r\n"
        "[SimConnect.1]\nProtocol=Ipv4\nAddress=localhost\nPort=4000\nMaxReceiveSize=4096\n"
        "[SimConnect.2]\nProtocol=Pipe\nAddress=.\nPort=Custom/SimConnect\n"
        "[SimConnect.3]\nProtocol=IPv4\nPort=70000\n";
    auto r0 = gf_parseSimConnectCfg(text, 0);
    ASSERT_TRUE(r0.ok) << r0.error;
    EXPECT_EQ(r0.cfg.address, "10.0.0.5");
    EXPECT_EQ(r0.cfg.port, 5000);
    auto r1 = gf_parseSimConnectCfg(text, 1);
    ASSERT_TRUE(r1.ok);
    EXPECT_EQ(r1.cfg.address, "localhost");
    EXPECT_EQ(r1.cfg.port, 4000);
    auto r2 = gf_parseSimConnectCfg(text, 2);
    EXPECT_FALSE(r2.ok);
    EXPECT_EQ(r2.error, "SimConnect.cfg: Protocol=Pipe is not supported, use IPv4");
    auto r3 = gf_parseSimConnectCfg(text, 3);
    EXPECT_FALSE(r3.ok);
    EXPECT_EQ(r3.error, "SimConnect.cfg: Port=70000 is not a port number");
    auto r4 = gf_parseSimConnectCfg(text, 4);
    EXPECT_FALSE(r4.ok);
    EXPECT_EQ(r4.error, "SimConnect.cfg has no [SimConnect.4] section");

    // Keys left out take the defaults; no file at all means the local stand-in.
    auto partial = gf_parseSimConnectCfg("[SimConnect.0]\nProtocol=IPv4\n", 0);
    ASSERT_TRUE(partial.ok);
    EXPECT_EQ(partial.cfg.address, "127.0.0.1");
    EXPECT_EQ(partial.cfg.port, 5111);
    testkit::TempDir dir;
    const auto none = gf_readSimConnectCfg(dir.path(), 0);
    EXPECT_TRUE(none.ok);
    EXPECT_FALSE(none.fromFile);
    EXPECT_EQ(none.cfg.port, 5111);
}

}  // namespace
}  // namespace wnd
