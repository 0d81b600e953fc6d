// A window model on fresh settings, board and run control, with parameters.xml in a
// folder of the test's own and hooks that record what the handlers asked for.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "ui/requests.h"
#include "ui/window_model.h"

namespace wnd::uitest {

// Process-wide state back to the start, before the model reads it.
struct FreshState {
    explicit FreshState(const std::filesystem::path& file) {
        gs().resetValues();
        gs().filePath = file;
        gf_board().reset();
        gf_board().clearError();
        gf_board().setRepaintHook(nullptr);
        gf_board().setListener(nullptr);
        gf_runControl().reset();
        gf_workerRequests().reset();
    }
};

class UiTest : public ::testing::Test {
  protected:
    UiTest() {
        WindowHooks h;
        h.setTrafficRadius = [this](double nm) { radius_ = nm; };
        h.isAirport = [](const std::string& code) { return code == "LSZH" || code == "EDDF"; };
        h.realTrafficConnected = [this] { return rtConnected_; };
        h.setDestination = [this](const std::string& code) { destinations_.push_back(code); };
        model_.setHooks(std::move(h));
    }

    std::string saved(const std::string& key) const {
        return testkit::parameterValue(gs().filePath, key);
    }
    bool fileWritten() const { return std::filesystem::exists(gs().filePath); }
    std::string status() const { return gf_board().status(); }

    testkit::TempDir dir_;
    testkit::LogCapture log_;
    FreshState fresh_{dir_ / "parameters.xml"};
    WindowModel model_;
    double radius_ = -1;
    bool rtConnected_ = false;
    std::vector<std::string> destinations_;
};

}  // namespace wnd::uitest
