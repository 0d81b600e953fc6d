#include "ui/control_table.h"

#include "util/no_destructor.h"
#include "util/strings.h"

namespace wnd {

namespace {

using K = ControlKind;

std::vector<ControlSpec> lf_makeTable() {
    using namespace ctl;
    auto box = [](int id, int row, int x, std::string_view name, std::vector<LabelSpec> labels) {
        return ControlSpec{id, row, x, K::CheckBox, kCheckBoxSide, 0, name, {}, std::move(labels)};
    };
    auto button = [](int id, int row, int x, int width, std::string_view name,
                     std::string_view text) {
        return ControlSpec{id, row, x, K::Button, width, 0, name, text, {}};
    };
    auto edit = [](int id, int row, int x, int width, std::string_view name,
                   std::vector<LabelSpec> labels) {
        return ControlSpec{id, row, x, K::Edit, width, 0, name, {}, std::move(labels)};
    };
    auto drop = [](int id, int row, int x, int width, int height, std::string_view name,
                   std::vector<LabelSpec> labels) {
        return ControlSpec{id, row, x, K::Dropdown, width, height, name, {}, std::move(labels)};
    };
    return {
        edit(kInstallPath, 119, 111, 1200, "ALL_INSTALL_PATH", {{"Install path:", 5}}),
        box(kScanLiveries, 147, 5, "SCAN_LIVERIES", {{"Scan for liveries", 25}}),
        box(kLigPrioritize, 147, 536, "LIG_PRIORITIZE", {{"Prioritize", 556}}),
        box(kAlwaysOnTop, 147, 748, "ALWAYS_ON_TOP", {{"Stay on top", 768}}),
        box(kScanAirports, 175, 5, "SCAN_AIRPORTS", {{"Scan for addon airports", 25}}),
        button(kTblo, 175, 217, 60, "TBLO", "tblo"),
        box(kNavLights, 175, 748, "NAV_LIGHTS_WHILE_PARKED", {{"Nav lights", 768}}),
        drop(kMatchingDepth, 203, 217, 40, 120, "MATCHING_DEPTH",
             {{"Max aircraft matching depth", 5}}),
        box(kLightAircraft, 203, 323, "LIGHT_AIRCRAFT",
            {{"Optional:", 258}, {"Light aircraft", 343}}),
        box(kHelicopters, 203, 430, "HELICOPTERS", {{"Helicopters", 450}}),
        box(kHighPerf, 203, 536, "HIGH_PERF_AIRCRAFT", {{"FighterJets", 556}}),
        box(kAerowinx, 203, 652, "AEROWINX", {{"Aerowinx", 672}}),
        box(kGuidChanges, 203, 748, "GUID_CHANGES", {{"GUID changes", 768}}),
        drop(kRange, 231, 217, 50, 200, "RANGE",
             {{"Traffic injection", 5}, {"Radius:", 163}, {"nm, or", 270}}),
        box(kAutoRange, 231, 323, "AUTO_RANGE", {{"Auto range", 343}}),
        drop(kArAboveHeight, 231, 455, 70, 230, "AR_ABOVE_HEIGHT", {{"Ah:", 430}, {"ft", 536}}),
        box(kAirborneOnly, 231, 572, "AIRBORNE_ONLY", {{"AirOnly", 592}}),
        edit(kBlockCallsign, 259, 107, 100, "BLOCK_CALLSIGN", {{"Block callsign:", 5}}),
        button(kUnblock, 257, 223, 60, "UNBLOCK", "Unblock"),
        button(kCsOid, 257, 305, 60, "CS_OID", "cs->oid:"),
        drop(kCallsignList, 259, 375, 100, 300, "CALLSIGN_2_OBJECTID", {}),
        button(kBlock, 257, 576, 60, "BLOCK", "Block"),
        box(kCollisionUserGnd, 287, 217, "COLLISION_USER_GND",
            {{"Collision avoidance", 5}, {"User ground", 237}}),
        box(kCollisionUserAir, 287, 323, "COLLISION_USER_AIR", {{"User air", 343}}),
        box(kCollisionLiveParked, 287, 430, "COLLISION_LIVE_PARKED_GND", {{"Live X parked", 450}}),
        button(kNow, 313, 111, 45, "NOW", "Now"),
        drop(kMaxParkSel, 315, 323, 55, 144, "MAX_PARK_SEL",
             {{"Airport parking", 5}, {"Max park (static+live):", 171}}),
        drop(kMaxLiveSel, 315, 536, 55, 144, "MAX_LIVE_SEL", {{"Max live (park incl):", 401}}),
        box(kStraightPbsOnly, 315, 652, "STRAIGHT_PBS_ONLY", {{"Straight push backs only", 672}}),
        edit(kDestination, 343, 217, 50, "DESTINATION", {{"Destination:", 137}}),
        drop(kAirpRange, 343, 353, 45, 144, "AIRP_RANGE", {{"Range:", 303}, {"nm", 403}}),
        drop(kAirpHeight, 343, 566, 70, 230, "AIRP_HEIGHT",
             {{"Height above gnd:", 440}, {"ft", 646}}),
        button(kReread, 341, 758, 90, "REREAD", "Re-read"),
        box(kInitialLoadOnly, 371, 5, "INITIAL_LOAD_ONLY", {{"ILO", 25}}),
        box(kWeek, 371, 71, "WEEK", {{"Week", 91}}),
        box(kParkSoft, 371, 151, "PARK_SOFT", {{"Soft", 171}}),
        drop(kParkingPercentage, 371, 323, 50, 200, "parking_percentage",
             {{"Target: ", 264}, {"%", 378}}),
        drop(kMaxFitFl, 371, 566, 60, 300, "MAX_FIT_FL", {{"Max fit:", 506}, {"hrs", 632}}),
        button(kFlushStatic, 369, 758, 90, "FLUSH_STATIC", "Flush static"),
    };
}

}  // namespace

const std::vector<ControlSpec>& gf_controlTable() {
    static NoDestructor<std::vector<ControlSpec>> table(lf_makeTable());
    return *table;
}

const ControlSpec* gf_findControl(int id) {
    for (const ControlSpec& c : gf_controlTable()) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

const ControlSpec* gf_findControl(std::string_view name) {
    const std::string wanted = gf_toUpper(name);
    for (const ControlSpec& c : gf_controlTable()) {
        if (gf_toUpper(c.name) == wanted) {
            return &c;
        }
    }
    return nullptr;
}

}  // namespace wnd
