// The RealTraffic stand-in (wendle-rt, a separate process) against the link on free loopback
// ports: handshake, Qs121/Qs123, weather, a lost connection and an
// overlong version answer. The whole start of the traffic on the program's own ports,
// its closing down, and a scenario file replayed, are played through the real program by
// tests/e2e.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "rtlink/rt_link.h"
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
    return {0.01, -0.02, 1.5, kZurichElevation + 0.25, 12.5, kZurich.lat, kZurich.lon};
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
    // The stand-in on the link's free ports.
    std::unique_ptr<Process> startRt(std::vector<std::string> args) {
        const std::vector<std::string> ports = {
            "--psx-port",     std::to_string(link.server().port()),
            "--traffic-port", std::to_string(link.trafficReader().boundPort()),
            "--weather-port", std::to_string(link.qnhReader().boundPort())};
        args.insert(args.begin(), ports.begin(), ports.end());
        Process::Options o;
        o.cwd = dir.path();
        return std::make_unique<Process>(testkit::binary("wendle-rt"), args, o);
    }
    LogCapture log;
    testkit::TempDir dir;
    LinkHooks hooks;
    int removals = 0;
    RtLink link;
};

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

// What goes to RealTraffic: the version question answered (its edition shown), Qs123 with the
// simulator's time and Qs121 with the user aircraft, each in its units; nothing before the
// simulator has told a time or a position (a time below one second, a position at 0,0). The
// whole start of the traffic on the program's own ports is played by tests/e2e.
TEST_F(RtE2E, TimeAndPositionGoOutInTheirUnitsOnceTheSimulatorKnowsThem) {
    startLink();
    auto rt = startRt({"--flights", "1", "--rt-version", "9.1"});
    link.waitForRealTraffic();
    EXPECT_EQ(gf_board().editionText(), "RT prof edition: 9.1");
    link.sendTime({1970, 1, 0.5});
    RtUserAircraft atZero = lf_user();
    atZero.latDeg = 0.00005;
    atZero.lonDeg = -0.00005;
    link.sendPosition(atZero);
    link.sendTime();
    link.sendPosition();
    ASSERT_TRUE(waitUntil([&] { return testkit::count(rt->out(), "received Qs12") >= 2; }, 5s))
        << rt->out();
    const std::string out = rt->out();
    EXPECT_NE(out.find(R"(version question answered: {"level":2,"version":"9.1"})"),
              std::string::npos);
    // Pitch and bank in 1/100000 rad, altitude and speed times 1000, the position in
    // radians: six decimals are about 0.00006 degree.
    EXPECT_NE(out.find("received Qs121=1000;-2000;1.500000;1416250;12500;0.828416;0.149211 "
                       "(user at 47.4647"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("received Qs123=1709208000000\n"), std::string::npos);
    EXPECT_EQ(testkit::count(out, "received Qs12"), 2u);
}

}  // namespace
}  // namespace wnd
