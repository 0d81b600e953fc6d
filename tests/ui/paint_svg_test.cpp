// The picture of the window: the lamps, labels and the status line in their colours, read
// back from the SVG with an XML parser.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "ui/display_list.h"
#include "ui/svg_snapshot.h"
#include "ui_fixture.h"

namespace wnd::uitest {
namespace {

class PaintTest : public UiTest {
  protected:
    pugi::xml_document& picture() {
        svg_ = gf_svgFromDisplayList(gf_paintWindow(model_));
        const pugi::xml_parse_result r = doc_.load_string(svg_.c_str());
        EXPECT_TRUE(r) << r.description();
        return doc_;
    }
    std::string fillOf(const char* xpath) {
        return picture().select_node(xpath).node().attribute("fill").value();
    }
    // The colour of the text exactly equal to `text`; "" when not painted.
    std::string textColour(const std::string& text) {
        for (const pugi::xpath_node& n : picture().select_nodes("/svg/text")) {
            if (n.node().text().get() == text) {
                return n.node().attribute("fill").value();
            }
        }
        return "";
    }
    std::string svg_;
    pugi::xml_document doc_;
};

TEST_F(PaintTest, LampsFollowTheLinks) {
    StatusBoard& d = gf_board();
    EXPECT_EQ(fillOf("/svg/rect[@data-name='Sim']"), "#ff0000");
    EXPECT_EQ(fillOf("/svg/rect[@data-name='RT']"), "#000000");  // traffic not started
    EXPECT_EQ(textColour("Traffic"), "");                        // reader not running

    d.simLink = LinkState::Good;
    EXPECT_EQ(fillOf("/svg/rect[@data-name='Sim']"), "#ffff00");
    d.setUserAircraft("Test A320", "E24");
    EXPECT_EQ(fillOf("/svg/rect[@data-name='Sim']"), "#32cd32");
    EXPECT_EQ(textColour("Test A320, user stand E24"), "#32cd32");

    d.trafficNotStarted = false;
    d.rtLink = LinkState::Good;
    d.trafficReader = LinkState::Waiting;
    d.weatherReader = LinkState::Good;
    d.qnh = 1021;
    d.liveCount = 7;
    EXPECT_EQ(fillOf("/svg/rect[@data-name='RT']"), "#ffff00");
    EXPECT_EQ(textColour("Traffic"), "#ffff00");
    EXPECT_EQ(textColour("qnh: 1021"), "#32cd32");
    EXPECT_EQ(textColour("live:   7"), "#32cd32");
    d.trafficReader = LinkState::Good;
    EXPECT_EQ(fillOf("/svg/rect[@data-name='RT']"), "#32cd32");
    d.rtLink = LinkState::Off;
    EXPECT_EQ(fillOf("/svg/rect[@data-name='RT']"), "#ff0000");
    EXPECT_EQ(textColour("qnh: 1021"), "");
}

TEST_F(PaintTest, LabelColoursShowUnusualSettings) {
    EXPECT_EQ(textColour("Max live (park incl):"), "#000000");
    EXPECT_EQ(textColour("GUID changes"), "#000000");
    EXPECT_EQ(textColour("Ah:"), "#000000");  // AUTO_RANGE is on by default
    gs().MAX_LIVE_SEL.set(0);
    gs().GUID_CHANGES.set(false);
    gs().AUTO_RANGE.set(false);
    EXPECT_EQ(textColour("Max live (park incl):"), "#ffff00");
    EXPECT_EQ(textColour("GUID changes"), "#ffff00");
    EXPECT_EQ(textColour("Ah:"), "#a0a0a0");
    EXPECT_EQ(textColour("Max park (static+live):"), "#000000");
}

// An error on the status line until the restart: the window e2e run.
TEST_F(PaintTest, StatusLineAndItsText) {
    EXPECT_EQ(fillOf("/svg/rect[@class='status']"), "#000000");
    showStatus("RealTraffic detected at this PC", false);
    EXPECT_EQ(fillOf("/svg/rect[@class='status']"), "#32cd32");
    EXPECT_EQ(textColour("RealTraffic detected at this PC"), "#000000");
    // Control characters never reach the XML.
    showStatus("bad\x01text", false);
    EXPECT_EQ(textColour("bad?text"), "#000000");
}

TEST_F(PaintTest, StaticParkingLine) {
    StatusBoard& d = gf_board();
    d.staticParkingActive = true;
    d.parking.renewalMinutes = 12;
    EXPECT_EQ(textColour("(next in 12 min)"), "#000000");
    gs().INITIAL_LOAD_ONLY.set(true);
    EXPECT_EQ(textColour("(next in 12 min)"), "");
    EXPECT_EQ(textColour("(no next ... )"), "#000000");
    EXPECT_EQ(textColour("ILO"), "#ffff00");
}

}  // namespace
}  // namespace wnd::uitest
