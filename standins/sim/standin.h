// The simulated Prepar3D on a loopback port: SimCore behind a TCP listener, one thread per
// client connection and one frame clock. Used in-process by tests and as `wendle-sim`.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "standins/sim/scenario.h"
#include "standins/sim/sim_core.h"
#include "util/mutex.h"

namespace wnd::simstandin {

struct StandInOptions {
    std::optional<std::uint16_t> port;               // replaces the scenario's; 0: any free port
    std::optional<std::filesystem::path> traceFile;  // replaces the scenario's
    LogFn log;                                       // where its few lines go
};

class SimStandIn {
  public:
    // Throws std::runtime_error when the trace file cannot be created.
    SimStandIn(Scenario scenario, StandInOptions options = {});
    ~SimStandIn();
    SimStandIn(const SimStandIn&) = delete;
    SimStandIn& operator=(const SimStandIn&) = delete;

    // Starts the frame clock and, after the scenario's start delay, the listener. Without a
    // delay the port is bound before it returns (std::runtime_error when that fails).
    void start();
    // Ends every thread; the stand-in cannot be started again.
    void stop();
    // True once the scenario quit (its clients told and closed), stop() ran, or the listener
    // could not start; waits at most `timeout`.
    bool waitEnded(std::chrono::milliseconds timeout);
    // True once connections are accepted; waits at most `timeout`.
    bool waitListening(std::chrono::milliseconds timeout);
    std::uint16_t port() const;
    // Why the listener could not start; empty otherwise.
    std::string failure() const;
    SimCore& core() { return core_; }

    class Session;

  private:
    bool listen();
    void acceptLoop();
    void frameLoop();
    void reapSessions(bool all);
    void log(const std::string& text) const;

    // Set at construction, never changed.
    const LogFn log_;
    const std::uint16_t wantedPort_;
    const double startDelayS_;
    const double frameRate_;

    SimCore core_;

    mutable Mutex mu_;
    CondVar cv_;
    bool stopping_ GUARDED_BY(mu_) = false;
    bool started_ GUARDED_BY(mu_) = false;
    bool listening_ GUARDED_BY(mu_) = false;
    bool ended_ GUARDED_BY(mu_) = false;
    std::uint16_t port_ GUARDED_BY(mu_) = 0;
    std::string failure_ GUARDED_BY(mu_);
    std::vector<std::shared_ptr<Session>> sessions_ GUARDED_BY(mu_);
    platform::Socket listener_;  // start() binds it; then the accept thread's alone
    std::thread acceptThread_;
    std::thread frameThread_;
};

}  // namespace wnd::simstandin
