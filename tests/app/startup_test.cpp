// The run frame in-process: closing down, restarts and the countdown.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "testkit/testkit.h"
#include "ui/message_queue.h"
#include "util/log.h"

namespace wnd {
namespace {

class RunFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        oldCwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        gs().resetValues();
        gs().filePath = dir_ / "parameters.xml";
        gf_runControl().reset();
        gf_runControl().setRestartFlag(false);
        gf_runControl().setProduction(false);
        gf_board().reset();
        gf_windowQueue().clear();
        gf_openLog(dir_ / "Log.txt");
        // The version check must fail at once instead of looking for a server.
        ::setenv("WENDLE_SERVER_URL", "http://127.0.0.1:9", 1);
        gf_board().setListener([this](char kind, const std::string& text) {
            std::lock_guard lock(mu_);
            shown_.push_back(std::string(1, kind) + ":" + text);
        });
    }
    void TearDown() override {
        gf_board().setListener(nullptr);
        gf_closeLog();
        std::filesystem::current_path(oldCwd_);
    }
    std::string log() {
        gf_flushLog();
        return testkit::readFile(dir_ / "Log.txt");
    }
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
        gf_runControl().requestStopAndClose();
    });
    lf_closingDown();
    user.join();
    EXPECT_EQ(lastRunMessage(), kMsgEndProcess);
    EXPECT_FALSE(gf_runControl().restartFlag());
    EXPECT_NE(log().find("Restart cancelled: Wendle_P3D closes"), std::string::npos);
}

TEST_F(RunFrameTest, NewSettingsKeepsScansAndUserCloseEndsTheProcess) {
    gs().SCAN_AIRPORTS.set(true);
    gf_runControl().requestStop(ExitReason::NewSettings, 0);
    lf_closingDown();
    EXPECT_TRUE(gs().SCAN_AIRPORTS.value());
    EXPECT_EQ(lastRunMessage(), kMsgStartRun);

    gf_runControl().requestStopAndClose();
    lf_closingDown();
    EXPECT_NE(log().find("Exiting: USER CLOSED SIM"), std::string::npos);
    EXPECT_EQ(lastRunMessage(), kMsgEndProcess);
    EXPECT_FALSE(gf_runControl().restartFlag());
}

TEST_F(RunFrameTest, SystemErrorWaitsForTheUserAndKeepsTheError) {
    std::filesystem::remove_all(dir_ / "docs");  // not the program's folder
    std::thread run(lf_startUpWendle);
    ASSERT_TRUE(
        testkit::waitUntil([] { return !gf_board().error().empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(gf_board().error(), "41: Wendle_P3D must be run from the Wendle_P3D folder!");
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::SystemError);
    showStatus("hidden while the error shows");
    EXPECT_EQ(gf_board().status(), "");
    // Still waiting for the user a while later.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(lastRunMessage(), 0U);
    gf_runControl().requestStopAndClose();
    run.join();
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::SystemError);
    EXPECT_NE(log().find("User closed Wendle_P3D"), std::string::npos);
    EXPECT_EQ(lastRunMessage(), kMsgEndProcess);
}

TEST_F(RunFrameTest, ProductionRunEndsAfterTheInstallPath) {
    std::filesystem::create_directory(dir_ / "docs");
    std::filesystem::copy(testkit::stageDir() / "input", dir_ / "input");
    testkit::writeFile(gs().filePath,
                       "<root><parameters><parameter name=\"SIM_INSTALL_PATH\" "
                       "value=\"/sim/Prepar3D v5\"/></parameters></root>");
    gf_runControl().setProduction(true);
    lf_startUpWendle();
    EXPECT_EQ(gs().ALL_INSTALL_PATH.value(), "/sim/Prepar3D v5");
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::UserClosedSim);
    EXPECT_EQ(gf_runControl().exitCode(), 0);
    EXPECT_EQ(lastRunMessage(), kMsgEndProcess);
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "airports" / "learned" / "thirdparty"));
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "input" / "my_regcodes"));
    EXPECT_EQ(log().find("detected at this PC"), std::string::npos);
}

}  // namespace
}  // namespace wnd
