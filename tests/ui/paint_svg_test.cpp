// The picture of the window: every control at its row and x, the lamps and the status
// line in their colours, read back from the SVG with an XML parser.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "ui/control_table.h"
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

TEST_F(PaintTest, EveryControlAndLabelAtItsRowAndX) {
    pugi::xml_document& doc = picture();
    std::size_t seen = 0;
    for (const pugi::xpath_node& n : doc.select_nodes("/svg/g[@class='control']")) {
        const int id = n.node().attribute("data-id").as_int();
        const ControlSpec* c = gf_findControl(id);
        ASSERT_NE(c, nullptr) << id;
        const pugi::xml_node box = n.node().child("rect");
        int top = c->row;
        if (c->kind == ControlKind::CheckBox) {
            top = c->row + 2;
            EXPECT_EQ(box.attribute("width").as_int(), 12);
        } else if (c->kind == ControlKind::Dropdown) {
            top = c->row - 5;
        }
        EXPECT_EQ(box.attribute("x").as_int(), c->x) << c->name;
        EXPECT_EQ(box.attribute("y").as_int(), top) << c->name;
        if (c->kind != ControlKind::CheckBox) {
            EXPECT_EQ(box.attribute("width").as_int(), c->width) << c->name;
        }
        for (const LabelSpec& l : c->labels) {
            const std::string xpath = "/svg/text[@class='label' and @x='" + std::to_string(l.x) +
                                      "' and @data-top='" + std::to_string(c->row) + "']";
            EXPECT_EQ(doc.select_node(xpath.c_str()).node().text().get(), l.text) << xpath;
        }
        ++seen;
    }
    EXPECT_EQ(seen, gf_controlTable().size());
}

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
