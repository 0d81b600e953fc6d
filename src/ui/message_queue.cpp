#include "ui/message_queue.h"

#include "util/no_destructor.h"

namespace wnd {

void MessageQueue::post(std::uint32_t id, std::int64_t param) {
    if (const Forwarder f = forwarder_.load(); f != nullptr && f(id, param)) {
        return;
    }
    {
        MutexLock lock(mu_);
        // Repaints pile up while the window thread is busy; one pending is enough.
        if (id == kMsgRepaintStatus || id == kMsgRepaintAll) {
            for (const WindowMessage& m : queue_) {
                if (m.id == id) {
                    return;
                }
            }
        }
        queue_.push_back({id, param});
    }
    cv_.notifyOne();
}

WindowMessage MessageQueue::get() {
    MutexLock lock(mu_);
    cv_.wait(lock, [this]() REQUIRES(mu_) { return !queue_.empty(); });
    WindowMessage m = queue_.front();
    queue_.pop_front();
    return m;
}

std::optional<WindowMessage> MessageQueue::getFor(std::chrono::milliseconds timeout) {
    MutexLock lock(mu_);
    if (!cv_.waitFor(lock, timeout, [this]() REQUIRES(mu_) { return !queue_.empty(); })) {
        return std::nullopt;
    }
    WindowMessage m = queue_.front();
    queue_.pop_front();
    return m;
}

void MessageQueue::clear() {
    MutexLock lock(mu_);
    queue_.clear();
}

MessageQueue& gf_windowQueue() {
    static NoDestructor<MessageQueue> q;
    return *q;
}

}  // namespace wnd
