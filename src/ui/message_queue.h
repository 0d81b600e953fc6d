// The window's own messages on a portable queue (the Win32 view uses the real one).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

#include "util/mutex.h"

namespace wnd {

enum : std::uint32_t {
    kMsgDestroy = 0x0002,       // WM_DESTROY
    kMsgClose = 0x0010,         // WM_CLOSE: the close button
    kMsgQuit = 0x0012,          // WM_QUIT
    kMsgStartRun = 0x8001,      // WM_APP+1: create the start-up thread
    kMsgEndProcess = 0x8002,    // WM_APP+2: save the window position and quit
    kMsgRepaintStatus = 0x8060  // WM_APP+0x60: repaint the status area
};

struct WindowMessage {
    std::uint32_t id = 0;
    std::int64_t param = 0;
};

class MessageQueue {
  public:
    void post(std::uint32_t id, std::int64_t param = 0);
    // Blocks until a message arrives.
    WindowMessage get();
    // The next message if one arrives within the time-out.
    std::optional<WindowMessage> getFor(std::chrono::milliseconds timeout);
    void clear();

  private:
    Mutex mu_;
    CondVar cv_;
    std::deque<WindowMessage> queue_ GUARDED_BY(mu_);
};

MessageQueue& gf_windowQueue();
inline void gf_postMessage(std::uint32_t id, std::int64_t param = 0) {
    gf_windowQueue().post(id, param);
}

}  // namespace wnd
