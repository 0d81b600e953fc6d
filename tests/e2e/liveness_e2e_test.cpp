// The real `wendle` against simulators that stall: one that answers the open, runs a flight
// and then stops reading while traffic flows, and one whose connection is never taken. Either
// way SIGTERM ends the program within 5 s, with exit 0.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/socket.h"
#include "sim/sim_types.h"
#include "simconnect/wire.h"
#include "standin_run.h"

using namespace std::chrono_literals;

namespace wnd {
namespace {

using e2e::WendleRun;
using platform::Socket;

// A simulator of the test's own on a loopback port. It answers the open, reports a running
// flight (the user aircraft on the ground at Zurich, its title and model, every 100 ms without
// being asked, so it need not read the requests) and reads what comes until it is told to
// stop reading.
class StallingSimulator {
  public:
    StallingSimulator() {
        listener_ = Socket::create(platform::SocketType::Tcp);
        listener_.setReceiveBuffer(4096);  // inherited by the connection: it fills soon
        EXPECT_TRUE(listener_.bind("127.0.0.1", 0));
        EXPECT_TRUE(listener_.listen());
        thread_ = std::thread([this] { run(); });
    }
    ~StallingSimulator() {
        done_ = true;
        thread_.join();
    }
    std::uint16_t port() const { return listener_.localPort(); }
    void stopReading() { reading_ = false; }
    bool flightReported() const { return reported_.load(); }

  private:
    void run() {
        while (!done_ && !listener_.waitReadable(50ms)) {
        }
        if (done_) {
            return;
        }
        conn_ = listener_.accept();
        if (!conn_.waitReadable(5s)) {
            return;  // no open came; what comes is read below
        }
        scwire::PacketWriter w;
        scwire::gf_encodeRecvOpen(
            w, {"Lockheed Martin Prepar3D v5", {5, 4, 9, 28482}, {5, 4, 9, 28482}}, 4);
        scwire::gf_encodeRecvEvent(w, SIMCONNECT_UNUSED, simid::kEvSim, 1, 4);  // running
        if (!send(w.buffer())) {
            return;
        }
        scwire::PacketWriter flight;
        auto report = [&](DWORD requestId, auto&& data) {
            scwire::gf_beginRecvObjectData(flight,
                                           {SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, 1}, 4);
            data();
            flight.endServer();
        };
        report(simid::kReqUserPosition, [&] {
            for (double v : {47.45115, 8.5584, 0.0, 0.0, 4.36, 1416.0, 0.0, 0.0}) {
                flight.f64(v);
            }
            for (std::uint64_t v : {37785U, 61U, 2024U, 0U}) {  // the clock
                flight.u64(v);
            }
        });
        report(simid::kReqOnGround, [&] { flight.u64(1); });
        report(simid::kReqTitle, [&] { flight.fixedString("Test A320", 32); });
        report(simid::kReqModel, [&] { flight.fixedString("A320", 32); });
        std::vector<std::uint8_t> sink(64 * 1024);
        while (!done_) {
            while (reading_ && conn_.waitReadable(0ms) &&
                   conn_.receive(sink.data(), sink.size()) > 0) {
            }
            if (!send(flight.buffer())) {
                return;  // the program has gone
            }
            reported_ = true;
            std::this_thread::sleep_for(100ms);
        }
    }
    bool send(const std::vector<std::uint8_t>& bytes) {
        return conn_.send(bytes.data(), bytes.size(), 1s) >= 0;
    }

    Socket listener_;
    Socket conn_;
    std::atomic<bool> reading_{true};
    std::atomic<bool> reported_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST(LivenessE2E, ASimulatorThatStopsReadingWhileTrafficFlowsNeverHoldsUpTheClose) {
    StallingSimulator sim;
    WendleRun run(sim.port(), true);
    ASSERT_TRUE(run.logShows(e2e::simConnectedText())) << run.log();
    run.startRealTraffic({"--flights", "6"});
    ASSERT_TRUE(run.logShows("Traffic Reader connected")) << run.log();
    sim.stopReading();
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(sim.flightReported());
    EXPECT_EQ(run.terminateWithin5s(), 0) << run.log();
    EXPECT_NE(run.log().find("Exiting: USER CLOSED SIM"), std::string::npos);
}

// The listener's backlog is full and it never accepts: the program's connect gets no answer.
TEST(LivenessE2E, ASimulatorThatNeverTakesTheConnectionNeverHoldsUpTheClose) {
    Socket listener = Socket::create(platform::SocketType::Tcp);
    ASSERT_TRUE(listener.bind("127.0.0.1", 0));
    ASSERT_TRUE(listener.listen(0));
    Socket filler = Socket::create(platform::SocketType::Tcp);
    ASSERT_TRUE(filler.connect("127.0.0.1", listener.localPort(), 2s));
    WendleRun run(listener.localPort(), true);
    ASSERT_TRUE(run.logShows("Waiting for Prepar3Dv5 ...")) << run.log();
    std::this_thread::sleep_for(1500ms);  // inside a connect by now
    EXPECT_EQ(run.terminateWithin5s(), 0) << run.log();
    EXPECT_NE(run.log().find("Exiting: USER CLOSED SIM"), std::string::npos);
}

}  // namespace
}  // namespace wnd
