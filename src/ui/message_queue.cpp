#include "ui/message_queue.h"

#include "util/no_destructor.h"

namespace wnd {

void MessageQueue::post(std::uint32_t id, std::int64_t param) {
    {
        std::lock_guard lock(mu_);
        // Repaints pile up while the window thread is busy; one pending is enough.
        if (id == kMsgRepaintStatus) {
            for (const WindowMessage& m : queue_) {
                if (m.id == kMsgRepaintStatus) {
                    return;
                }
            }
        }
        queue_.push_back({id, param});
    }
    cv_.notify_one();
}

WindowMessage MessageQueue::get() {
    std::unique_lock lock(mu_);
    cv_.wait(lock, [this] { return !queue_.empty(); });
    WindowMessage m = queue_.front();
    queue_.pop_front();
    return m;
}

std::optional<WindowMessage> MessageQueue::getFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mu_);
    if (!cv_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) {
        return std::nullopt;
    }
    WindowMessage m = queue_.front();
    queue_.pop_front();
    return m;
}

void MessageQueue::clear() {
    std::lock_guard lock(mu_);
    queue_.clear();
}

MessageQueue& gf_windowQueue() {
    static NoDestructor<MessageQueue> q;
    return *q;
}

}  // namespace wnd
