// The PSX-protocol server: message texts, the handshake, a lost and a returning client,
// closing down, and the close button during the wait. RealTraffic is played by a plain
// socket of the test on loopback.
#include "rtlink/psx_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/run_control.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "rt_test_util.h"
#include "ui/display.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using rttest::LogCapture;

RtUserAircraft userAtZurich() {
    RtUserAircraft u;
    u.pitchRad = 0.01;
    u.bankRad = -0.02;
    u.headingRad = 1.5;
    u.altitudeFt = 1416.25;
    u.groundSpeedKt = 12.5;
    u.latDeg = 47.4647;
    u.lonDeg = 8.5492;
    return u;
}

TEST(PsxMessages, Qs121CarriesTheUserAircraft) {
    EXPECT_EQ(gf_formatQs121(userAtZurich()),
              "Qs121=1000;-2000;1.500000;1416250;12500;0.828415;0.149212\r\n");
    RtUserAircraft u = userAtZurich();
    u.groundSpeedKt = 250.25;
    u.altitudeFt = 35000;
    EXPECT_EQ(gf_formatQs121(u), "Qs121=1000;-2000;1.500000;35000000;250250;0.828415;0.149212\r\n");
}

TEST(PsxMessages, Qs123IsMillisecondsSince1970) {
    EXPECT_EQ(gf_zuluMillis({1970, 1, 0.0}), 0);
    EXPECT_EQ(gf_zuluMillis({1970, 2, 1.5}), 86401500);
    // 29 February 2024 12:00:00 UTC is 1709208000 s.
    EXPECT_EQ(gf_zuluMillis({2024, 60, 43200.0}), 1709208000000);
    // 31 December 2000 (a leap year's day 366) 23:59:59 is 978307199 s.
    EXPECT_EQ(gf_zuluMillis({2000, 366, 86399.0}), 978307199000);
    EXPECT_EQ(gf_zuluMillis({1900, 1, 0.0}), -2208988800000);
}

TEST(PsxMessages, VersionAnswerSetsTheEditionText) {
    LogCapture log;
    gf_display().reset();
    lf_processRTVersion(R"({"level":2,"version":"9.0.1"})"
                        "\r\n");
    EXPECT_EQ(gf_display().editionText(), "RT prof edition: 9.0.1");
    lf_processRTVersion(R"({"level":1,"version":"8.5"})");
    EXPECT_EQ(gf_display().editionText(), "RT stnd edition: 8.5");
    lf_processRTVersion("{\"level\":2");
    EXPECT_EQ(gf_display().editionText(), "");
    EXPECT_TRUE(log.contains("lf_processRTVersion: JSON parse failed: "));
    lf_processRTVersion(R"({"level":2.5,"version":"x"})");
    EXPECT_EQ(gf_display().editionText(), "");
    lf_processRTVersion("");
    EXPECT_EQ(gf_display().status(), "No RealTraffic version received?");
    gf_display().reset();
}

// RealTraffic as the test plays it.
class Client {
  public:
    explicit Client(std::uint16_t port) {
        sock_ = platform::Socket::create(platform::SocketType::Tcp);
        connected_ = sock_.connect("127.0.0.1", port);
    }
    bool connected() const { return connected_; }
    // Everything that arrives within the time.
    std::string read(std::chrono::milliseconds wait = 2000ms) {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < end) {
            if (!sock_.waitReadable(50ms)) {
                if (!out.empty()) {
                    break;
                }
                continue;
            }
            char buf[1024];
            const long n = sock_.receive(buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }
    void send(const std::string& s) { sock_.send(s.data(), s.size()); }
    void close() { sock_.close(); }

  private:
    platform::Socket sock_;
    bool connected_ = false;
};

class PsxServerTest : public ::testing::Test {
  protected:
    PsxServerTest() {
        platform::socketStartup();
        gf_display().reset();
        gf_runControl().reset();
        server.start("0");
    }
    ~PsxServerTest() override {
        server.closeDown();
        gf_display().reset();
        gf_runControl().reset();
    }

    // Connects a client that answers the version question, and runs the handshake.
    std::unique_ptr<Client> handshake(const std::string& answer) {
        std::unique_ptr<Client> c;
        std::string question;
        std::thread rt([&] {
            c = std::make_unique<Client>(server.port());
            question = c->read();
            c->send(answer);
        });
        server.waitForRealTraffic();
        rt.join();
        EXPECT_EQ(question, "Qs999=version\r\n");
        return c;
    }

    LogCapture log;
    int resets = 0;
    int removals = 0;
    PsxServer server{{[this] { ++resets; }, [this] { ++removals; }}};
};

TEST_F(PsxServerTest, StartErrorsNameTheFailingStep) {
    PsxServer other({});
    try {
        other.start("not-a-port");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "getaddrinfo failed with error 10109");
    }
    const std::string port = std::to_string(server.port());
    try {
        other.start(port);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Bind failed at port " + port + " with error 10048 Address already in use");
    }
    EXPECT_FALSE(other.listening());
}

TEST_F(PsxServerTest, HandshakeAndMessages) {
    auto rt = handshake(R"({"level":2,"version":"9.0.1"})"
                        "\r\n");
    EXPECT_TRUE(server.connected());
    EXPECT_TRUE(server.connectedThisRun());
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(gf_display().rtLink.load(), 1);
    EXPECT_EQ(gf_display().editionText(), "RT prof edition: 9.0.1");
    EXPECT_EQ(gf_display().status(), "");
    EXPECT_TRUE(log.contains("Waiting for RealTraffic to connect to Wendle_P3D ...\n"));
    EXPECT_TRUE(log.contains("RealTraffic connected\n"));

    server.sendPosition(userAtZurich());
    server.sendTime({1970, 1, 0.5});  // below one second: not sent
    server.sendTime({2024, 60, 43200.0});
    RtUserAircraft atZero = userAtZurich();
    atZero.latDeg = 0.00005;
    atZero.lonDeg = -0.00005;
    server.sendPosition(atZero);  // no position yet: nothing
    EXPECT_EQ(rt->read(),
              "Qs121=1000;-2000;1.500000;1416250;12500;0.828415;0.149212\r\n"
              "Qs123=1709208000000\r\n");

    server.closeDown();
    EXPECT_EQ(rt->read(), "exit\r\n");
    EXPECT_FALSE(server.connected());
    EXPECT_FALSE(server.listening());
}

TEST_F(PsxServerTest, LostClientIsNoticedAtTheNextSendAndWaitedFor) {
    auto rt = handshake(R"({"level":1,"version":"8"})");
    rt->close();
    std::this_thread::sleep_for(100ms);
    const int resetsBefore = resets;
    server.sendPosition(userAtZurich());
    EXPECT_FALSE(server.connected());
    EXPECT_EQ(removals, 1);
    EXPECT_EQ(resets, resetsBefore + 1);
    EXPECT_EQ(gf_display().rtLink.load(), 0);
    EXPECT_TRUE(
        log.contains("sendDataPacket to RealTraffic failed: 10054 Connection reset by peer"));
    EXPECT_TRUE(log.contains("RealTraffic client socket closed\n"));
    EXPECT_NE(
        gf_display().status().find(" RealTraffic gone? Wait for RealTraffic to re-connect ..."),
        std::string::npos);

    // The next send waits for RealTraffic and takes it back; the one after sends again.
    std::unique_ptr<Client> again;
    std::thread later([&] {
        std::this_thread::sleep_for(300ms);
        again = std::make_unique<Client>(server.port());
    });
    server.sendPosition(userAtZurich());
    later.join();
    EXPECT_TRUE(server.connected());
    EXPECT_EQ(gf_display().rtLink.load(), 1);
    EXPECT_TRUE(log.contains(" RealTraffic re-connected\n"));
    server.sendPosition(userAtZurich());
    EXPECT_EQ(again->read(), "Qs121=1000;-2000;1.500000;1416250;12500;0.828415;0.149212\r\n");
}

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
    EXPECT_EQ(gf_display().rtLink.load(), 0);
    // Nor does a position send wait once the run has an exit reason.
    gf_runControl().reset();
    gf_runControl().requestStop(ExitReason::UserClosedSim, 0);
    server.sendPosition(userAtZurich());
    EXPECT_FALSE(server.connected());
}

TEST_F(PsxServerTest, OverlongAnswerIsRefused) {
    std::string answer(20000, ' ');
    auto rt = handshake(answer);
    // The first read takes the buffer's worth: an overrun, so no version.
    EXPECT_TRUE(log.contains("receive: buffer overrun: 16384\n"));
    EXPECT_EQ(gf_display().editionText(), "");
}

}  // namespace
}  // namespace wnd
