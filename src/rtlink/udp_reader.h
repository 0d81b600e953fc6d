// The common part of the two UDP readers: the socket, the receive loop with its
// time-out, the duplicate filter, the datagram count and the stop flag. Each reader
// runs on a thread of its own and hands every datagram it keeps to onDatagram.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "board/status_board.h"
#include "util/log_throttle.h"

namespace wnd {

namespace platform {
class Socket;
}

class UdpReader {
  public:
    static constexpr std::size_t kBufferSize = 16384;

    // displayStates: the window's reader states this reader sets (1 bound, 3 stopped).
    UdpReader(std::string name, std::initializer_list<std::atomic<LinkState>*> displayStates);
    // The thread calls the derived class's overrides, so each derived class stops and
    // joins it in its own destructor (stopAndJoin), before its part is gone.
    virtual ~UdpReader();
    UdpReader(const UdpReader&) = delete;
    UdpReader& operator=(const UdpReader&) = delete;

    // Starts the reader's thread on `port` (0: any free port, see boundPort). It binds to
    // 127.0.0.1 when RealTraffic runs on this computer, else to every address. A thread
    // left from an earlier run is joined first; a reader that still runs is left alone.
    void start(std::uint16_t port, bool realTrafficLocal);
    // Set by closing down; the reader sees it within its 1000 ms receive time-out.
    void requestStop() { stop_.store(true); }
    void clearStop() { stop_.store(false); }
    bool stopFlag() const { return stop_.load(); }
    // Waits for the thread to end (the stop flag or an error must end it).
    void join();
    bool running() const { return running_.load(); }

    const std::string& name() const { return name_; }
    // Datagrams handed on so far (the liveness check compares it).
    std::uint32_t datagramCount() const { return count_.load(); }
    void resetDatagramCount() { count_.store(0); }
    // The port the socket is bound to; 0 while not bound.
    std::uint16_t boundPort() const { return boundPort_.load(); }

    // One received datagram: an empty one is ignored; with RealTraffic on another
    // computer a byte-for-byte copy of the previous one is dropped; every other one is
    // counted and goes to onDatagram. Called by the reader's thread (or, while it does
    // not run, by tests and benchmarks).
    void handOn(std::string_view datagram, bool realTrafficLocal);

  protected:
    void stopAndJoin() {
        requestStop();
        join();
    }
    virtual void onDatagram(std::string_view datagram) = 0;
    // Writes the reader's stop line.
    virtual void onStopped() = 0;

  private:
    void threadBody(std::uint16_t port, bool realTrafficLocal);
    void receiveLoop(platform::Socket& socket, bool realTrafficLocal);
    void setDisplayStates(LinkState state);

    const std::string name_;
    const std::vector<std::atomic<LinkState>*> displayStates_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<std::uint32_t> count_{0};
    std::atomic<std::uint16_t> boundPort_{0};
    // Owned by the thread that calls start and join (the traffic worker).
    std::thread thread_;
    // Used only by the reader's thread.
    std::vector<char> buffer_;
    LogThrottle overruns_{"buffer overrun"};
    std::string previous_;
};

}  // namespace wnd
