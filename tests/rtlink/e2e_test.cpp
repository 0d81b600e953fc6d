// The RealTraffic stand-in (wendle-rt, a separate process) against the link, over
// loopback: handshake, Qs121/Qs123, traffic and weather, hostile datagrams, a recorded
// scenario (made at build time by the stand-in's script), a lost connection, an overlong
// version answer, closing down, and the whole start of the traffic on the program's fixed
// ports. The log lines of the start the program shows are checked by tests/e2e.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "rtlink/rt_link.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using testkit::LogCapture;
using testkit::Process;
using testkit::waitUntil;
namespace fs = std::filesystem;

constexpr LatLon kZurich{47.464722, 8.549167};
constexpr double kZurichElevation = 1416.0;

RtUserAircraft lf_user() {
    RtUserAircraft u;
    u.pitchRad = 0.01;
    u.bankRad = -0.02;
    u.headingRad = 1.5;
    u.altitudeFt = kZurichElevation + 0.25;
    u.groundSpeedKt = 12.5;
    u.latDeg = kZurich.lat;
    u.lonDeg = kZurich.lon;
    return u;
}

std::size_t lf_count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) {
        ++n;
    }
    return n;
}

class RtE2E : public ::testing::Test {
  protected:
    RtE2E() {
        if (!fs::exists(testkit::binary("wendle-rt"))) {
            throw std::runtime_error("wendle-rt is not built");
        }
        platform::socketStartup();
        gf_board().reset();
        gf_runControl().reset();
        hooks.currentCycle = [] { return 100; };
        hooks.removeLiveTraffic = [this] { ++removals; };
        hooks.userAircraft = [] { return std::optional(lf_user()); };
        hooks.zuluTime = [] { return std::optional(ZuluTime{2024, 60, 43200.0}); };
    }
    ~RtE2E() override {
        gf_runControl().setStop();  // nothing may wait any more
        link.closeForClosingDown();
        gf_board().reset();
        gf_runControl().reset();
    }

    // The link on free ports, as the start of the traffic would leave it.
    void startLink() {
        link.setHooks(hooks);
        link.setRealTrafficLocal(true);
        link.server().start("0");
        link.startQnhReader(0);
        link.startTrafficReader(0);
        ASSERT_TRUE(waitUntil(
            [&] {
                return link.qnhReader().boundPort() != 0 && link.trafficReader().boundPort() != 0;
            },
            3s));
        link.trafficReader().setUserPosition(kZurich);
        link.trafficReader().setParkAirport(ParkAirportRef{kZurich, kZurichElevation});
        link.queue().setMainCycleRuns(true);
    }
    std::unique_ptr<Process> spawnRt(const std::vector<std::string>& args) {
        Process::Options o;
        o.cwd = dir.path();
        return std::make_unique<Process>(testkit::binary("wendle-rt"), args, o);
    }
    // The stand-in on the link's free ports.
    std::unique_ptr<Process> startRt(std::vector<std::string> args) {
        const std::vector<std::string> ports = {
            "--psx-port",     std::to_string(link.server().port()),
            "--traffic-port", std::to_string(link.trafficReader().boundPort()),
            "--weather-port", std::to_string(link.qnhReader().boundPort())};
        args.insert(args.begin(), ports.begin(), ports.end());
        return spawnRt(args);
    }
    // Drains the queue until pred holds for what came so far.
    template <typename Pred>
    bool collect(TrafficQueue& queue, Pred pred, std::chrono::milliseconds timeout) {
        return waitUntil(
            [&] {
                queue.takeUpTo(100000, records);
                return pred();
            },
            timeout, 50ms);
    }
    bool sawGroundAndAir() const {
        const auto air = [](const TrafficRecord& r) { return r.airborne; };
        return std::any_of(records.begin(), records.end(), air) &&
               !std::all_of(records.begin(), records.end(), air);
    }

    LogCapture log;
    testkit::TempDir dir;
    LinkHooks hooks;
    int removals = 0;
    RtLink link;
    std::vector<TrafficRecord> records;
};

TEST_F(RtE2E, HostileDatagramsAreLoggedAndTheReadersGoOn) {
    startLink();
    auto rt = startRt({"--no-psx", "--center", "47.464722,8.549167", "--flights", "6", "--spread",
                       "1", "--speed", "20", "--hostile", "--hostile-every", "1",
                       "--weather-interval", "0.05", "--elevation", "1416"});
    // Enough time for the whole catalogue of bad traffic and weather datagrams.
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::string t = log.text();
            return t.find("buffer overrun: 16384 bytes") != std::string::npos &&
                   t.find("QNH string parse error") != std::string::npos &&
                   lf_count(t, "exception in processLineSub") >= 20;
        },
        20s))
        << log.text();
    // A flood of bad lines is cut at 20 a minute; the rest are counted at the reader's stop.
    ASSERT_TRUE(waitUntil([&] { return link.trafficReader().datagramCount() > 100; }, 10s));
    EXPECT_EQ(lf_count(log.text(), "exception in processLineSub"), 20u);
    EXPECT_TRUE(link.trafficReader().running());
    EXPECT_TRUE(link.qnhReader().running());
    EXPECT_FALSE(gf_runControl().stopRequested());
    ASSERT_TRUE(collect(
        link.queue(), [&] { return records.size() > 5; }, 10s));
    EXPECT_GE(link.currentQnh(), 900);
    EXPECT_LE(link.currentQnh(), 1100);
    rt->terminate();
    EXPECT_EQ(rt->wait(5s), 0);
    EXPECT_NE(rt->out().find("of them malformed"), std::string::npos);
    link.closeForClosingDown();
    EXPECT_NE(log.text().find(" more \"exception in processLineSub\" lines suppressed"),
              std::string::npos);
}

TEST_F(RtE2E, RecordedZurichTrafficIsReplayedAgainstTheCurrentTime) {
    const fs::path scenario = fs::path(WENDLE_RT_SCENARIO_DIR) / "zurich_airport.jsonl";
    if (!fs::exists(scenario)) {
        GTEST_SKIP() << "no recorded traffic scenario at " << scenario
                     << " (../shared/data or python3 missing at build time)";
    }
    startLink();
    auto rt = startRt({"--scenario", scenario.string(), "--speed", "10"});
    link.waitForRealTraffic();
    link.sendPosition();
    const auto hasRegistration = [&](const std::string& reg) {
        return std::any_of(records.begin(), records.end(),
                           [&](const TrafficRecord& r) { return r.registration == reg; });
    };
    ASSERT_TRUE(collect(
        link.queue(), [&] { return hasRegistration("ZS-GAZ") && sawGroundAndAir(); }, 30s))
        << records.size() << "\n"
        << rt->out();
    const double now = static_cast<double>(std::time(nullptr));
    for (const auto& r : records) {
        EXPECT_NEAR(r.timestamp, now, 120.0);  // rebased to now
        if (r.registration == "ZS-GAZ") {
            EXPECT_EQ(r.model, "A320");
            EXPECT_EQ(r.callsign, "CAI3208");
            EXPECT_EQ(r.id, 0x0083C3u);
        }
    }
    rt->terminate();
    rt->wait(5s);
}

TEST_F(RtE2E, ALostConnectionIsWaitedForAndTakenBack) {
    startLink();
    // One weather datagram only: the QNH the lost connection resets stays reset.
    auto rt = startRt({"--flights", "3", "--drop-after", "1", "--reconnect-after", "0.5", "--qnh",
                       "1020", "--weather-interval", "100"});
    link.waitForRealTraffic();
    ASSERT_TRUE(link.server().connected());
    link.sendPosition();
    ASSERT_TRUE(waitUntil([&] { return link.currentQnh() == 1020; }, 5s));
    // RealTraffic's close is seen at the next send; the send after that waits for it.
    ASSERT_TRUE(waitUntil(
        [&] {
            link.sendPosition();
            return !link.server().connected();
        },
        15s, 100ms))
        << rt->out();
    EXPECT_EQ(removals, 1);
    EXPECT_EQ(gf_board().rtLink.load(), LinkState::Off);
    EXPECT_EQ(link.currentQnh(), 1013);
    EXPECT_EQ(gf_board().qnh.load(), 1013);
    EXPECT_TRUE(
        log.contains("sendDataPacket to RealTraffic failed: 10054 Connection reset by peer\n"))
        << log.text();
    EXPECT_TRUE(log.contains("RealTraffic client socket closed\n"));
    EXPECT_TRUE(log.contains(" RealTraffic gone? Wait for RealTraffic to re-connect ...\n"));

    link.sendPosition();
    EXPECT_TRUE(link.server().connected());
    EXPECT_TRUE(log.contains(" RealTraffic re-connected\n"));
    EXPECT_EQ(gf_board().rtLink.load(), LinkState::Good);
    link.sendPosition();
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::string out = rt->out();
            const auto second = out.find("connected to", out.find("dropping the connection"));
            return second != std::string::npos &&
                   out.find("received Qs121", second) != std::string::npos;
        },
        5s))
        << rt->out();
}

TEST_F(RtE2E, OverlongVersionAnswerIsRefused) {
    startLink();
    auto rt = startRt({"--version-answer", std::string(20000, ' ')});
    link.waitForRealTraffic();
    ASSERT_TRUE(link.server().connected()) << rt->out();
    // One receive takes the buffer's worth: an overrun, so no version.
    EXPECT_TRUE(log.contains("receive: buffer overrun: 16384\n")) << log.text();
    EXPECT_EQ(gf_board().editionText(), "");
}

// The program's own ports: the whole start of the traffic and closing down.
class RtFixedPorts : public RtE2E {
  protected:
    void SetUp() override {
        auto a = platform::Socket::create(platform::SocketType::Udp);
        auto b = platform::Socket::create(platform::SocketType::Udp);
        if (!a.bind("127.0.0.1", QnhReader::kDefaultPort) ||
            !b.bind("127.0.0.1", TrafficReader::kDefaultPort)) {
            GTEST_SKIP() << "UDP ports 49004/49005 are in use by another program";
        }
        l.reset();
        l.setHooks(hooks);
        l.setRealTrafficLocal(true);
    }
    ~RtFixedPorts() override {
        gs().PORT_NUMBER.set("10747");
        gs().AEROWINX.set(false);
        l.stopForClosingDown();
        l.closeForClosingDown();
        l.reset();
    }

    RtLink& l = gf_rtLink();
};

// The whole start of the traffic: handshake, Qs123 and Qs121, both readers, traffic and
// weather into the engine's queue, then closing down.
TEST_F(RtFixedPorts, StartOfTheTrafficAndClosingDown) {
    std::uint16_t port = 0;
    {
        auto s = platform::Socket::create(platform::SocketType::Tcp);
        s.bind("127.0.0.1", 0);
        port = s.localPort();
    }
    gs().PORT_NUMBER.set(std::to_string(port));
    l.trafficReader().setParkAirport(ParkAirportRef{kZurich, kZurichElevation});
    bool started = false;
    std::thread worker([&] { started = l.startTrafficLink(); });
    auto rt = spawnRt({"--psx-port", std::to_string(port), "--flights", "6", "--spread", "2",
                       "--speed", "20", "--elevation", "1416", "--qnh", "1020",
                       "--weather-interval", "0.3", "--rt-version", "9.1"});
    worker.join();
    ASSERT_TRUE(started) << log.text() << rt->out();
    EXPECT_TRUE(l.server().connectedThisRun());
    EXPECT_EQ(gf_board().rtLink.load(), LinkState::Good);
    EXPECT_EQ(gf_board().editionText(), "RT prof edition: 9.1");
    EXPECT_EQ(gf_board().status(), "");
    EXPECT_TRUE(log.contains("Waiting for RealTraffic to connect to Wendle_P3D ...\n"));
    EXPECT_FALSE(gf_board().trafficNotStarted.load());
    EXPECT_EQ(gf_board().trafficReader.load(), LinkState::Good);
    EXPECT_TRUE(waitUntil([] { return gf_board().weatherReader.load() == LinkState::Good; }, 3s));
    EXPECT_NE(l.trafficReader().lastTrafficTime(), 0.0);
    EXPECT_EQ(l.queue().size(), 0u);  // the main cycle does not run yet
    // Neither goes out: a time below one second, a position at 0,0.
    l.sendTime({1970, 1, 0.5});
    RtUserAircraft atZero = lf_user();
    atZero.latDeg = 0.00005;
    atZero.lonDeg = -0.00005;
    l.sendPosition(atZero);

    // The main cycle takes the traffic; the liveness check sees both readers receive.
    l.queue().setMainCycleRuns(true);
    ASSERT_TRUE(collect(
        l.queue(), [&] { return records.size() >= 20 && sawGroundAndAir(); }, 20s))
        << records.size() << "\n"
        << rt->out() << log.text();
    for (const auto& r : records) {
        EXPECT_EQ(r.dueCycle, 3100);  // the engine's cycle when it came, plus the delay
    }
    l.livenessCheck();
    EXPECT_TRUE(waitUntil([&] { return l.currentQnh() == 1020; }, 10s));
    EXPECT_EQ(gf_board().qnh.load(), 1020);

    l.stopForClosingDown();
    EXPECT_FALSE(l.queue().mainCycleRuns());
    std::this_thread::sleep_for(500ms);
    l.closeForClosingDown();
    EXPECT_FALSE(l.server().listening());
    EXPECT_FALSE(l.trafficReader().running());
    EXPECT_FALSE(l.qnhReader().running());
    EXPECT_EQ(gf_board().trafficReader.load(), LinkState::Hidden);
    EXPECT_EQ(gf_board().weatherReader.load(), LinkState::Hidden);
    EXPECT_TRUE(log.contains("Traffic Reader has stopped\n"));
    EXPECT_TRUE(log.contains("QNH Reader has stopped\n"));
    ASSERT_EQ(rt->wait(5s), 0);
    const std::string out = rt->out();
    EXPECT_NE(out.find(R"(version question answered: {"level":2,"version":"9.1"})"),
              std::string::npos);
    // Pitch and bank in 1/100000 rad, altitude and speed times 1000, the position in
    // radians: six decimals are about 0.00006 degree.
    EXPECT_NE(out.find("received Qs121=1000;-2000;1.500000;1416250;12500;0.828416;0.149211 "
                       "(user at 47.4647"),
              std::string::npos)
        << out;
    EXPECT_EQ(lf_count(out, "received Qs121="), 1u);
    EXPECT_NE(out.find("received Qs123=1709208000000\n"), std::string::npos);
    EXPECT_EQ(lf_count(out, "received Qs123="), 1u);
    EXPECT_NE(out.find("exit received"), std::string::npos);
}

TEST_F(RtFixedPorts, UdpOnlyModeWithAerowinx) {
    gs().AEROWINX.set(true);
    auto rt =
        spawnRt({"--no-psx", "--center", "47.464722,8.549167", "--flights", "3", "--speed", "20"});
    ASSERT_TRUE(l.startTrafficLink());
    EXPECT_FALSE(l.server().listening());
    EXPECT_EQ(gf_board().rtLink.load(), LinkState::Good);
    EXPECT_NE(l.trafficReader().lastTrafficTime(), 0.0);
    EXPECT_FALSE(log.contains("Waiting for RealTraffic"));
    rt->terminate();
    EXPECT_EQ(rt->wait(5s), 0);
}

}  // namespace
}  // namespace wnd
