#include "scan/scan_state.h"

#include "util/no_destructor.h"

namespace wnd {

bool AirportScanState::acquireSlot(std::chrono::milliseconds timeout) {
    MutexLock lock(mu_);
    const unsigned limit = taskLimit();
    if (!cv_.waitFor(lock, timeout,
                     [&]() REQUIRES(mu_) { return static_cast<unsigned>(running_) < limit; })) {
        return false;
    }
    ++running_;
    return true;
}

void AirportScanState::releaseSlot() {
    {
        MutexLock lock(mu_);
        if (running_ > 0) {
            --running_;
        }
    }
    cv_.notifyAll();
}

int AirportScanState::running() const {
    MutexLock lock(mu_);
    return running_;
}

void AirportScanState::reset() {
    MutexLock lock(mu_);
    running_ = 0;
}

AirportScanState& gf_airportScanState() {
    static NoDestructor<AirportScanState> state;
    return *state;
}

}  // namespace wnd
