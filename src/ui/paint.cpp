// The paint routine: the window as a display list, from the model, the status board and
// the settings.
#include <fmt/format.h>

#include "board/status_board.h"
#include "settings/settings.h"
#include "ui/display_list.h"
#include "ui/requests.h"
#include "util/program.h"

namespace wnd {

namespace {

class Painter {
  public:
    explicit Painter(DisplayList& out) : out_(out) {}

    void fill(ItemRole role, int l, int t, int r, int b, Colour c, std::string name = {}) {
        DisplayItem i;
        i.kind = DisplayItem::Kind::FillRect;
        i.role = role;
        i.x = l;
        i.y = t;
        i.right = r;
        i.bottom = b;
        i.colour = c;
        i.name = std::move(name);
        out_.push_back(std::move(i));
    }
    void line(int x1, int y1, int x2, int y2, Colour c) {
        DisplayItem i;
        i.kind = DisplayItem::Kind::Line;
        i.role = ItemRole::Area;
        i.x = x1;
        i.y = y1;
        i.right = x2;
        i.bottom = y2;
        i.colour = c;
        out_.push_back(std::move(i));
    }
    void text(ItemRole role, int x, int y, std::string s, Colour c, Font f = Font::Normal) {
        if (s.empty()) {
            return;
        }
        DisplayItem i;
        i.kind = DisplayItem::Kind::Text;
        i.role = role;
        i.x = x;
        i.y = y;
        i.text = std::move(s);
        i.colour = c;
        i.font = f;
        out_.push_back(std::move(i));
    }
    void control(const ControlSpec& c, const ControlState& s) {
        DisplayItem i;
        i.kind = DisplayItem::Kind::Control;
        i.role = ItemRole::Control;
        i.control = &c;
        i.state = s;
        i.name = std::string(c.name);
        switch (c.kind) {
            case ControlKind::CheckBox:
                i.x = c.x;
                i.y = c.row + 2;
                i.right = c.x + kCheckBoxSide;
                i.bottom = i.y + kCheckBoxSide;
                break;
            case ControlKind::Button:
                i.x = c.x;
                i.y = c.row;
                i.right = c.x + c.width;
                i.bottom = c.row + kButtonHeight;
                i.text = std::string(c.buttonText);
                break;
            case ControlKind::Edit:
                i.x = c.x;
                i.y = c.row;
                i.right = c.x + c.width;
                i.bottom = c.row + kEditHeight;
                i.text = s.text;
                break;
            case ControlKind::Dropdown:
                i.x = c.x;
                i.y = c.row - 5;
                i.right = c.x + c.width;
                i.bottom = i.y + 21;  // the closed list
                i.text = s.selected >= 0 ? s.entries[static_cast<std::size_t>(s.selected)] : s.text;
                break;
        }
        out_.push_back(std::move(i));
    }

  private:
    DisplayList& out_;
};

Colour lf_stateColour(LinkState s) {
    switch (s) {
        case LinkState::Good:
            return colour::kLimeGreen;
        case LinkState::Waiting:
            return colour::kYellow;
        default:
            return colour::kRed;
    }
}

// Yellow for a setting out of the ordinary, grey for a control that cannot be used.
Colour lf_labelColour(const ControlSpec& c, std::string_view label, const WindowModel& model) {
    const Settings& g = gs();
    const bool enabled = model.state(c.id).enabled;
    if ((label == "Aerowinx" && g.AEROWINX.value()) ||
        (label == "Scan for liveries" && g.SCAN_LIVERIES.value()) ||
        (label == "Scan for addon airports" && g.SCAN_AIRPORTS.value()) ||
        (label == "GUID changes" && !g.GUID_CHANGES.value()) ||
        (label == "AirOnly" && g.AIRBORNE_ONLY.value()) ||
        (label == "ILO" && g.INITIAL_LOAD_ONLY.value()) ||
        (label == "Airport parking" && model.parkListEditing()) ||
        (label == "Max park (static+live):" && g.MAX_PARK_SEL.value() == 0) ||
        (label == "Max live (park incl):" && g.MAX_LIVE_SEL.value() == 0)) {
        return colour::kYellow;
    }
    if (((label == "Light aircraft" || label == "Helicopters" || label == "FighterJets") &&
         !enabled) ||
        (c.id == ctl::kArAboveHeight && !g.AUTO_RANGE.value()) ||
        (label == "Straight push backs only" && !g.STRAIGHT_PBS_ONLY.value())) {
        return colour::kGrey;
    }
    return colour::kBlack;
}

std::string lf_hours(double h) {
    return h < 0 ? std::string("-") : fmt::format("{:.1f} h", h);
}

void lf_paintHeader(Painter& p, const StatusBoard& d) {
    p.text(ItemRole::Header, 3, 7, fmt::format("Version {}", kProgramVersionText),
           colour::kLimeGreen, Font::Header);
    p.text(ItemRole::Header, 390, 7, std::string(kProductTitle), colour::kLimeGreen, Font::Header);
    const bool rtUp = d.rtLink.load() == LinkState::Good;
    const LinkState weather = d.weatherReader.load();
    const LinkState traffic = d.trafficReader.load();
    if (rtUp && (weather == LinkState::Good || weather == LinkState::Waiting)) {
        p.text(ItemRole::Header, 642, 63, fmt::format("qnh: {:4}", d.qnh.load()),
               colour::kLimeGreen);
    }
    if (rtUp && (traffic == LinkState::Good || traffic == LinkState::Waiting)) {
        p.text(ItemRole::Header, 642, 91, fmt::format("live: {:3}", d.liveCount.load()),
               colour::kLimeGreen);
    }
}

void lf_paintSimLamp(Painter& p, const StatusBoard& d) {
    const bool connected = d.simLink.load() != LinkState::Off;
    const std::string title = d.userTitle();
    const std::string stand = d.userStand();
    Colour lamp = colour::kRed;
    if (connected) {
        lamp = !title.empty() && !stand.empty() ? colour::kLimeGreen : colour::kYellow;
    }
    p.fill(ItemRole::Lamp, 397, 30, 426, 113, lamp, "Sim");
    p.text(ItemRole::Lamp, 400, 96, "Sim", colour::kBlack, Font::Small);
    const std::string park = d.parkAirportText();
    if (!park.empty()) {
        p.text(ItemRole::Label, 5, 35, fmt::format("Park airport: {}", park), colour::kLimeGreen);
    }
    if (!title.empty()) {
        p.text(ItemRole::Label, 5, 63, fmt::format("{}, user stand {}", title, stand),
               colour::kLimeGreen);
    }
    const int liveries = d.liveriesCount.load();
    p.text(ItemRole::Label, 5, 91,
           liveries < 0 ? std::string("# liveries: ...") : fmt::format("# liveries: {}", liveries),
           colour::kLimeGreen);
    const int simaddon = d.simaddonCount.load();
    p.text(ItemRole::Label, 141, 91,
           simaddon < 0 ? std::string("# simaddon: ...") : fmt::format("# simaddon: {}", simaddon),
           colour::kLimeGreen);
    p.text(ItemRole::Label, 278, 91,
           fmt::format("# thirdp: {}", d.thirdpartyCount.load() + d.orbxCount.load()),
           colour::kLimeGreen);
}

void lf_paintRtLamp(Painter& p, const StatusBoard& d) {
    const LinkState link = d.rtLink.load();
    const LinkState traffic = d.trafficReader.load();
    Colour lamp = colour::kRed;
    if (d.trafficNotStarted.load()) {
        lamp = colour::kBlack;
    } else if (link != LinkState::Off) {
        lamp = link == LinkState::Good && traffic == LinkState::Good ? colour::kLimeGreen
                                                                     : colour::kYellow;
    }
    p.fill(ItemRole::Lamp, 425, 30, 454, 113, lamp, "RT");
    p.text(ItemRole::Lamp, 430, 96, "RT", lamp == colour::kBlack ? colour::kWhite : colour::kBlack,
           Font::Small);
    auto stateText = [&](int row, std::string text, LinkState s) {
        if (s != LinkState::Hidden) {
            p.text(ItemRole::Label, 458, row, std::move(text), lf_stateColour(s));
        }
    };
    stateText(35, d.editionText(), link);
    stateText(63, "Weather", d.weatherReader.load());
    stateText(91, "Traffic", traffic);
}

void lf_paintParking(Painter& p, const StatusBoard& d, const WindowModel& model) {
    const Settings& g = gs();
    const StatusBoard::ParkingFigures& f = d.parking;
    if (g.INITIAL_LOAD_ONLY.value()) {
        p.text(ItemRole::Parking, 664, 343, "(no next ... )", colour::kBlack);
    } else if (d.staticParkingActive.load() && !model.parkListEditing()) {
        const int minutes = f.renewalMinutes.load();
        if (minutes >= 1 && minutes <= 19) {
            p.text(ItemRole::Parking, 664, 343, fmt::format("(next in {} min)", minutes),
                   colour::kBlack);
        }
    }
    const std::string park = d.parkAirportText();
    p.text(ItemRole::Parking, 5, 399,
           fmt::format("Static: {} of {} wanted ({}%), live parked: {}{}", f.staticCount.load(),
                       f.wanted.load(), f.wantedPercent.load(), f.liveParked.load(),
                       park.empty() ? std::string() : fmt::format(", at {}", park)),
           colour::kBlack, Font::Small);
    p.text(ItemRole::Parking, 5, 421,
           fmt::format("Fit real: {}, soft: {}; learned: {} updates, {} stands enlarged",
                       lf_hours(f.realFitHours.load()), lf_hours(f.softFitHours.load()),
                       f.learnedUpdates.load(), f.enlargedStands.load()),
           colour::kBlack, Font::Small);
}

}  // namespace

DisplayList gf_paintWindow(const WindowModel& model) {
    DisplayList out;
    Painter p(out);
    const StatusBoard& d = gf_board();
    // The areas: black above, the light-blue control panel, the status line.
    p.fill(ItemRole::Area, 0, 0, 880, 115, colour::kBlack);
    p.line(0, 115, 880, 115, colour::kWhite);
    p.fill(ItemRole::Area, 0, 116, 880, 446, colour::kLightBlue);
    p.line(0, 446, 880, 446, colour::kBlack);
    p.line(0, 447, 880, 447, colour::kWhite);
    p.fill(ItemRole::Area, 0, kStatusBottom, 880, 516, colour::kBlack);
    lf_paintHeader(p, d);
    lf_paintSimLamp(p, d);
    lf_paintRtLamp(p, d);
    for (const ControlSpec& c : gf_controlTable()) {
        for (const LabelSpec& l : c.labels) {
            p.text(ItemRole::Label, l.x, c.row, std::string(l.text),
                   lf_labelColour(c, l.text, model));
        }
        p.control(c, model.state(c.id));
    }
    if (const std::string tblo = d.tbloRequest(); !tblo.empty()) {
        p.text(ItemRole::Label, 283, 175, tblo, colour::kRed);
    }
    lf_paintParking(p, d, model);
    // The status line: the error wins over the status message.
    const std::string error = d.error();
    const std::string status = d.status();
    if (!error.empty()) {
        p.fill(ItemRole::Status, 0, kStatusTop, 881, kStatusBottom, colour::kRed, "error");
        p.text(ItemRole::Status, 5, kStatusTop + 7, error, colour::kBlack);
    } else if (!status.empty()) {
        p.fill(ItemRole::Status, 0, kStatusTop, 881, kStatusBottom, colour::kLimeGreen, "status");
        p.text(ItemRole::Status, 5, kStatusTop + 7, status, colour::kBlack);
    } else {
        p.fill(ItemRole::Status, 0, kStatusTop, 881, kStatusBottom, colour::kBlack, "empty");
    }
    return out;
}

}  // namespace wnd
