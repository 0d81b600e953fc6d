// Hostile bytes against the stand-in: random and mutated packets must never crash it, and
// what it says stays well framed. Meant to run under ASan. (The client's side of the same,
// its framing and dispatch, is the libFuzzer target tests/sim/fuzz_dispatch.cpp.)
#include <gtest/gtest.h>

#include <random>

#include "harness.h"
#include "platform/socket.h"
#include "simconnect/wire.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using sctest::Client;

std::uint32_t R(std::mt19937& rng) {
    return static_cast<std::uint32_t>(rng());
}

std::vector<std::uint8_t> randomBytes(std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> b(n);
    for (auto& x : b) {
        x = static_cast<std::uint8_t>(R(rng));
    }
    return b;
}

// Valid client packets of every function the stand-in knows, as seeds for mutation.
std::vector<std::vector<std::uint8_t>> seedPackets() {
    std::vector<std::vector<std::uint8_t>> out;
    auto take = [&](auto&& encode) {
        scwire::PacketWriter w;
        encode(w);
        w.endClient(static_cast<std::uint32_t>(out.size() + 2));
        out.push_back(w.buffer());
    };
    const double pos[8] = {47.5, 8.5, 0, 0, 1, 3000, 0, 200};
    const auto init = sctest::initPosition(47.46, 8.56, 0, 0, true);
    take([](auto& w) { scwire::gf_encodeSubscribeToSystemEvent(w, 1, "ObjectAdded"); });
    take([](auto& w) { scwire::gf_encodeSubscribeToSystemEvent(w, 2, "Frame"); });
    take([](auto& w) { scwire::gf_encodeMapClientEventToSimEvent(w, 3, "GEAR_SET"); });
    take([](auto& w) { scwire::gf_encodeAddClientEventToNotificationGroup(w, 4, 3, true); });
    take([](auto& w) { scwire::gf_encodeSetNotificationGroupPriority(w, 4, 1); });
    take([](auto& w) {
        scwire::gf_encodeAddToDataDefinition(w, 5, "PLANE LATITUDE", "degrees", 4, 0, 0);
    });
    take([](auto& w) { scwire::gf_encodeAddToDataDefinition(w, 5, "ATC ID", "", 6, 0, 1); });
    take([](auto& w) { scwire::gf_encodeAddToDataDefinition(w, 6, "TITLE", "", 11, 0, 2); });
    take([](auto& w) { scwire::gf_encodeRequestDataOnSimObject(w, 7, 5, 0, 4, 3, 0, 1, 5); });
    take([](auto& w) { scwire::gf_encodeRequestDataOnSimObject(w, 8, 6, 0, 1, 0, 0, 0, 0); });
    take([](auto& w) { scwire::gf_encodeRequestDataOnSimObjectType(w, 9, 5, 100000, 2); });
    take([&](auto& w) { scwire::gf_encodeSetDataOnSimObject(w, 5, 2, 0, 1, 40, pos); });
    take([&](auto& w) { scwire::gf_encodeSetDataOnSimObject(w, 5, 2, 1, 1, 16, pos); });
    take([](auto& w) { scwire::gf_encodeTransmitClientEvent(w, 2, 3, 1, 4, 0); });
    take([&](auto& w) { scwire::gf_encodeAICreateNonATCAircraft(w, "T", "N1", init, 104); });
    take([](auto& w) { scwire::gf_encodeAIReleaseControl(w, 2, 103); });
    take([](auto& w) { scwire::gf_encodeAISetAircraftFlightPlan(w, 2, "/nonexistent", 110); });
    take([](auto& w) { scwire::gf_encodeAIRemoveObject(w, 2, 105); });
    return out;
}

// A mutated packet whose size field still frames it (the core gets whole packets).
std::vector<std::uint8_t> mutate(std::mt19937& rng, std::vector<std::uint8_t> p) {
    switch (R(rng) % 5) {
        case 0:  // cut short
            p.resize(scwire::kClientHeaderSize +
                     R(rng) % (p.size() - scwire::kClientHeaderSize + 1));
            break;
        case 1: {  // grown with junk
            const auto junk = randomBytes(rng, R(rng) % 300);
            p.insert(p.end(), junk.begin(), junk.end());
            break;
        }
        case 2:  // bytes flipped, strings lose their NULs
            for (int i = 0, n = 1 + static_cast<int>(R(rng) % 16); i < n; ++i) {
                p[scwire::kClientHeaderSize + R(rng) % (p.size() - scwire::kClientHeaderSize)] =
                    static_cast<std::uint8_t>(R(rng));
            }
            break;
        case 3:  // another function number
            scwire::gf_writeU32(p.data() + 8, 0xF0000000u | (R(rng) % 0x80));
            break;
        default:  // random payload of random length
            p.resize(scwire::kClientHeaderSize);
            {
                const auto junk = randomBytes(rng, R(rng) % 600);
                p.insert(p.end(), junk.begin(), junk.end());
            }
            break;
    }
    scwire::gf_writeU32(p.data(), static_cast<std::uint32_t>(p.size()));
    return p;
}

class FramingOutbox : public simstandin::Outbox {
  public:
    void post(std::span<const std::uint8_t> bytes) override {
        framer.feed(bytes.data(), bytes.size());
        std::span<const std::uint8_t> p;
        while (framer.next(p) == scwire::Framer::Status::Packet) {
            last.assign(p.begin(), p.end());
        }
        bad = bad || framer.bad();
    }
    void closeAfterFlush() override {}
    void drop() override {}
    scwire::Framer framer{scwire::kServerHeaderSize};
    std::vector<std::uint8_t> last;
    bool bad = false;
};

TEST(Fuzz, TheStandInCoreSurvivesHostilePackets) {
    std::mt19937 rng(20240301);
    testkit::TempDir dir;
    simstandin::SimCore core(simstandin::Scenario{},
                             std::make_unique<simstandin::TraceWriter>(dir / "trace.jsonl"));
    auto out = std::make_shared<FramingOutbox>();
    const auto id = core.connect(out);
    scwire::PacketWriter open;
    scwire::gf_encodeOpen(open, "fuzz");
    open.endClient(1);
    core.handlePacket(id, open.buffer());
    const auto seeds = seedPackets();
    for (const auto& s : seeds) {
        core.handlePacket(id, s);
    }
    for (int i = 0; i < 15000; ++i) {
        const auto p = mutate(rng, seeds[R(rng) % seeds.size()]);
        core.handlePacket(id, p);
        if (i % 500 == 0) {
            core.frame();
        }
    }
    EXPECT_FALSE(out->bad);  // everything it said was well framed
    // Still alive and answering: the user's title on request.
    scwire::PacketWriter w;
    scwire::gf_encodeAddToDataDefinition(w, 900, "TITLE", "", SIMCONNECT_DATATYPE_STRING32, 0, 0);
    w.endClient(77);
    scwire::gf_encodeRequestDataOnSimObject(w, 901, 900, 0, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    w.endClient(78);
    const auto all = w.buffer();
    const std::uint32_t first = scwire::gf_readU32(all.data());
    core.handlePacket(id, std::span(all).first(first));
    core.handlePacket(id, std::span(all).subspan(first));
    ASSERT_GE(out->last.size(), kSimObjectDataOffset + 32);
    EXPECT_EQ(scwire::gf_readU32(out->last.data() + 8), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    EXPECT_EQ(scwire::gf_readU32(out->last.data() + 12), 901u);
    EXPECT_STREQ(reinterpret_cast<const char*>(out->last.data() + kSimObjectDataOffset),
                 "Default Aircraft");
}

TEST(Fuzz, TheStandInServerSurvivesRandomStreams) {
    sctest::StandIn sim;
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        platform::Socket s = platform::Socket::create(platform::SocketType::Tcp);
        ASSERT_TRUE(s.connect("127.0.0.1", sim.port()));
        scwire::PacketWriter open;
        scwire::gf_encodeOpen(open, "fuzz");
        open.endClient(1);
        std::vector<std::uint8_t> stream = open.buffer();
        const auto seeds = seedPackets();
        for (int i = 0; i < 50; ++i) {
            const auto p = round % 4 == 3 ? randomBytes(rng, R(rng) % 64)  // framing garbage too
                                          : mutate(rng, seeds[R(rng) % seeds.size()]);
            stream.insert(stream.end(), p.begin(), p.end());
        }
        s.send(stream.data(), stream.size());
        s.shutdown();
    }
    // A good client still gets served.
    Client c(sim.port());
    ASSERT_NE(c.waitFor(SIMCONNECT_RECV_ID_OPEN), nullptr);
}

}  // namespace
}  // namespace wnd
