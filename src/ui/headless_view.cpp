#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "board/status_board.h"
#include "platform/platform.h"
#include "ui/console_commands.h"
#include "ui/display_list.h"
#include "ui/svg_snapshot.h"
#include "ui/window.h"
#include "ui/window_model.h"
#include "util/log.h"
#include "util/mutex.h"

namespace wnd {

namespace {

Mutex& lf_outMu() {
    static Mutex mu;
    return mu;
}

void lf_printLine(const char* prefix, const std::string& text) {
    MutexLock lock(lf_outMu());
    std::fprintf(stdout, "%s%s\n", prefix, text.c_str());
    std::fflush(stdout);
}

class HeadlessView final : public WindowView {
  public:
    explicit HeadlessView(HeadlessOptions options) : options_(std::move(options)) {}

    Rect workAreaNear(const Rect&) override { return {0, 0, 1920, 1040}; }

    bool create(const Rect&) override {
        gf_board().setListener([](char kind, const std::string& text) {
            if (text.empty()) {
                return;
            }
            lf_printLine(kind == 'e' ? "Error " : "Status: ", text);
        });
        if (options_.readCommands && platform::standardInputReadable()) {
            // Detached: a read that never returns must not hold the process at its end.
            std::thread([] {
                std::string line;
                while (std::getline(std::cin, line)) {
                    gf_consoleLines().push(std::move(line));
                    gf_postMessage(kMsgConsoleLine);
                }
            }).detach();
        }
        snapshot();
        return true;
    }

    void repaintStatus() override { snapshot(); }
    void repaintAll() override { snapshot(); }
    void setTopMost(bool) override {}
    void commandRefused(const std::string& why) override { lf_printLine("Command refused: ", why); }

  private:
    void snapshot() {
        if (!options_.snapshot.empty()) {
            gf_writeSvgSnapshot(gf_paintWindow(gf_windowModel()), options_.snapshot);
        }
    }

    HeadlessOptions options_;
};

}  // namespace

std::unique_ptr<WindowView> gf_makeHeadlessView(HeadlessOptions options) {
    return std::make_unique<HeadlessView>(std::move(options));
}

}  // namespace wnd
