#include "sim/command_queues.h"

#include <utility>

namespace wnd {

namespace {
constexpr std::size_t kReserved = 256;
}  // namespace

void CommandBatch::clear() {
    positions.clear();
    events.clear();
    creations.clear();
    removals.clear();
}

void CommandBatch::reserve(std::size_t n) {
    positions.reserve(n);
    events.reserve(n);
    creations.reserve(n);
    removals.reserve(n);
}

void CommandBatch::swap(CommandBatch& other) noexcept {
    positions.swap(other.positions);
    events.swap(other.events);
    creations.swap(other.creations);
    removals.swap(other.removals);
}

void CommandQueues::prepare() {
    {
        MutexLock lock(mu_);
        queued_.clear();
        queued_.reserve(kReserved);
    }
    fill_.clear();
    fill_.reserve(kReserved);
}

void CommandQueues::addEvents(std::initializer_list<ClientEventCommand> events) {
    MutexLock lock(mu_);
    queued_.events.insert(queued_.events.end(), events);
}

void CommandQueues::addCreation(CreateRequest request) {
    MutexLock lock(mu_);
    queued_.creations.push_back(std::move(request));
}

void CommandQueues::addRemoval(std::uint32_t objectId) {
    MutexLock lock(mu_);
    queued_.removals.push_back(objectId);
}

bool CommandQueues::swapPositionBuffers() {
    const bool locked = mu_.try_lock();
    if (locked) {
        MutexLock lock(mu_, std::adopt_lock);
        queued_.positions.swap(fill_);
    }
    fill_.clear();
    return locked;
}

bool CommandQueues::tryTake(CommandBatch& out) {
    if (!mu_.try_lock()) {
        return false;
    }
    MutexLock lock(mu_, std::adopt_lock);
    queued_.swap(out);  // the empty buffers come back with their capacity
    return true;
}

CommandBatch CommandQueues::queued() const {
    MutexLock lock(mu_);
    return queued_;
}

}  // namespace wnd
