// The airport scan's process-wide state: the task limit noted at start-up (the number of
// hardware threads) and the count of running file tasks. The object is never destroyed, so
// a task still running when the process ends finds it in place.
#pragma once

#include <atomic>
#include <chrono>

#include "util/mutex.h"

namespace wnd {

class AirportScanState {
  public:
    // 0 (the system does not say) counts as 2.
    void setTaskLimit(unsigned n) { limit_.store(n == 0 ? 2U : n); }
    unsigned taskLimit() const { return limit_.load(); }

    // Waits while the running tasks are at the limit, up to `timeout`, then counts one more;
    // false when no slot became free in time.
    bool acquireSlot(std::chrono::milliseconds timeout);
    void releaseSlot();
    int running() const;

    // Start-up: the count back to 0 (tasks of an earlier run have all ended).
    void reset();

  private:
    std::atomic<unsigned> limit_{2};
    mutable Mutex mu_;
    CondVar cv_;
    int running_ GUARDED_BY(mu_) = 0;
};

AirportScanState& gf_airportScanState();

}  // namespace wnd
