#include "board/run_control.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/process_entry.h"

namespace wnd {
namespace {

TEST(RunControl, FirstStopWinsEvenUnderContention) {
    for (int round = 0; round < 50; ++round) {
        RunControl rc;
        std::vector<std::thread> threads;
        for (int r = 1; r <= 8; ++r) {
            threads.emplace_back([&rc, r] { rc.requestStop(static_cast<ExitReason>(r), r); });
        }
        for (auto& t : threads) {
            t.join();
        }
        // Whoever won wrote both fields; nobody else changed them.
        ASSERT_TRUE(rc.stopRequested());
        ASSERT_EQ(static_cast<int>(rc.exitReason()), rc.restartDelay());
    }
}

TEST(RunControl, CloseSetsReasonFourOnlyWhenNoneWasSet) {
    RunControl rc;
    rc.requestStopAndClose();
    EXPECT_EQ(rc.exitReason(), ExitReason::UserClosedSim);
    rc.requestStopAndClose();  // a second click changes nothing
    EXPECT_EQ(rc.exitReason(), ExitReason::UserClosedSim);
    EXPECT_FALSE(rc.requestStop(ExitReason::ReaderError, 15));
    EXPECT_EQ(rc.exitReason(), ExitReason::UserClosedSim);

    RunControl rc2;
    EXPECT_TRUE(rc2.requestStop(ExitReason::ReaderError, 15));
    rc2.requestStopAndClose();
    EXPECT_EQ(rc2.exitReason(), ExitReason::ReaderError);
    EXPECT_EQ(rc2.restartDelay(), 15);
    rc2.reset();
    EXPECT_FALSE(rc2.ending());
    EXPECT_EQ(rc2.exitReason(), ExitReason::NotYetSet);
}

TEST(RunControl, ReasonTextsAndRestarts) {
    EXPECT_EQ(gf_exitReasonText(ExitReason::NotYetSet), "NOT YET SET");
    EXPECT_EQ(gf_exitReasonText(ExitReason::SimConnectError), "SIMCONNECT ERROR");
    EXPECT_EQ(gf_exitReasonText(ExitReason::NewVersion), "NEW VERSION");
    for (int r = 0; r <= 8; ++r) {
        const bool restarts = r == 3 || r == 5 || r == 6;
        EXPECT_EQ(gf_exitReasonRestarts(static_cast<ExitReason>(r)), restarts) << r;
    }
}

TEST(ProcessEntry, LastProductionSwitchWins) {
    EXPECT_FALSE(gf_productionSwitch({"wendle"}));
    EXPECT_TRUE(gf_productionSwitch({"wendle", "/PRODUCTION"}));
    EXPECT_TRUE(gf_productionSwitch({"wendle", "--Production", "unknown"}));
    EXPECT_FALSE(gf_productionSwitch({"wendle", "--production", "--no-production"}));
    EXPECT_TRUE(gf_productionSwitch({"wendle", "/No-Production", "--production"}));
    EXPECT_FALSE(gf_productionSwitch({"--production"}));  // the program's own name
}

}  // namespace
}  // namespace wnd
