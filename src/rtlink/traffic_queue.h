// The traffic-record queue and the main-cycle-runs flag, both under the RealTraffic
// link lock: the Traffic Reader appends at the back, the live engine takes from the
// front, and the traffic worker and closing down switch the flag.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

#include "rtlink/traffic_record.h"
#include "util/mutex.h"

namespace wnd {

class TrafficQueue {
  public:
    // Records beyond this many waiting ones are discarded, so a flood of datagrams that
    // the engine cannot drain never eats the memory.
    static constexpr std::size_t kMaxQueued = 65536;

    void setMainCycleRuns(bool runs);
    bool mainCycleRuns() const;

    // Appends when the main cycle runs; false when the record was discarded.
    bool appendIfRunning(TrafficRecord&& record);
    std::optional<TrafficRecord> takeFront();
    // Moves at most `max` records from the front into `out`; returns how many.
    std::size_t takeUpTo(std::size_t max, std::vector<TrafficRecord>& out);
    std::size_t size() const;
    void clear();

  private:
    mutable Mutex linkLock_;
    bool mainCycleRuns_ GUARDED_BY(linkLock_) = false;
    bool overflowLogged_ GUARDED_BY(linkLock_) = false;
    std::deque<TrafficRecord> queue_ GUARDED_BY(linkLock_);
};

}  // namespace wnd
