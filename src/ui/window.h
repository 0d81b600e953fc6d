// The main window: its position, its message handling and the view that shows it.
// The Win32 view draws it with GDI and hosts real child controls; the headless view
// (Linux) prints status and error changes to standard output, writes an SVG snapshot at
// every repaint when asked, reads control commands from standard input, and takes
// SIGINT/SIGTERM as the close button.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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

class MainWindow;

class WindowView {
  public:
    virtual ~WindowView() = default;
    // Work area of the monitor nearest to the rectangle.
    virtual Rect workAreaNear(const Rect& r) = 0;
    virtual bool create(const Rect& r) = 0;
    virtual void repaintStatus() = 0;
    virtual void repaintAll() { repaintStatus(); }
    virtual void setTopMost(bool on) = 0;
    // A control's state changed in the model (the Win32 view mirrors it).
    virtual void controlChanged(int /*id*/) {}
    // A command line from standard input was refused (the headless view prints why).
    virtual void commandRefused(const std::string& /*why*/) {}
    // A view with a system message loop of its own runs it and hands the program's own
    // messages to MainWindow::handle.
    virtual bool ownsMessageLoop() const { return false; }
    virtual int messageLoop(MainWindow& /*window*/) { return 0; }
};

struct HeadlessOptions {
    std::filesystem::path snapshot;  // written at every repaint; empty for none
    bool readCommands = true;        // control commands from standard input
};

// Prints status and error changes as lines on standard output.
std::unique_ptr<WindowView> gf_makeHeadlessView(HeadlessOptions options = {});

#ifdef _WIN32
// The window with GDI painting and real child controls.
std::unique_ptr<WindowView> gf_makeWin32View();
#endif

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
    // One message of the program's own; the quit's code when it ends the loop.
    std::optional<int> handle(const WindowMessage& m);

    WindowView& view() { return *view_; }
    Rect rect() const { return rect_; }
    // The view moved the window (the Win32 view, before the position is saved).
    void setRect(const Rect& r) { rect_ = r; }

  private:
    void onClose();
    void onEndProcess();

    std::unique_ptr<WindowView> view_;
    Rect rect_;
    std::function<void()> onStartRun_;
};

// The window of this process, while it exists (for the top-most placement at start-up).
MainWindow* gf_mainWindow();

// For other threads: the window thread enables, disables or refreshes a control.
void gf_enableControl(int id, bool on);
// 0 refreshes every check box and dropdown (after the scans and the livery processing
// changed settings).
void gf_refreshControl(int id);

}  // namespace wnd
