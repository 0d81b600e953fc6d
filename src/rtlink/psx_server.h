// The PSX-protocol server RealTraffic connects to: it accepts RealTraffic as its one
// client, asks for its version and tells it the user position (Qs121) and the
// simulator's time (Qs123). Every call runs on the traffic worker thread, so the sockets
// need no lock; only the connected flag is read from other threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "rtlink/link_hooks.h"

namespace wnd {

// "Qs121={pitch};{bank};{heading};{altitude};{speed};{lat};{lon}\r\n".
std::string gf_formatQs121(const RtUserAircraft& user);
// Milliseconds since 1970-01-01 00:00 UTC of a simulator date and time.
std::int64_t gf_zuluMillis(const ZuluTime& zulu);
// Reads RealTraffic's version answer into the edition text of the display.
void lf_processRTVersion(std::string_view answer);

class PsxServer {
  public:
    static constexpr std::size_t kReceiveLimit = 16384;

    struct Callbacks {
        // The handshake's reset and the lost-client path: the readers' shared state back to
        // its start values.
        std::function<void()> resetReaderState;
        // The lost-client path: live traffic out of the simulator.
        std::function<void()> removeLiveTraffic;
    };

    explicit PsxServer(Callbacks callbacks);
    ~PsxServer();
    PsxServer(const PsxServer&) = delete;
    PsxServer& operator=(const PsxServer&) = delete;

    // Listens on every IPv4 interface at the port; "0" picks a free port (tests).
    // Raises std::runtime_error with the failing step's text; nothing stays open then.
    void start(const std::string& portText);
    bool listening() const { return listen_.valid(); }
    std::uint16_t port() const { return listen_.valid() ? listen_.localPort() : 0; }

    // Accepts RealTraffic when not connected. Blocks until it connects, or until a stop
    // or close is requested (then false), so closing the window ends the wait.
    bool waitForClient();
    // The start-of-run handshake: status, reader reset, accept, version question.
    void waitForRealTraffic();
    bool connected() const { return connected_.load(); }
    // RealTraffic connected at least once in this run (cleared by the run reset).
    bool connectedThisRun() const { return connectedThisRun_.load(); }
    void clearConnectedThisRun() { connectedThisRun_.store(false); }

    // Qs121 with the user aircraft; waits for RealTraffic again when it was lost.
    void sendPosition(const RtUserAircraft& user);
    // Qs123 when connected and the time is at least 1 s.
    void sendTime(const ZuluTime& zulu);
    // The whole text in one send; false (and the client closed) when it failed.
    bool sendText(std::string_view text);
    // One read of at most 16383 bytes; empty on error, on nothing read or on overrun.
    std::string receiveText();

    // Closing down: "exit" when connected, both sockets closed, the library ended.
    void closeDown();

  private:
    // A failed send: link state 0, live traffic removed, readers reset, wait again.
    void lostClient();
    void closeClient();

    Callbacks callbacks_;
    platform::Socket listen_;
    platform::Socket client_;
    bool libraryStarted_ = false;
    std::atomic<bool> connected_{false};
    std::atomic<bool> connectedThisRun_{false};
};

}  // namespace wnd
