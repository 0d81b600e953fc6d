// The user's commands: check boxes, dropdowns, buttons and the Enter key of the edit
// fields. Wrong input gives a status message and stores nothing.
#include <fmt/format.h>

#include <algorithm>
#include <filesystem>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "ui/requests.h"
#include "ui/window_model.h"
#include "util/files.h"
#include "util/log.h"
#include "util/program.h"
#include "util/strings.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

constexpr int kRenewalMinutes = 20;

void lf_clearStatus() {
    gf_board().clearStatus();
}

// Runs a handler; what it raises is logged and the window repaints.
template <typename F>
void lf_guarded(F&& f, const std::function<void()>& repaint) {
    try {
        f();
    } catch (const std::exception& e) {
        gf_logLine("{} exception {}", "lf_HandleWMCOMMAND", e.what());
        if (repaint) {
            repaint();
        }
    }
}

}  // namespace

bool WindowModel::parkListEditing() const {
    return gf_workerRequests().parkListEditing.load();
}

void WindowModel::onClick(int id) {
    const ControlSpec* c = gf_findControl(id);
    if (c == nullptr) {
        return;
    }
    lf_guarded(
        [&] {
            if (c->kind == ControlKind::CheckBox) {
                onCheckBox(id);
            } else if (c->kind == ControlKind::Button) {
                onButton(id);
            }
        },
        repaintHook_);
    // Labels take their colour from the settings: the whole window repaints.
    repaint();
}

void WindowModel::onCheckBox(int id) {
    const ControlSpec* c = gf_findControl(id);
    auto* p = dynamic_cast<BoolParameter*>(gs().find(c->name));
    if (p == nullptr) {
        return;
    }
    ControlState& s = mut(id);
    s.checked = !s.checked;
    p->set(s.checked);
    gf_saveParameter(*p);
    changed(id);
    afterCheckBox(id, s.checked);
}

void WindowModel::scanSettingTicked(bool on, std::string_view what) {
    if (!on) {
        lf_clearStatus();
        repaint();
        return;
    }
    if (!hooks_.realTrafficConnected || !hooks_.realTrafficConnected()) {
        showStatus(
            fmt::format("Your {} will be scanned at the next start of {}", what, kProductTitle),
            false);
        return;
    }
    // The run is going: a restart scans them.
    showStatus(fmt::format("Your {} will be scanned", what));
    gf_runControl().requestStop(ExitReason::NewSettings, 2);
}

void WindowModel::afterCheckBox(int id, bool on) {
    auto statusOr = [](bool show, std::string_view text) {
        if (show) {
            showStatus(text, false);
        } else {
            lf_clearStatus();
        }
    };
    switch (id) {
        case ctl::kLigPrioritize:
            statusOr(on,
                     "Liveries, for airl+model, in lower lfolders that are already available "
                     "will be skipped");
            break;
        case ctl::kCollisionLiveParked:
            statusOr(!on,
                     "Be aware, live aircraft may collide with (run through) static parked on "
                     "the ground");
            break;
        case ctl::kCollisionUserGnd:
            statusOr(!on,
                     "Be aware, user aircraft may collide with (run through) live aircraft and "
                     "static parked on the ground");
            break;
        case ctl::kCollisionUserAir:
            statusOr(!on,
                     "Be aware, user aircraft may collide with (run through) live aircraft in "
                     "the air");
            break;
        case ctl::kInitialLoadOnly:
            statusOr(on, fmt::format("Initial Load Only: static parked aircraft are generated "
                                     "once, no renewal every {} minutes",
                                     kRenewalMinutes));
            setEnabled(ctl::kNow, !on && gf_board().staticParkingActive.load());
            repaint();
            break;
        case ctl::kAlwaysOnTop:
            statusOr(on, fmt::format("{}'s window will remain visible", kProductTitle));
            if (topMostHook_) {
                topMostHook_(on);
            }
            repaint();
            break;
        case ctl::kGuidChanges:
            statusOr(!on,
                     "Be aware, no more livery updates: you miss correct data for Learn, "
                     "LittleNavMap, etc!");
            repaint();
            break;
        case ctl::kAerowinx:
            statusOr(on, fmt::format("Note: This mode is for Aerowinx PSX users only, please "
                                     "re-start {}",
                                     kProductTitle));
            break;
        case ctl::kAutoRange:
            setEnabled(ctl::kArAboveHeight, on);
            setEnabled(ctl::kRange, !on);
            if (on) {
                manualRange_ = gs().RANGE.value();
                gf_workerRequests().applyAutoRange = true;
            } else {
                setRange(manualRange_ > 0 ? manualRange_ : gs().RANGE.value());
                lf_clearStatus();
            }
            repaint();
            break;
        case ctl::kScanAirports:
            scanSettingTicked(on, "airports");
            break;
        case ctl::kScanLiveries:
            scanSettingTicked(on, "liveries");
            break;
        case ctl::kNavLights:
            gf_workerRequests().applyNavLights = true;
            break;
        case ctl::kAirborneOnly:
            statusOr(on,
                     "Be aware, airborne live traffic only!  (greater than 300 ft above ground "
                     "...)");
            repaint();
            break;
        default:  // PARK_SOFT, WEEK, STRAIGHT_PBS_ONLY and the optional kinds
            repaint();
            break;
    }
}

void WindowModel::onSelect(int id, int index) {
    const ControlSpec* c = gf_findControl(id);
    if (c == nullptr || c->kind != ControlKind::Dropdown) {
        return;
    }
    lf_guarded(
        [&] {
            ControlState& s = mut(id);
            if (index < 0 || index >= static_cast<int>(s.entries.size())) {
                return;
            }
            if (id == ctl::kCallsignList) {
                const std::string line = s.entries[static_cast<std::size_t>(index)];
                const std::string callsign = line.substr(0, line.find(' '));
                if (callsign != chosenCallsign_) {
                    chosenCallsign_ = callsign;
                }
                s.selected = index;
                s.text.clear();
                changed(id);
                repaint();
                gf_workerRequests().fillCallsignList = true;
                setEnabled(ctl::kBlock, !state(ctl::kUnblock).enabled);
                return;
            }
            if (id == ctl::kMaxFitFl) {
                const double hours = gs().MAX_FIT_FL.allowed().at(static_cast<std::size_t>(index));
                gs().MAX_FIT_FL.set(hours);
                IntParameter& fit = gs().MAX_FIT;
                fit.set(fit.clamp(static_cast<int>(2.0 * hours) - 1));
                gf_saveParameter(fit);
                refresh(id);
                return;
            }
            auto* p = dynamic_cast<IntParameter*>(gs().find(c->name));
            if (p == nullptr) {
                return;
            }
            const int before = p->value();
            const int value = p->clamp(std::stoi(s.entries[static_cast<std::size_t>(index)]));
            p->set(value);
            gf_saveParameter(*p);
            refresh(id);
            switch (id) {
                case ctl::kRange:
                    setRange(value);
                    break;
                case ctl::kMatchingDepth:
                    if (value > before) {
                        gf_workerRequests().renewMatching = true;
                    }
                    break;
                case ctl::kMaxLiveSel:
                    gf_workerRequests().removeSurplusLive = true;
                    repaint();
                    break;
                case ctl::kMaxParkSel:
                    repaint();
                    break;
                default:
                    break;
            }
        },
        repaintHook_);
    repaint();
}

void WindowModel::unblock() {
    Settings& g = gs();
    const std::string was = g.BLOCK_CALLSIGN.value();
    g.BLOCK_CALLSIGN.set("");
    gf_saveParameter(g.BLOCK_CALLSIGN);
    refresh(ctl::kBlockCallsign);
    setEnabled(ctl::kUnblock, false);
    showStatus(fmt::format("no more blocking of live aircraft '{}'", was));
    gf_workerRequests().unblockCallsign = true;
}

void WindowModel::onButton(int id) {
    Settings& g = gs();
    WorkerRequests& req = gf_workerRequests();
    switch (id) {
        case ctl::kUnblock:
            if (g.BLOCK_CALLSIGN.empty()) {
                showStatus("Nothing to block or unblock...", false);
            } else {
                unblock();
            }
            if (!chosenCallsign_.empty()) {
                setEnabled(ctl::kBlock, true);
            }
            break;
        case ctl::kCsOid:
            req.fillCallsignList = true;
            setEnabled(ctl::kBlock, false);
            break;
        case ctl::kBlock:
            g.BLOCK_CALLSIGN.set(chosenCallsign_);
            gf_saveParameter(g.BLOCK_CALLSIGN);
            refresh(ctl::kBlockCallsign);
            setEnabled(ctl::kUnblock, true);
            req.blockCallsign = true;
            req.fillCallsignList = true;
            setEnabled(ctl::kBlock, false);
            break;
        case ctl::kReread:
            req.rereadParkAirports = true;
            setEnabled(ctl::kReread, false);
            setEnabled(ctl::kDestination, false);
            break;
        case ctl::kFlushStatic:
            showStatus("All static parked aircraft will be removed ...", false);
            req.flushStatic = true;
            setEnabled(ctl::kFlushStatic, false);
            break;
        case ctl::kTblo:
            if (!hooks_.openFolder || !hooks_.openFolder("tblo")) {
                if (hooks_.warningBox) {
                    hooks_.warningBox("Could not open File Explorer at tblo.zip.", "Wendle");
                }
            }
            break;
        case ctl::kNow:
            if (gf_board().staticParkingActive.load()) {
                if (!g.INITIAL_LOAD_ONLY.value()) {
                    // Static parking takes the request, shows when it starts and sets the
                    // countdown to the next renewal.
                    req.renewStaticNow = true;
                    repaint();
                } else {
                    lf_clearStatus();
                }
            }
            break;
        default:
            break;
    }
    repaint();
}

void WindowModel::onEnter(int id, const std::string& text) {
    lf_guarded(
        [&] {
            switch (id) {
                case ctl::kInstallPath:
                    onInstallPath(text);
                    break;
                case ctl::kBlockCallsign:
                    onBlockCallsign(text);
                    break;
                case ctl::kDestination:
                    onDestination(text);
                    break;
                default:
                    break;
            }
        },
        repaintHook_);
    repaint();
}

void WindowModel::onInstallPath(const std::string& text) {
    Settings& g = gs();
    gf_board().clearError();
    lf_clearStatus();
    mut(ctl::kInstallPath).text = text;
    if (text.empty()) {
        if (!g.SIM_INSTALL_PATH.empty()) {
            g.SIM_INSTALL_PATH.set("");
            gf_saveParameter(g.SIM_INSTALL_PATH);
        }
        return;
    }
    std::error_code ec;
    const fs::file_status st = fs::status(gf_textPath(text), ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        showStatus(fmt::format("Cannot access install path '{}': {}", text, ec.message()));
        return;
    }
    if (!fs::exists(st)) {
        showStatus(fmt::format("This install path does not exist: {}", text));
        return;
    }
    g.SIM_INSTALL_PATH.set(text);
    gf_saveParameter(g.SIM_INSTALL_PATH);
    g.ALL_INSTALL_PATH.set(text);
    showStatus(fmt::format("Install path exists, {} will restart", kProductTitle));
    if (!gf_runControl().requestStop(ExitReason::NewSettings, 3)) {
        gf_runControl().replaceSystemError(ExitReason::NewSettings, 3);
    }
}

void WindowModel::onBlockCallsign(const std::string& text) {
    Settings& g = gs();
    lf_clearStatus();
    if (text.empty()) {
        if (!g.BLOCK_CALLSIGN.empty()) {
            unblock();
        }
        return;
    }
    if (text.size() < 4 || text.size() > 8) {
        showStatus(fmt::format("callsign '{}' is not valid", text), false);
        return;
    }
    if (text == g.BLOCK_CALLSIGN.value()) {
        showStatus(fmt::format("callsign '{}' was already set ...", text), false);
        return;
    }
    g.BLOCK_CALLSIGN.set(text);
    gf_saveParameter(g.BLOCK_CALLSIGN);
    refresh(ctl::kBlockCallsign);
    setEnabled(ctl::kUnblock, true);
    gf_workerRequests().blockCallsign = true;
}

void WindowModel::onDestination(const std::string& typed) {
    Settings& g = gs();
    const std::string text = gf_toUpper(typed);
    mut(ctl::kDestination).text = text;
    changed(ctl::kDestination);
    if (text.empty()) {
        setEnabled(ctl::kDestination, true);
        g.DESTINATION.set("");
        gf_saveParameter(g.DESTINATION);
        if (hooks_.setDestination) {
            hooks_.setDestination("");
        }
        showStatus("destination set to empty");
        return;
    }
    if (text.size() != 4) {
        showStatus(fmt::format("destination '{}' is not valid", text), false);
        return;
    }
    if (text == g.DESTINATION.value()) {
        showStatus(fmt::format("destination '{}' was already set ...", text), false);
        return;
    }
    if (!hooks_.isAirport || !hooks_.isAirport(text)) {
        showStatus(fmt::format("destination '{}' is unknown ...", text), false);
        return;
    }
    g.DESTINATION.set(text);
    gf_saveParameter(g.DESTINATION);
    refresh(ctl::kDestination);
    showStatus(fmt::format("New destination: {}", text));
    if (hooks_.setDestination) {
        hooks_.setDestination(text);
    }
    setEnabled(ctl::kDestination, false);
}

}  // namespace wnd
