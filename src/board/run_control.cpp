#include "board/run_control.h"

#include <array>

#include "util/no_destructor.h"

namespace wnd {

std::string_view gf_exitReasonText(ExitReason r) {
    static constexpr std::array<std::string_view, 9> kTexts = {
        "NOT YET SET",      "SIM WAS CLOSED", "NEW FLIGHT",   "NEW SETTINGS", "USER CLOSED SIM",
        "SIMCONNECT ERROR", "READER ERROR",   "SYSTEM ERROR", "NEW VERSION"};
    const auto i = static_cast<std::size_t>(r);
    return i < kTexts.size() ? kTexts[i] : "UNKNOWN";
}

bool gf_exitReasonRestarts(ExitReason r) {
    return r == ExitReason::NewSettings || r == ExitReason::SimConnectError ||
           r == ExitReason::ReaderError;
}

bool RunControl::requestStop(ExitReason reason, int restartDelaySeconds) {
    if (stop_.exchange(true)) {
        return false;
    }
    reason_.store(reason);
    restartDelay_.store(restartDelaySeconds);
    return true;
}

bool RunControl::replaceSystemError(ExitReason reason, int restartDelaySeconds) {
    ExitReason expected = ExitReason::SystemError;
    if (userClosed_.load() || !reason_.compare_exchange_strong(expected, reason)) {
        return false;
    }
    restartDelay_.store(restartDelaySeconds);
    return true;
}

void RunControl::requestStopAndClose() {
    close_.store(true);
    stop_.store(true);
    noteStopSeen();
}

void RunControl::noteStopSeen() {
    if (ending()) {
        ExitReason expected = ExitReason::NotYetSet;
        reason_.compare_exchange_strong(expected, ExitReason::UserClosedSim);
    }
}

void RunControl::reset() {
    stop_.store(false);
    close_.store(false);
    userClosed_.store(false);
    reason_.store(ExitReason::NotYetSet);
    restartDelay_.store(0);
    tick_.store(false);
    seconds_.store(0);
}

RunControl& gf_runControl() {
    static NoDestructor<RunControl> rc;
    return *rc;
}

}  // namespace wnd
