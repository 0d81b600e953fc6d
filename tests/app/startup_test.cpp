// The run frame in-process: closing down, restarts and the countdown. A system error's wait
// for the user and the production run are played by the real program in tests/e2e.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"
#include "ui/message_queue.h"

namespace wnd {
namespace {

class RunFrameTest : public ::testing::Test {
  protected:
    // Closing down writes reports into the working folder.
    void SetUp() override {
        oldCwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        gs().resetValues();
        gs().filePath = dir_ / "parameters.xml";
        gf_runControl().reset();
        gf_runControl().setRestartFlag(false);
        gf_board().reset();
        gf_windowQueue().clear();
        gf_board().setListener([this](char kind, const std::string& text) {
            std::lock_guard lock(mu_);
            shown_.push_back(std::string(1, kind) + ":" + text);
        });
    }
    void TearDown() override {
        gf_board().setListener(nullptr);
        std::filesystem::current_path(oldCwd_);
    }
    std::string log() { return log_.text(); }
    std::vector<std::string> shown() {
        std::lock_guard lock(mu_);
        return shown_;
    }
    // The last start or end message the run posted to the window.
    std::uint32_t lastRunMessage() {
        std::uint32_t last = 0;
        while (auto m = gf_windowQueue().getFor(std::chrono::milliseconds(0))) {
            if (m->id == kMsgStartRun || m->id == kMsgEndProcess) {
                last = m->id;
            }
        }
        return last;
    }

    testkit::TempDir dir_;
    testkit::LogCapture log_;
    std::filesystem::path oldCwd_;
    std::mutex mu_;
    std::vector<std::string> shown_;
};

TEST_F(RunFrameTest, ReaderErrorRestartsAfterCountdownAndResetsTheRun) {
    gs().SCAN_LIVERIES.set(true);
    gs().DESTINATION.set("LSZH");
    gf_board().qnh = 990;
    gf_runControl().requestStop(ExitReason::ReaderError, 2);
    lf_closingDown();
    const std::string text = log();
    EXPECT_NE(text.find("Exiting: READER ERROR"), std::string::npos);
    EXPECT_NE(text.find("Prepare for a restart ..."), std::string::npos);
    EXPECT_NE(text.find("Restarting after 2 seconds\n" + std::string(48, '-')), std::string::npos);
    EXPECT_NE(text.find("Restart countdown finished"), std::string::npos);
    const auto s = shown();
    EXPECT_NE(std::find(s.begin(), s.end(), "s:Restarting after 2 seconds"), s.end());
    EXPECT_NE(std::find(s.begin(), s.end(), "s:Restarting after 1 second"), s.end());
    // The countdown lines are shown but not logged.
    EXPECT_EQ(text.find("Restarting after 1 second\n"), std::string::npos);
    EXPECT_EQ(lastRunMessage(), kMsgStartRun);
    EXPECT_TRUE(gf_runControl().restartFlag());
    EXPECT_FALSE(gf_runControl().ending());
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::NotYetSet);
    EXPECT_EQ(gf_board().qnh.load(), 1013);
    EXPECT_FALSE(gs().SCAN_LIVERIES.value());  // scans only on a settings restart
    EXPECT_EQ(gs().DESTINATION.value(), "");
}

TEST_F(RunFrameTest, ACloseDuringTheRestartCountdownEndsTheProcess) {
    gf_runControl().requestStop(ExitReason::SimConnectError, 9);
    std::thread user([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        gf_runControl().requestUserClose();
    });
    lf_closingDown();
    user.join();
    EXPECT_EQ(lastRunMessage(), kMsgEndProcess);
    EXPECT_FALSE(gf_runControl().restartFlag());
    EXPECT_NE(log().find("Restart cancelled: Wendle_P3D closes"), std::string::npos);
}

}  // namespace
}  // namespace wnd
