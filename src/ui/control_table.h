// The window's controls: one fixed row per control with its command identifier, place,
// kind, size and the labels painted beside it. Both views and the command language of
// the headless view read this table.
#pragma once

#include <string_view>
#include <vector>

namespace wnd {

enum class ControlKind { CheckBox, Button, Edit, Dropdown };

// Command identifiers of the controls.
namespace ctl {
inline constexpr int kInstallPath = 32788;
inline constexpr int kScanLiveries = 32798;
inline constexpr int kLigPrioritize = 32800;
inline constexpr int kAlwaysOnTop = 32771;
inline constexpr int kScanAirports = 32802;
inline constexpr int kTblo = 32804;
inline constexpr int kNavLights = 32776;
inline constexpr int kMatchingDepth = 32808;
inline constexpr int kLightAircraft = 32809;
inline constexpr int kHelicopters = 32810;
inline constexpr int kHighPerf = 32811;
inline constexpr int kAerowinx = 32774;
inline constexpr int kGuidChanges = 32773;
inline constexpr int kRange = 32818;
inline constexpr int kAutoRange = 32819;
inline constexpr int kArAboveHeight = 32820;
inline constexpr int kAirborneOnly = 32821;
inline constexpr int kBlockCallsign = 32828;
inline constexpr int kUnblock = 32829;
inline constexpr int kCsOid = 32830;
inline constexpr int kCallsignList = 32831;
inline constexpr int kBlock = 32832;
inline constexpr int kCollisionUserGnd = 32834;
inline constexpr int kCollisionUserAir = 32833;
inline constexpr int kCollisionLiveParked = 32835;
inline constexpr int kNow = 32847;
inline constexpr int kMaxParkSel = 32848;
inline constexpr int kMaxLiveSel = 32849;
inline constexpr int kStraightPbsOnly = 32855;
inline constexpr int kDestination = 32839;
inline constexpr int kAirpRange = 32840;
inline constexpr int kAirpHeight = 32841;
inline constexpr int kReread = 32838;
inline constexpr int kInitialLoadOnly = 32851;
inline constexpr int kWeek = 32853;
inline constexpr int kParkSoft = 32852;
inline constexpr int kParkingPercentage = 32850;
inline constexpr int kMaxFitFl = 32854;
inline constexpr int kFlushStatic = 32857;
}  // namespace ctl

struct LabelSpec {
    std::string_view text;
    int x = 0;
};

struct ControlSpec {
    int id = 0;
    int row = 0;  // y in pixels
    int x = 0;
    ControlKind kind = ControlKind::CheckBox;
    int width = 0;       // check boxes: 12
    int dropHeight = 0;  // dropdowns: the height of the open list
    // The parameter key it sets, or the name of its action (the headless command language).
    std::string_view name;
    std::string_view buttonText;  // buttons only
    std::vector<LabelSpec> labels;
};

// Every control, in the order of the rows.
const std::vector<ControlSpec>& gf_controlTable();
// nullptr when unknown.
const ControlSpec* gf_findControl(int id);
// By name, without regard to case; nullptr when unknown.
const ControlSpec* gf_findControl(std::string_view name);

// The height of a button and of an edit field, and the side of a check box.
inline constexpr int kButtonHeight = 20;
inline constexpr int kEditHeight = 16;
inline constexpr int kCheckBoxSide = 12;

}  // namespace wnd
