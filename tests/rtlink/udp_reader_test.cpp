// The readers on real sockets: set-up, the duplicate filter, empty and overlong
// datagrams, the stop flag and the error path.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "rt_test_util.h"
#include "rtlink/traffic_reader.h"
#include "rtlink/weather.h"
#include "testkit/log_capture.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using rttest::Line;
using testkit::LogCapture;
using testkit::waitUntil;

class UdpReaderTest : public ::testing::Test {
  protected:
    UdpReaderTest() {
        platform::socketStartup();
        gf_board().reset();
        gf_runControl().reset();
        queue.setMainCycleRuns(true);
        reader.setUserPosition({47.4647, 8.5492});
        sender = platform::Socket::create(platform::SocketType::Udp);
    }
    ~UdpReaderTest() override {
        reader.requestStop();
        reader.join();
        gf_board().reset();
        gf_runControl().reset();
    }

    void startReader(bool local) {
        reader.start(0, local);
        ASSERT_TRUE(waitUntil([&] { return reader.boundPort() != 0; }, 3s));
    }
    void send(const std::string& d) {
        sender.sendTo(d.data(), d.size(), "127.0.0.1", reader.boundPort());
    }
    // A marker line sent last and awaited by its own record (one still on its way when the
    // marker went must not pass for it): nothing sent before it is still on its way.
    void settle() {
        const int marker = ++markerId_;
        send(Line().set(1, std::to_string(marker)).str());
        bool seen = false;
        ASSERT_TRUE(waitUntil(
            [&] {
                while (const auto record = queue.takeFront()) {
                    seen = seen || record->id == static_cast<std::uint32_t>(marker);
                }
                return seen;
            },
            3s));
    }

    LogCapture log;
    TrafficQueue queue;
    TrafficReader reader{queue};
    platform::Socket sender;
    int markerId_ = 900000;
};

TEST_F(UdpReaderTest, CopiesFromAnotherComputerGiveOneRecord) {
    startReader(false);
    const std::string line = Line().str();
    send(line);
    send(line);
    ASSERT_TRUE(waitUntil([&] { return queue.size() >= 1; }, 3s));
    settle();
    EXPECT_EQ(reader.datagramCount(), 2u);  // the line and the marker
    send(line);                             // after another datagram the same line counts again
    settle();
    EXPECT_EQ(reader.datagramCount(), 4u);
}

TEST_F(UdpReaderTest, StopFlagRestartAndSameComputerDatagrams) {
    startReader(true);
    reader.requestStop();
    EXPECT_TRUE(waitUntil([&] { return !reader.running(); }, 2500ms));
    reader.join();
    // Stopped, then disconnected; the lamps and the stop line are checked in e2e_test.cpp.
    const std::string text = log.text();
    EXPECT_LT(text.find("Traffic Reader has stopped\n"),
              text.find("Traffic Reader disconnected\n"));
    EXPECT_FALSE(gf_runControl().stopRequested());

    // A restarted run starts it anew; on the same computer copies are not filtered.
    reader.clearStop();
    startReader(true);
    const std::string line = Line().str();
    send(line);
    send(line);
    ASSERT_TRUE(waitUntil([&] { return queue.size() >= 2; }, 3s));
    const auto counted = reader.datagramCount();
    send("");
    send(std::string(16384, 'x'));
    send(std::string(30000, 'y'));
    settle();
    EXPECT_EQ(reader.datagramCount(), counted + 1);  // only the marker
    // The largest datagram taken is 16383 bytes.
    send(line + std::string(16383 - line.size(), ','));
    settle();
    EXPECT_EQ(reader.datagramCount(), counted + 3);
}

TEST_F(UdpReaderTest, BindFailureStopsTheRunForARestart) {
    auto taken = platform::Socket::create(platform::SocketType::Udp);
    ASSERT_TRUE(taken.bind("127.0.0.1", 0));
    std::atomic<int> qnh{1013};
    QnhReader weather(reader, qnh);
    weather.start(taken.localPort(), true);
    ASSERT_TRUE(waitUntil([&] { return !weather.running(); }, 3s));
    weather.join();
    EXPECT_TRUE(gf_runControl().stopRequested());
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::ReaderError);
    EXPECT_EQ(gf_runControl().restartDelay(), 15);
    EXPECT_TRUE(
        log.contains("The QNH Reader has stopped with error: bind to stream socket "
                     "failed, error: 10048 Address already in use\n"));
    EXPECT_TRUE(log.contains("QNH Reader disconnected\n"));
    EXPECT_EQ(gf_board().weatherReader.load(), LinkState::Hidden);
}

TEST(UdpReaderLife, ARunningReaderIsStoppedBeforeItsOverridesAreGone) {
    // The thread ends by calling the reader's stop line: it must still reach the derived
    // reader while its destructor runs.
    platform::socketStartup();
    TrafficQueue queue;
    auto traffic = std::make_unique<TrafficReader>(queue);
    std::atomic<int> qnh{1013};
    auto weather = std::make_unique<QnhReader>(*traffic, qnh);
    traffic->start(0, true);
    weather->start(0, true);
    ASSERT_TRUE(
        waitUntil([&] { return traffic->boundPort() != 0 && weather->boundPort() != 0; }, 3s));
    weather.reset();
    traffic.reset();
    gf_board().reset();
    gf_runControl().reset();
}

}  // namespace
}  // namespace wnd
