// The command language of the headless view: bad lines are refused with a reason and
// change nothing; good ones reach their control. An unknown command, a value not in the
// list, a control character and a disabled field: the window e2e run.
#include <gtest/gtest.h>

#include "ui/console_commands.h"
#include "ui/control_table.h"
#include "ui_fixture.h"

namespace wnd::uitest {
namespace {

TEST_F(UiTest, BadCommandLinesAreRefusedAndNothingIsSaved) {
    model_.enableAtStart();
    const std::vector<std::pair<std::string, std::string>> cases{
        {"click", "CLICK needs the name of a control"},
        {"click NO_SUCH", "unknown control 'NO_SUCH'"},
        {"click RANGE", "RANGE is a dropdown: use select"},
        {"select AEROWINX 1", "AEROWINX is a check box: use click"},
        {"click DESTINATION", "DESTINATION is an edit field: use type"},
        {"click AEROWINX now", "click takes no value ('now')"},
        {"type BLOCK_CALLSIGN " + std::string(1200, 'A'),
         "line of 1220 characters is too long (at most 1000)"},
    };
    for (const auto& [line, why] : cases) {
        EXPECT_EQ(gf_runConsoleCommand(model_, line), why) << line;
    }
    EXPECT_FALSE(fileWritten());
    EXPECT_FALSE(gs().AEROWINX.value());
    EXPECT_EQ(gf_runConsoleCommand(model_, ""), "");
    EXPECT_EQ(gf_runConsoleCommand(model_, "# a comment"), "");
}

TEST_F(UiTest, CommandsReachTheirControls) {
    model_.enableAtStart();
    model_.setEnabled(ctl::kDestination, true);
    EXPECT_EQ(gf_runConsoleCommand(model_, "click aerowinx"), "");
    EXPECT_EQ(saved("AEROWINX"), "true");
    EXPECT_EQ(gf_runConsoleCommand(model_, "select MAX_LIVE_SEL 50\r"), "");
    EXPECT_EQ(gs().MAX_LIVE_SEL.value(), 50);
    EXPECT_EQ(gf_runConsoleCommand(model_, "type DESTINATION   lszh  "), "");
    EXPECT_EQ(gs().DESTINATION.value(), "LSZH");
    EXPECT_EQ(gf_runConsoleCommand(model_, "select MAX_FIT_FL 2.5"), "");
    EXPECT_EQ(gs().MAX_FIT.value(), 4);
    model_.setCallsignList({"DLH4AB 12", "SWR12 10"});
    EXPECT_EQ(gf_runConsoleCommand(model_, "select CALLSIGN_2_OBJECTID SWR12"), "");
    EXPECT_EQ(model_.chosenCallsign(), "SWR12");
}

}  // namespace
}  // namespace wnd::uitest
