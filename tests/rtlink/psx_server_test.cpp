// The PSX-protocol server's texts and the close button during the wait.
// The handshake, the messages on the wire, a lost client and an overlong answer are
// played against the stand-in in e2e_test.cpp.
#include "rtlink/psx_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "testkit/log_capture.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;

// e2e_test.cpp sees one Qs123 on the wire; here a leap year's last day and a time before 1970.
TEST(PsxMessages, Qs123IsMillisecondsSince1970) {
    EXPECT_EQ(gf_zuluMillis({2000, 366, 86399.5}), 978307199500);
    EXPECT_EQ(gf_zuluMillis({1900, 1, 0.0}), -2208988800000);
}

TEST(PsxMessages, VersionAnswerSetsTheEditionText) {
    testkit::LogCapture log;
    gf_board().reset();
    lf_processRTVersion(R"({"level":1,"version":"8.5"})");
    EXPECT_EQ(gf_board().editionText(), "RT stnd edition: 8.5");
    lf_processRTVersion("{\"level\":2");
    EXPECT_EQ(gf_board().editionText(), "");
    EXPECT_TRUE(log.contains("lf_processRTVersion: JSON parse failed: "));
    lf_processRTVersion(R"({"level":2.5,"version":"x"})");
    EXPECT_EQ(gf_board().editionText(), "");
    lf_processRTVersion("");
    EXPECT_EQ(gf_board().status(), "No RealTraffic version received?");
    gf_board().reset();
}

class PsxServerTest : public ::testing::Test {
  protected:
    PsxServerTest() {
        platform::socketStartup();
        gf_board().reset();
        gf_runControl().reset();
        server.start("0");
    }
    ~PsxServerTest() override {
        server.closeDown();
        gf_board().reset();
        gf_runControl().reset();
    }

    testkit::LogCapture log;
    PsxServer server{{}};
};

TEST_F(PsxServerTest, ClosingTheWindowEndsTheWaitForRealTraffic) {
    std::thread closer([] {
        std::this_thread::sleep_for(300ms);
        gf_runControl().setClose();
    });
    const auto start = std::chrono::steady_clock::now();
    server.waitForRealTraffic();
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(server.connected());
    EXPECT_EQ(gf_board().rtLink.load(), LinkState::Off);
    // Nor does a position send wait once the run has an exit reason.
    gf_runControl().reset();
    gf_runControl().requestStop(ExitReason::UserClosedSim, 0);
    RtUserAircraft user;
    user.latDeg = 47.4647;
    user.lonDeg = 8.5492;
    server.sendPosition(user);
    EXPECT_FALSE(server.connected());
}

}  // namespace
}  // namespace wnd
