// Sockets on loopback, with the error codes the callers test for: the same on Linux and in
// Wine, where Windows' own differences (time-outs, port sharing, datagram truncation,
// waking a blocked call) would otherwise show up only on the users' machines.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace wnd {
namespace {

using namespace std::chrono_literals;
using platform::Socket;
using platform::SocketType;

constexpr int kTimedOut = 10060;
constexpr int kAddressInUse = 10048;
constexpr int kRefused = 10061;

class Sockets : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(platform::socketStartup()); }
    void TearDown() override { platform::socketCleanup(); }

    // A listener on a free loopback port and a client connected to it.
    struct Pair {
        Socket listener, client, server;
    };
    static Pair connected() {
        Pair p;
        p.listener = Socket::create(SocketType::Tcp);
        EXPECT_TRUE(p.listener.setReuseAddress(true));
        EXPECT_TRUE(p.listener.bind("127.0.0.1", 0));
        EXPECT_TRUE(p.listener.listen());
        p.client = Socket::create(SocketType::Tcp);
        EXPECT_TRUE(p.client.connect("127.0.0.1", p.listener.localPort()));
        platform::Endpoint peer;
        p.server = p.listener.accept(&peer);
        EXPECT_TRUE(p.server.valid());
        EXPECT_EQ(peer.address, "127.0.0.1");
        return p;
    }
};

TEST_F(Sockets, TcpExchangeTimeoutsAndClose) {
    Pair p = connected();
    ASSERT_TRUE(p.server.valid());
    EXPECT_TRUE(p.client.setNoDelay(true));
    const std::string big(300000, 'x');  // more than one send fits in the buffers
    std::thread writer([&] { EXPECT_EQ(p.client.send(big.data(), big.size()), 300000); });
    std::string got;
    std::array<char, 4096> buf{};
    while (got.size() < big.size()) {
        const long n = p.server.receive(buf.data(), buf.size());
        ASSERT_GT(n, 0);
        got.append(buf.data(), static_cast<std::size_t>(n));
    }
    writer.join();
    EXPECT_EQ(got, big);

    EXPECT_TRUE(p.server.setReceiveTimeout(50ms));
    EXPECT_EQ(p.server.receive(buf.data(), buf.size()), -1);
    EXPECT_EQ(p.server.lastError(), kTimedOut);
    EXPECT_TRUE(p.server.setBlocking(false));
    EXPECT_FALSE(p.server.waitReadable(0ms));
    EXPECT_EQ(p.server.receive(buf.data(), buf.size()), -1);
    EXPECT_EQ(p.server.lastError(), kTimedOut);  // "nothing yet" reads as a time-out too

    p.client.close();
    EXPECT_TRUE(p.server.waitReadable(1000ms));
    EXPECT_EQ(p.server.receive(buf.data(), buf.size()), 0);  // orderly end
}

TEST_F(Sockets, ShutdownWakesABlockedReceive) {
    Pair p = connected();
    ASSERT_TRUE(p.server.valid());
    std::thread reader([&] {
        std::array<char, 16> buf{};
        EXPECT_LE(p.server.receive(buf.data(), buf.size()), 0);
    });
    std::this_thread::sleep_for(100ms);
    p.server.shutdown();
    reader.join();
}

TEST_F(Sockets, PortInUseAndRefusedConnection) {
    Socket a = Socket::create(SocketType::Tcp);
    ASSERT_TRUE(a.setReuseAddress(true));
    ASSERT_TRUE(a.bind("127.0.0.1", 0));
    ASSERT_TRUE(a.listen());
    const std::uint16_t port = a.localPort();
    // The flag must not let a second listener take the port (as it would on Windows).
    Socket b = Socket::create(SocketType::Tcp);
    ASSERT_TRUE(b.setReuseAddress(true));
    EXPECT_FALSE(b.bind("127.0.0.1", port));
    EXPECT_EQ(b.lastError(), kAddressInUse);

    a.close();
    Socket c = Socket::create(SocketType::Tcp);
    EXPECT_FALSE(c.connect("127.0.0.1", port));
    EXPECT_EQ(c.lastError(), kRefused);
    EXPECT_FALSE(c.bind("not an address", 0));
    EXPECT_EQ(platform::resolveIPv4("127.0.0.1"), std::optional<std::string>("127.0.0.1"));
}

// The bounded connect the simulator link makes: a refused connect is told apart from a slow
// one. (A peer that stops reading: LivenessE2E, through the real program.)
TEST_F(Sockets, BoundedConnectGivesUpInTime) {
    std::uint16_t unused = 0;
    {
        Socket gone = Socket::create(SocketType::Tcp);
        ASSERT_TRUE(gone.bind("127.0.0.1", 0));
        unused = gone.localPort();
    }
    Socket refused = Socket::create(SocketType::Tcp);
    // Windows itself retries a refused loopback connect for about two seconds.
    EXPECT_FALSE(refused.connect("127.0.0.1", unused, 5s));
    EXPECT_EQ(refused.lastError(), kRefused);

    Socket listener = Socket::create(SocketType::Tcp);
    ASSERT_TRUE(listener.bind("127.0.0.1", 0));
    ASSERT_TRUE(listener.listen());
    Socket client = Socket::create(SocketType::Tcp);
    ASSERT_TRUE(client.connect("127.0.0.1", listener.localPort(), 2s));
    Socket server = listener.accept();
    ASSERT_TRUE(server.valid());
    EXPECT_TRUE(client.waitWritable(0ms));
    // The socket is blocking again: a receive waits for the data instead of failing at once.
    std::thread late([&] { EXPECT_EQ(server.send("hi", 2), 2); });
    std::array<char, 4> buf{};
    EXPECT_EQ(client.receive(buf.data(), buf.size()), 2);
    late.join();
}

TEST_F(Sockets, DatagramsTruncateAndSurviveAnUnreachablePeer) {
    Socket rx = Socket::create(SocketType::Udp);
    ASSERT_TRUE(rx.bind("127.0.0.1", 0));
    ASSERT_TRUE(rx.setReceiveTimeout(500ms));
    ASSERT_TRUE(rx.setReceiveBuffer(1 << 16));
    // A datagram to a closed port: Windows would fail the next receive with a reset.
    Socket closed = Socket::create(SocketType::Udp);
    ASSERT_TRUE(closed.bind("127.0.0.1", 0));
    const std::uint16_t closedPort = closed.localPort();
    closed.close();
    EXPECT_EQ(rx.sendTo("x", 1, "127.0.0.1", closedPort), 1);

    Socket tx = Socket::create(SocketType::Udp);
    const std::string line = "AITFL,123,47.45,8.56,1500";
    EXPECT_EQ(tx.sendTo(line.data(), line.size(), "127.0.0.1", rx.localPort()),
              static_cast<long>(line.size()));
    std::array<char, 10> small{};
    platform::Endpoint from;
    EXPECT_EQ(rx.receiveFrom(small.data(), small.size(), &from), 10);  // the start of it
    EXPECT_EQ(std::string(small.data(), 10), line.substr(0, 10));
    EXPECT_EQ(from.address, "127.0.0.1");
    EXPECT_EQ(rx.receiveFrom(small.data(), small.size(), &from), -1);
    EXPECT_EQ(rx.lastError(), kTimedOut);
}

}  // namespace
}  // namespace wnd
