// The engine's pacing queues: creations and removals wait here for their turn, so that at
// most two creations and ten removals a second reach the simulator. Traffic worker only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>

#include "sim/sim_types.h"

namespace wnd {

class PacingQueues {
  public:
    static constexpr int kCreationCycles = 50;  // engine cycles from one creation to the next
    static constexpr int kRemovalCycles = 10;   // engine cycles from one removal to the next

    void queueLiveCreation(CreateRequest request) { live_.push_back(std::move(request)); }
    void queueStaticCreation(CreateRequest request) { static_.push_back(std::move(request)); }
    void queueRemoval(std::uint32_t objectId) { removals_.push_back(objectId); }
    std::size_t liveCreationCount() const { return live_.size(); }
    std::size_t staticCreationCount() const { return static_.size(); }
    std::size_t removalCount() const { return removals_.size(); }
    // True while a creation with this callsign waits here.
    bool creationQueued(std::string_view callsign) const;
    // Takes the waiting creations of this aircraft out; false when none waits (it has gone on
    // to the simulator side already).
    bool cancelQueuedCreation(std::uint32_t aircraftId);

    // What one engine cycle lets through: a creation (live ones first) and a removal, each
    // when its pause since the last one has passed.
    struct Due {
        std::optional<CreateRequest> creation;
        std::optional<std::uint32_t> removal;
    };
    Due step();

    // Empty, and the first creation and removal go at the next step.
    void clear();

  private:
    std::deque<CreateRequest> live_;
    std::deque<CreateRequest> static_;
    std::deque<std::uint32_t> removals_;
    int sinceCreation_ = kCreationCycles;
    int sinceRemoval_ = kRemovalCycles;
};

}  // namespace wnd
