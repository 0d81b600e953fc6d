// The traffic worker's schedule, with the world it drives replaced by a recorder.
#include "app/worker.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "board/run_control.h"
#include "board/status_board.h"
#include "rtlink/rt_link.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"
#include "ui/requests.h"

namespace wnd {
namespace {

class RecordingWorker : public TrafficWorker {
  public:
    bool running = true;
    std::map<std::string, int> calls;
    std::vector<bool> mainCycleRuns;

    // Runs ticks until the seconds counter reaches `second`, one simulator second a tick.
    void runToSecond(int second) {
        while (gf_runControl().seconds() < second) {
            gf_runControl().setOneSecondTick();
            oneTick();
        }
    }
    int count(const std::string& name) { return calls[name]; }
    using TrafficWorker::handleRereadRequest;
    using TrafficWorker::perSecond;
    bool requestAgainDuringReread = false;
    bool gathering = false;

  protected:
    bool flightRunning() override { return running; }
    void engineCycle() override { ++calls["cycle"]; }
    void engineIdleDuty() override { ++calls["idle"]; }
    void engineMinuteDuty() override { ++calls["minute"]; }
    void engineDestinationQueue() override { ++calls["destination"]; }
    void updateStaticParking() override { ++calls["static"]; }
    void renewStaticParking() override { ++calls["renew"]; }
    bool staticParkingHasStands() override { return true; }
    void removeAllStatic() override { ++calls["flush"]; }
    void fillCallsignList() override { ++calls["callsigns"]; }
    void collisionChecks() override { ++calls["collision"]; }
    void blockCallsign() override { ++calls["block"]; }
    void recountParked() override {}
    void renewLiveriesInUse() override { ++calls["liveries"]; }
    void logUnmatched() override { ++calls["unmatched"]; }
    void logMatchingSummary() override { ++calls["summary"]; }
    void rereadParkAirports() override {
        if (++calls["reread"] == 1 && requestAgainDuringReread) {
            gf_workerRequests().rereadParkAirports = true;  // the user asks again meanwhile
        }
    }

    void readerLivenessCheck() override { ++calls["liveness"]; }
    void copyUserPositionToReader() override { ++calls["copyPosition"]; }
    void sendTimeToRealTraffic() override { ++calls["qs123"]; }
    void sendPositionToRealTraffic() override { ++calls["qs121"]; }
    void setMainCycleRuns(bool runs) override { mainCycleRuns.push_back(runs); }
    void clearNoticeQueues() override { ++calls["clearNotices"]; }
    void applyAutoRange() override { ++calls["autoRange"]; }
    void prepareLinks() override {}
    bool waitForFlight() override { return true; }
    bool startTrafficLink() override { return true; }
    void startCallsignGathering() override { gathering = true; }
    void endCallsignGathering() override { gathering = false; }
    void recordProgramTime() override {}
};

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gs().resetValues();
        gf_runControl().reset();
        gf_board().reset();
        gf_workerRequests().reset();
    }
    testkit::LogCapture log_;
    RecordingWorker w;
};

TEST_F(WorkerTest, SecondsFollowTheModuloSchedule) {
    showStatus("hello");
    w.runToSecond(14);
    auto before = w.calls;
    w.runToSecond(15);  // a multiple of 5 and of 15: no 16/59/61 duties
    EXPECT_EQ(w.count("static"), before["static"]);
    EXPECT_EQ(w.count("qs123"), before["qs123"] + 1);
    EXPECT_EQ(w.count("copyPosition"), before["copyPosition"] + 1);
    w.runToSecond(16);
    EXPECT_EQ(w.count("static"), before["static"] + 1);
    // A status message goes after 25 s.
    w.runToSecond(24);
    EXPECT_EQ(gf_board().status(), "hello");
    w.runToSecond(26);
    EXPECT_EQ(gf_board().status(), "");
    w.runToSecond(58);
    EXPECT_EQ(w.count("liveness"), 0);
    w.runToSecond(59);
    EXPECT_EQ(w.count("liveness"), 1);
    w.runToSecond(61);
    EXPECT_EQ(w.count("minute"), 1);
    // Every 5 s the position, every 30 s the automatic range.
    EXPECT_EQ(w.count("qs123"), 12);
    EXPECT_EQ(w.count("autoRange"), 2);
    // 16, 32, 48 (not 64 yet); a tick without the simulator's second runs the engine only.
    EXPECT_EQ(w.count("static"), 3);
    const int cycles = w.count("cycle");
    w.oneTick();
    EXPECT_EQ(w.count("cycle"), cycles + 1);
    EXPECT_EQ(gf_runControl().seconds(), 61);
}

TEST_F(WorkerTest, PauseSwitchesToNotRunningModeOnceAndBack) {
    w.runToSecond(3);
    w.running = false;
    for (int i = 0; i < 250; ++i) {
        w.oneTick();
    }
    EXPECT_TRUE(w.notRunningMode());
    EXPECT_EQ(w.count("clearNotices"), 1);
    EXPECT_EQ(w.count("idle"), 250);
    EXPECT_EQ(w.count("qs121"), 2);            // the position still goes out once a second
    EXPECT_EQ(w.mainCycleRuns.back(), false);  // its log lines are seen by tests/e2e

    w.running = true;
    w.oneTick();
    EXPECT_TRUE(w.notRunningMode());  // until the simulator's next second
    gf_runControl().setOneSecondTick();
    w.oneTick();
    EXPECT_FALSE(w.notRunningMode());
    EXPECT_EQ(w.mainCycleRuns.back(), true);
}

TEST_F(WorkerTest, WindowRequestsAreTakenOnce) {
    gf_workerRequests().flushStatic = true;
    gf_workerRequests().fillCallsignList = true;
    gf_workerRequests().blockCallsign = true;
    w.perSecond();
    w.perSecond();
    EXPECT_EQ(w.count("flush"), 1);
    EXPECT_EQ(w.count("callsigns"), 1);
    EXPECT_EQ(w.count("block"), 1);
    EXPECT_TRUE(gs().INITIAL_LOAD_ONLY.value());
    // A re-read waits while the park list is edited.
    gf_workerRequests().parkListEditing = true;
    gf_workerRequests().rereadParkAirports = true;
    w.runToSecond(5);
    EXPECT_EQ(w.count("reread"), 0);
    gf_workerRequests().parkListEditing = false;
    w.runToSecond(10);
    EXPECT_EQ(w.count("reread"), 1);
}

TEST_F(WorkerTest, StaticParkingRenewalEveryTwentyMinutesInTwoPhases) {
    gf_board().staticParkingActive = true;
    w.runToSecond(1200);
    EXPECT_TRUE(log_.contains("Wendle_P3D will update static parking in 15 seconds ..."));
    EXPECT_EQ(w.count("renew"), 0);
    w.runToSecond(1215);  // callsigns gathered for 15 s
    EXPECT_EQ(w.count("renew"), 0);
    EXPECT_TRUE(w.gathering);
    w.runToSecond(1230);
    EXPECT_EQ(w.count("renew"), 1);
    EXPECT_FALSE(w.gathering);
    EXPECT_EQ(w.count("unmatched"), 1);
}

TEST(AutoRange, ByHeightThenByDistanceToTheDestination) {
    gs().resetValues();  // AR_ABOVE_HEIGHT 48000, AIRP_HEIGHT 18000
    EXPECT_EQ(TrafficWorker::autoRangeFor(49000, 45000, 5), 100);
    EXPECT_EQ(TrafficWorker::autoRangeFor(30000, 20000, 5), 40);
    EXPECT_EQ(TrafficWorker::autoRangeFor(3000, 3000, 10000), 40);
    EXPECT_EQ(TrafficWorker::autoRangeFor(3000, 3000, 7), 10);
    EXPECT_EQ(TrafficWorker::autoRangeFor(3000, 3000, 8.4), 8);
    EXPECT_EQ(TrafficWorker::autoRangeFor(3000, 3000, 8.6), 10);
    EXPECT_EQ(TrafficWorker::autoRangeFor(3000, 3000, 16.6), 18);
    EXPECT_EQ(TrafficWorker::autoRangeFor(3000, 3000, 32.6), 35);
    EXPECT_EQ(TrafficWorker::autoRangeFor(3000, 3000, 36.9), 35);  // rounds to 37, but under 37
    EXPECT_EQ(TrafficWorker::autoRangeFor(3000, 3000, 37), 40);
}

TEST_F(WorkerTest, TheReadersTakeTheRangeSettingWhenTheTrafficStarts) {
    gs().AUTO_RANGE.set(false);
    gs().RANGE.set(25);
    gf_rtLink().trafficReader().setTrafficRadius(TrafficReader::kDefaultRadiusNm);
    ASSERT_TRUE(w.startTraffic());
    EXPECT_EQ(gf_rtLink().trafficReader().trafficRadius(), 25.0);
}

TEST_F(WorkerTest, ARequestMadeWhileTheLastIsHandledIsKept) {
    w.requestAgainDuringReread = true;
    gf_workerRequests().rereadParkAirports = true;
    w.handleRereadRequest();
    EXPECT_EQ(w.count("reread"), 1);
    w.handleRereadRequest();
    EXPECT_EQ(w.count("reread"), 2);
    w.handleRereadRequest();
    EXPECT_EQ(w.count("reread"), 2);
}

}  // namespace
}  // namespace wnd
