// Why a run ends, and the process-wide requests every thread checks.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

namespace wnd {

enum class ExitReason : std::int32_t {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedSim = 4,
    SimConnectError = 5,
    ReaderError = 6,
    SystemError = 7,
    NewVersion = 8,
};

// "NOT YET SET", "SIM WAS CLOSED", ...
std::string_view gf_exitReasonText(ExitReason r);
// NEW SETTINGS, SIMCONNECT ERROR and READER ERROR start a new run in the same process.
bool gf_exitReasonRestarts(ExitReason r);

class RunControl {
  public:
    // First stop wins: only the requester that flips the stop request writes the reason
    // and the delay. Returns true when this call was the first.
    bool requestStop(ExitReason reason, int restartDelaySeconds);
    // A run that ended with SYSTEM ERROR waits for the user; an install path typed in answer
    // to the error turns that end into a restart. False when the run did not end that way.
    bool replaceSystemError(ExitReason reason, int restartDelaySeconds);
    // A stop or close without a reason of its own: USER CLOSED SIM if none was set yet.
    void requestStopAndClose();
    // The user closed the window (or the system asked the process to end): as above, and
    // no restart follows, whatever the exit reason.
    void requestUserClose() {
        userClosed_.store(true);
        requestStopAndClose();
    }
    bool userClosed() const { return userClosed_.load(); }
    // Sets USER CLOSED SIM when a stop or close is seen and no reason is set yet.
    void noteStopSeen();

    bool stopRequested() const { return stop_.load(); }
    bool closeRequested() const { return close_.load(); }
    // Either request: the run is ending.
    bool ending() const { return stop_.load() || close_.load(); }
    void setClose() { close_.store(true); }
    void setStop() { stop_.store(true); }

    ExitReason exitReason() const { return reason_.load(); }
    void setExitReason(ExitReason r) { reason_.store(r); }
    int restartDelay() const { return restartDelay_.load(); }

    bool restartFlag() const { return restart_.load(); }
    void setRestartFlag(bool v) { restart_.store(v); }
    bool production() const { return production_.load(); }
    void setProduction(bool v) { production_.store(v); }
    int exitCode() const { return exitCode_.load(); }
    void setExitCode(int c) { exitCode_.store(c); }

    // Set by the simulator link once a simulator second, consumed by the traffic worker.
    void setOneSecondTick() { tick_.store(true); }
    bool takeOneSecondTick() { return tick_.exchange(false); }
    bool oneSecondTick() const { return tick_.load(); }

    int seconds() const { return seconds_.load(); }
    void setSeconds(int s) { seconds_.store(s); }

    // Back to the initial state of a run (the restart and production flags stay).
    void reset();

  private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> close_{false};
    std::atomic<bool> userClosed_{false};
    std::atomic<ExitReason> reason_{ExitReason::NotYetSet};
    std::atomic<int> restartDelay_{0};
    std::atomic<bool> restart_{false};
    std::atomic<bool> production_{false};
    std::atomic<int> exitCode_{0};
    std::atomic<bool> tick_{false};
    std::atomic<int> seconds_{0};
};

RunControl& gf_runControl();

}  // namespace wnd
