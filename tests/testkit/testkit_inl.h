#pragma once

#include <thread>

namespace wnd::testkit {

template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds timeout, std::chrono::milliseconds step) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pred()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return pred();
        }
        std::this_thread::sleep_for(step);
    }
}

}  // namespace wnd::testkit
