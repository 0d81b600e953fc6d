// The main window: its position, its message handling and the view that shows it.
// The Win32 view draws it with GDI; the headless view (Linux) prints status and error
// changes to standard output and takes SIGINT/SIGTERM as the close button.
#pragma once

#include <functional>
#include <memory>

#include "ui/message_queue.h"

namespace wnd {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

inline constexpr int kWindowWidth = 880;
inline constexpr int kWindowHeight = 516;

class WindowView {
  public:
    virtual ~WindowView() = default;
    // Work area of the monitor nearest to the rectangle.
    virtual Rect workAreaNear(const Rect& r) = 0;
    virtual bool create(const Rect& r) = 0;
    virtual void repaintStatus() = 0;
    virtual void setTopMost(bool on) = 0;
};

// Prints status and error changes as lines on standard output.
std::unique_ptr<WindowView> gf_makeHeadlessView();

// Keeps the rectangle inside the work area (left/top edges win when it does not fit).
Rect gf_fitIntoWorkArea(Rect r, const Rect& work);

class MainWindow {
  public:
    explicit MainWindow(std::unique_ptr<WindowView> view) : view_(std::move(view)) {}

    // Init instance: copies an unparsable parameters.xml aside, reads the position,
    // fits it to the monitor and creates the view. False on failure.
    bool create();
    // Runs the message loop until the quit; returns the quit's code. onStartRun is
    // called on the window thread for every start message.
    int runMessageLoop(const std::function<void()>& onStartRun);

    WindowView& view() { return *view_; }
    Rect rect() const { return rect_; }

  private:
    void onClose();
    void onEndProcess();

    std::unique_ptr<WindowView> view_;
    Rect rect_;
};

// The window of this process, while it exists (for the top-most placement at start-up).
MainWindow* gf_mainWindow();

}  // namespace wnd
