// The handlers of the window's controls: what they store, save, ask the worker for and
// show, and that wrong input stores nothing.
#include <gtest/gtest.h>

#include "ui/control_table.h"
#include "ui_fixture.h"

namespace wnd::uitest {
namespace {

int indexOf(const ControlState& s, const std::string& entry) {
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        if (s.entries[i] == entry) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TEST_F(UiTest, EnablingAtStartFollowsTheParameters) {
    gs().BLOCK_CALLSIGN.set("SWR12");
    gs().AUTO_RANGE.set(true);
    gs().MAX_LIVE_SEL.set(7);  // not in the list: no entry selected
    model_.enableAtStart();
    EXPECT_FALSE(model_.state(ctl::kRange).enabled);
    EXPECT_TRUE(model_.state(ctl::kArAboveHeight).enabled);
    EXPECT_TRUE(model_.state(ctl::kUnblock).enabled);
    for (int id : {ctl::kBlock, ctl::kCallsignList, ctl::kCsOid, ctl::kDestination, ctl::kNow,
                   ctl::kParkingPercentage, ctl::kReread, ctl::kFlushStatic}) {
        EXPECT_FALSE(model_.state(id).enabled) << id;
    }
    EXPECT_TRUE(model_.state(ctl::kGuidChanges).checked);
    EXPECT_EQ(gs().parking_percentage.value(), 30);
    const ControlState& fit = model_.state(ctl::kMaxFitFl);
    EXPECT_EQ(fit.entries.front(), "0.5");
    EXPECT_EQ(fit.selected, indexOf(fit, "24.0"));
    EXPECT_EQ(model_.state(ctl::kMaxLiveSel).selected, -1);
    EXPECT_EQ(model_.state(ctl::kMaxLiveSel).text, "7");
    EXPECT_EQ(model_.state(ctl::kBlockCallsign).text, "SWR12");

    // AUTO_RANGE off and on: the dropdowns swap, the manual range comes back.
    model_.onClick(ctl::kAutoRange);
    EXPECT_TRUE(model_.state(ctl::kRange).enabled);
    EXPECT_FALSE(model_.state(ctl::kArAboveHeight).enabled);
    model_.setRange(25);
    model_.onClick(ctl::kAutoRange);
    EXPECT_TRUE(gf_workerRequests().applyAutoRange.load());
    EXPECT_FALSE(model_.state(ctl::kRange).enabled);
    model_.setRange(80);  // what the automatic range chose meanwhile
    model_.onClick(ctl::kAutoRange);
    EXPECT_EQ(gs().RANGE.value(), 25);
    EXPECT_EQ(saved("AUTO_RANGE"), "false");
}

TEST_F(UiTest, DestinationIsStoredInCapitalsAndWrongOnesStoreNothing) {
    model_.setEnabled(ctl::kDestination, true);
    for (const auto& [typed, message] : std::vector<std::pair<std::string, std::string>>{
             {"zrh", "destination 'ZRH' is not valid"},
             {"kjfk", "destination 'KJFK' is unknown ..."}}) {
        model_.onEnter(ctl::kDestination, typed);
        EXPECT_EQ(status(), message);
    }
    EXPECT_FALSE(fileWritten());
    EXPECT_TRUE(destinations_.empty());

    model_.onEnter(ctl::kDestination, "lszh");
    EXPECT_EQ(gs().DESTINATION.value(), "LSZH");
    EXPECT_EQ(saved("DESTINATION"), "LSZH");
    EXPECT_EQ(destinations_, std::vector<std::string>{"LSZH"});
    EXPECT_EQ(status(), "New destination: LSZH");
    EXPECT_TRUE(log_.contains("New destination: LSZH"));
    EXPECT_FALSE(model_.state(ctl::kDestination).enabled);

    model_.onEnter(ctl::kDestination, "LSZH");
    EXPECT_EQ(status(), "destination 'LSZH' was already set ...");
    model_.onEnter(ctl::kDestination, "");
    EXPECT_EQ(status(), "destination set to empty");
    EXPECT_TRUE(model_.state(ctl::kDestination).enabled);
    EXPECT_EQ(saved("DESTINATION"), "");
}

TEST_F(UiTest, BlockCallsignValidatesThenBlocksAndUnblocksOrComesFromTheList) {
    model_.onEnter(ctl::kBlockCallsign, "SWR");
    EXPECT_EQ(status(), "callsign 'SWR' is not valid");
    model_.onEnter(ctl::kBlockCallsign, "SWR123456");
    EXPECT_EQ(status(), "callsign 'SWR123456' is not valid");
    EXPECT_FALSE(fileWritten());
    EXPECT_FALSE(gf_workerRequests().blockCallsign.load());

    model_.onEnter(ctl::kBlockCallsign, "SWR12");
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "SWR12");
    EXPECT_TRUE(model_.state(ctl::kUnblock).enabled);
    EXPECT_TRUE(gf_workerRequests().blockCallsign.exchange(false));
    model_.onEnter(ctl::kBlockCallsign, "SWR12");
    EXPECT_EQ(status(), "callsign 'SWR12' was already set ...");
    EXPECT_FALSE(gf_workerRequests().blockCallsign.load());

    model_.onClick(ctl::kUnblock);
    EXPECT_EQ(status(), "no more blocking of live aircraft 'SWR12'");
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "");
    EXPECT_FALSE(model_.state(ctl::kUnblock).enabled);
    EXPECT_TRUE(gf_workerRequests().unblockCallsign.load());
    EXPECT_EQ(model_.state(ctl::kBlockCallsign).text, "");

    // Or chosen from the list of callsigns heard.
    model_.setCallsignList({"DLH4AB 12", "SWR12 10"});
    model_.onSelect(ctl::kCallsignList, 1);
    EXPECT_EQ(model_.chosenCallsign(), "SWR12");
    EXPECT_TRUE(model_.state(ctl::kBlock).enabled);
    EXPECT_TRUE(gf_workerRequests().fillCallsignList.exchange(false));
    model_.onClick(ctl::kBlock);
    EXPECT_EQ(gs().BLOCK_CALLSIGN.value(), "SWR12");
    EXPECT_TRUE(gf_workerRequests().blockCallsign.load());
    EXPECT_FALSE(model_.state(ctl::kBlock).enabled);
    EXPECT_TRUE(model_.state(ctl::kUnblock).enabled);
}

TEST_F(UiTest, ScanSettingsRestartOnlyOnceRealTrafficIsConnected) {
    gs().SCAN_LIVERIES.set(false);
    model_.refresh(ctl::kScanLiveries);
    model_.onClick(ctl::kScanLiveries);
    EXPECT_EQ(status(), "Your liveries will be scanned at the next start of Wendle_P3D");
    EXPECT_FALSE(gf_runControl().stopRequested());
    EXPECT_EQ(saved("SCAN_LIVERIES"), "true");

    model_.onClick(ctl::kScanLiveries);  // off again
    EXPECT_EQ(status(), "");
    rtConnected_ = true;
    model_.onClick(ctl::kScanLiveries);
    EXPECT_EQ(status(), "Your liveries will be scanned");
    EXPECT_TRUE(gf_runControl().stopRequested());
    EXPECT_EQ(gf_runControl().exitReason(), ExitReason::NewSettings);
    EXPECT_EQ(gf_runControl().restartDelay(), 2);
}

TEST_F(UiTest, DropdownsAndTheRangeSetterStoreAndAskTheWorker) {
    const ControlState& live = model_.state(ctl::kMaxLiveSel);
    model_.onSelect(ctl::kMaxLiveSel, indexOf(live, "0"));
    EXPECT_EQ(gs().MAX_LIVE_SEL.value(), 0);
    EXPECT_EQ(saved("MAX_LIVE_SEL"), "0");
    EXPECT_TRUE(gf_workerRequests().removeSurplusLive.load());

    // Only a deeper matching renews the liveries in use.
    const ControlState& depth = model_.state(ctl::kMatchingDepth);
    model_.onSelect(ctl::kMatchingDepth, indexOf(depth, "2"));
    EXPECT_FALSE(gf_workerRequests().renewMatching.load());
    model_.onSelect(ctl::kMatchingDepth, indexOf(depth, "3"));
    EXPECT_TRUE(gf_workerRequests().renewMatching.load());

    const ControlState& fit = model_.state(ctl::kMaxFitFl);
    model_.onSelect(ctl::kMaxFitFl, indexOf(fit, "1.5"));
    EXPECT_EQ(gs().MAX_FIT.value(), 2);
    EXPECT_EQ(saved("MAX_FIT"), "2");
    EXPECT_EQ(fit.selected, indexOf(fit, "1.5"));

    model_.onSelect(ctl::kRange, indexOf(model_.state(ctl::kRange), "65"));
    EXPECT_EQ(radius_, 65.0);

    // The range setter clamps, stores, selects the entry (if any) and sets the radius.
    const ControlState& r = model_.state(ctl::kRange);
    model_.setRange(50);
    EXPECT_EQ(r.selected, indexOf(r, "50"));
    EXPECT_EQ(radius_, 50.0);
    model_.setRange(7);  // inside the range, not in the list
    EXPECT_EQ(gs().RANGE.value(), 7);
    EXPECT_EQ(r.selected, -1);
    model_.setRange(5000);
    EXPECT_EQ(gs().RANGE.value(), 100);
    EXPECT_EQ(r.selected, indexOf(r, "100"));
    EXPECT_EQ(radius_, 100.0);
}

}  // namespace
}  // namespace wnd::uitest
