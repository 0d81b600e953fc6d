#include "sim/pacing.h"

#include <algorithm>

namespace wnd {

bool PacingQueues::creationQueued(std::string_view callsign) const {
    auto same = [&](const CreateRequest& r) { return r.tailNumber == callsign; };
    return std::ranges::any_of(live_, same) || std::ranges::any_of(static_, same);
}

bool PacingQueues::cancelQueuedCreation(std::uint32_t aircraftId) {
    auto same = [&](const CreateRequest& r) { return r.aircraftId == aircraftId; };
    return std::erase_if(live_, same) + std::erase_if(static_, same) > 0;
}

PacingQueues::Due PacingQueues::step() {
    sinceCreation_ = std::min(sinceCreation_ + 1, kCreationCycles);
    sinceRemoval_ = std::min(sinceRemoval_ + 1, kRemovalCycles);
    Due due;
    std::deque<CreateRequest>* from = !live_.empty()     ? &live_
                                      : !static_.empty() ? &static_
                                                         : nullptr;
    if (from != nullptr && sinceCreation_ >= kCreationCycles) {
        due.creation = std::move(from->front());
        from->pop_front();
        sinceCreation_ = 0;
    }
    if (!removals_.empty() && sinceRemoval_ >= kRemovalCycles) {
        due.removal = removals_.front();
        removals_.pop_front();
        sinceRemoval_ = 0;
    }
    return due;
}

void PacingQueues::clear() {
    live_.clear();
    static_.clear();
    removals_.clear();
    sinceCreation_ = kCreationCycles;
    sinceRemoval_ = kRemovalCycles;
}

}  // namespace wnd
