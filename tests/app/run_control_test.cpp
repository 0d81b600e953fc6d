#include "board/run_control.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

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

TEST(RunControl, CloseSetsUserClosedOnlyWhenNoReasonWasSet) {
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

}  // namespace
}  // namespace wnd
