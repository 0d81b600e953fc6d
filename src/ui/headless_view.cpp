#include <cstdio>

#include "board/status_board.h"
#include "ui/window.h"
#include "util/mutex.h"

namespace wnd {

namespace {

class HeadlessView final : public WindowView {
  public:
    Rect workAreaNear(const Rect&) override { return {0, 0, 1920, 1040}; }

    bool create(const Rect&) override {
        gf_board().setListener([](char kind, const std::string& text) {
            static Mutex outMu;
            MutexLock lock(outMu);
            if (kind == 'e') {
                if (!text.empty()) {
                    std::fprintf(stdout, "Error %s\n", text.c_str());
                }
            } else if (!text.empty()) {
                std::fprintf(stdout, "Status: %s\n", text.c_str());
            }
            std::fflush(stdout);
        });
        return true;
    }

    void repaintStatus() override {}
    void setTopMost(bool) override {}
};

}  // namespace

std::unique_ptr<WindowView> gf_makeHeadlessView() {
    return std::make_unique<HeadlessView>();
}

}  // namespace wnd
