#include "rtlink/traffic_queue.h"

#include "util/log.h"

namespace wnd {

void TrafficQueue::setMainCycleRuns(bool runs) {
    MutexLock lock(linkLock_);
    mainCycleRuns_ = runs;
}

bool TrafficQueue::mainCycleRuns() const {
    MutexLock lock(linkLock_);
    return mainCycleRuns_;
}

bool TrafficQueue::appendIfRunning(TrafficRecord&& record) {
    bool overflow = false;
    {
        MutexLock lock(linkLock_);
        if (!mainCycleRuns_) {
            return false;
        }
        if (queue_.size() < kMaxQueued) {
            queue_.push_back(std::move(record));
            if (queue_.size() < kMaxQueued / 2) {
                overflowLogged_ = false;  // drained well below the limit: warn again next time
            }
            return true;
        }
        overflow = !overflowLogged_;
        overflowLogged_ = true;
    }
    if (overflow) {
        gf_logWarning("traffic-record queue full ({} records), new traffic is discarded",
                      kMaxQueued);
    }
    return false;
}

std::optional<TrafficRecord> TrafficQueue::takeFront() {
    MutexLock lock(linkLock_);
    if (queue_.empty()) {
        return std::nullopt;
    }
    TrafficRecord r = std::move(queue_.front());
    queue_.pop_front();
    return r;
}

std::size_t TrafficQueue::takeUpTo(std::size_t max, std::vector<TrafficRecord>& out) {
    MutexLock lock(linkLock_);
    std::size_t n = 0;
    while (n < max && !queue_.empty()) {
        out.push_back(std::move(queue_.front()));
        queue_.pop_front();
        ++n;
    }
    return n;
}

std::size_t TrafficQueue::size() const {
    MutexLock lock(linkLock_);
    return queue_.size();
}

void TrafficQueue::clear() {
    MutexLock lock(linkLock_);
    queue_.clear();
    overflowLogged_ = false;
}

}  // namespace wnd
