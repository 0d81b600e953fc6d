// The window's own messages on a portable queue (the Win32 view uses the real one).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

#include "util/mutex.h"

namespace wnd {

enum : std::uint32_t {
    kMsgDestroy = 0x0002,        // WM_DESTROY
    kMsgClose = 0x0010,          // WM_CLOSE: the close button
    kMsgQuit = 0x0012,           // WM_QUIT
    kMsgStartRun = 0x8001,       // WM_APP+1: create the start-up thread
    kMsgEndProcess = 0x8002,     // WM_APP+2: save the window position and quit
    kMsgRepaintStatus = 0x8060,  // WM_APP+0x60: repaint the status area
    // The window's controls, asked for by other threads (only the window thread touches them).
    kMsgControlsAtStart = 0x8061,  // the parameters are read: enable and fill the controls
    kMsgEnableControl = 0x8062,    // param: identifier * 2 + (1 enable, 0 disable)
    kMsgRefreshControl = 0x8063,   // param: identifier (0: all); show the parameter's value
    kMsgCallsignList = 0x8064,     // the worker filled the callsign list
    kMsgConsoleLine = 0x8065,      // a command line from standard input waits
    kMsgRunReset = 0x8066,         // a new run starts
    kMsgRepaintAll = 0x8067        // repaint the whole window (a control's label or state)
};

struct WindowMessage {
    std::uint32_t id = 0;
    std::int64_t param = 0;
};

class MessageQueue {
  public:
    // The Win32 view hands posts to the system's queue; true when the forwarder took it.
    using Forwarder = bool (*)(std::uint32_t id, std::int64_t param);
    void setForwarder(Forwarder f) { forwarder_.store(f); }

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
    std::atomic<Forwarder> forwarder_{nullptr};
};

MessageQueue& gf_windowQueue();
inline void gf_postMessage(std::uint32_t id, std::int64_t param = 0) {
    gf_windowQueue().post(id, param);
}

}  // namespace wnd
