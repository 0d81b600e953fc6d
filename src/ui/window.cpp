#include "ui/window.h"

#include <algorithm>
#include <ctime>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "ui/console_commands.h"
#include "ui/requests.h"
#include "ui/window_model.h"
#include "util/log.h"
#include "util/program.h"
#include "util/time.h"

namespace wnd {

namespace {
std::atomic<MainWindow*> g_window{nullptr};
}

MainWindow* gf_mainWindow() {
    return g_window.load();
}

Rect gf_fitIntoWorkArea(Rect r, const Rect& work) {
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (r.right > work.right) {
        r.left = work.right - w;
    }
    if (r.bottom > work.bottom) {
        r.top = work.bottom - h;
    }
    r.left = std::max(r.left, work.left);
    r.top = std::max(r.top, work.top);
    r.right = r.left + w;
    r.bottom = r.top + h;
    return r;
}

bool MainWindow::create() {
    Settings& s = gs();
    std::error_code ec;
    if (std::filesystem::exists(s.filePath, ec)) {
        if (gf_checkParametersFileParses()) {
            gf_readParameterFromFile(s.MAIN_WINDOW_X);
            gf_readParameterFromFile(s.MAIN_WINDOW_Y);
        }
    }
    Rect r{s.MAIN_WINDOW_X.value(), s.MAIN_WINDOW_Y.value(), 0, 0};
    r.right = r.left + kWindowWidth;
    r.bottom = r.top + kWindowHeight;
    rect_ = gf_fitIntoWorkArea(r, view_->workAreaNear(r));
    if (!view_->create(rect_)) {
        return false;
    }
    g_window.store(this);
    WindowModel& model = gf_windowModel();
    WindowView* view = view_.get();
    model.setViewHooks([view](int id) { view->controlChanged(id); },
                       [] { gf_postMessage(kMsgRepaintAll); },
                       [view](bool on) { view->setTopMost(on); });
    // Lower layers ask for repaints through the board; the window takes them as messages.
    gf_board().setRepaintHook([] { gf_postMessage(kMsgRepaintStatus); });
    return true;
}

void MainWindow::onClose() {
    showStatus(fmt::format("Close window button clicked, closing {} ...", kProductTitle));
    gf_runControl().requestUserClose();
}

void MainWindow::onEndProcess() {
    Settings& s = gs();
    s.MAIN_WINDOW_X.set(rect_.left);
    gf_saveParameter(s.MAIN_WINDOW_X);
    s.MAIN_WINDOW_Y.set(rect_.top);
    gf_saveParameter(s.MAIN_WINDOW_Y);
    rect_ = gf_fitIntoWorkArea(rect_, view_->workAreaNear(rect_));
    gf_logLine(gf_utcTimeString(std::time(nullptr)));
    gf_postMessage(kMsgQuit, gf_runControl().exitCode());
}

void gf_enableControl(int id, bool on) {
    gf_postMessage(kMsgEnableControl, static_cast<std::int64_t>(id) * 2 + (on ? 1 : 0));
}

void gf_refreshControl(int id) {
    gf_postMessage(kMsgRefreshControl, id);
}

int MainWindow::runMessageLoop(const std::function<void()>& onStartRun) {
    onStartRun_ = onStartRun;
    if (view_->ownsMessageLoop()) {
        const int code = view_->messageLoop(*this);
        g_window.store(nullptr);
        return code;
    }
    for (;;) {
        if (const std::optional<int> code = handle(gf_windowQueue().get()); code.has_value()) {
            return *code;
        }
    }
}

std::optional<int> MainWindow::handle(const WindowMessage& m) {
    WindowModel& model = gf_windowModel();
    try {
        switch (m.id) {
            case kMsgQuit:
                g_window.store(nullptr);
                return static_cast<int>(m.param);
            case kMsgClose:
                onClose();
                break;
            case kMsgDestroy:
                gf_postMessage(kMsgQuit, 0);
                break;
            case kMsgStartRun:
                if (onStartRun_) {
                    onStartRun_();
                }
                break;
            case kMsgEndProcess:
                onEndProcess();
                break;
            case kMsgRepaintStatus:
                model.followBoard();
                view_->repaintStatus();
                break;
            case kMsgRepaintAll:
                model.followBoard();
                view_->repaintAll();
                break;
            case kMsgControlsAtStart:
                model.enableAtStart();
                break;
            case kMsgEnableControl:
                model.setEnabled(static_cast<int>(m.param / 2), (m.param % 2) != 0);
                view_->repaintAll();
                break;
            case kMsgRefreshControl:
                if (m.param == 0) {
                    model.refreshAll();
                } else {
                    model.refresh(static_cast<int>(m.param));
                }
                view_->repaintAll();
                break;
            case kMsgCallsignList:
                model.setCallsignList(gf_callsignListBox().take());
                view_->repaintAll();
                break;
            case kMsgRunReset:
                model.resetRun();
                break;
            case kMsgConsoleLine: {
                std::string line;
                while (gf_consoleLines().pop(line)) {
                    const std::string refused = gf_runConsoleCommand(model, line);
                    if (!refused.empty()) {
                        gf_logLine("Command refused: {}", refused);
                        view_->commandRefused(refused);
                    }
                }
                break;
            }
            default:
                break;
        }
    } catch (const std::exception& e) {
        gf_logLine("{} exception {}", "lf_WndProc", e.what());
    }
    return std::nullopt;
}

}  // namespace wnd
