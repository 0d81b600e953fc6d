// The four outgoing queues under the command lock. The traffic worker fills them (and the
// by-type handler adds the freeze events of a new object); the frame handler takes them whole
// with a try-lock, so the simulator's frame never waits for the engine, and sends them after
// letting go of the lock, so a slow simulator never holds the engine up either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "sim/sim_types.h"
#include "util/mutex.h"

namespace wnd {

struct CommandBatch {
    std::vector<PositionCommand> positions;
    std::vector<ClientEventCommand> events;
    std::vector<CreateRequest> creations;
    std::vector<std::uint32_t> removals;

    bool empty() const {
        return positions.empty() && events.empty() && creations.empty() && removals.empty();
    }
    // Emptied; the capacity stays.
    void clear();
    void reserve(std::size_t n);
    void swap(CommandBatch& other) noexcept;
};

class CommandQueues {
  public:
    // Worker start: every queue emptied, each with room for 256 entries.
    void prepare();

    // The command lock, held by the caller: a frame then sends nothing and loses nothing.
    UniqueMutexLock lock() { return UniqueMutexLock(mu_); }

    void addEvents(std::initializer_list<ClientEventCommand> events);
    void addCreation(CreateRequest request);
    void addRemoval(std::uint32_t objectId);

    // The positions of one engine cycle (traffic worker only), then one swap per cycle: with
    // the lock free they become what the next frame sends, replacing what it has not sent
    // yet; with it busy they are dropped (the next cycle writes newer ones). Returns whether
    // the swap happened.
    void addPosition(const PositionCommand& command) { fill_.push_back(command); }
    bool swapPositionBuffers();

    // The frame handler: everything queued moves into `out`, which must be empty, unless the
    // lock is busy (false then, nothing moved).
    bool tryTake(CommandBatch& out);

    // A copy of what waits (tests).
    CommandBatch queued() const;

  private:
    mutable Mutex mu_;
    CommandBatch queued_ GUARDED_BY(mu_);
    std::vector<PositionCommand> fill_;  // traffic worker only
};

}  // namespace wnd
