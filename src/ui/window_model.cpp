#include "ui/window_model.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "board/status_board.h"
#include "settings/settings.h"
#include "util/log.h"
#include "util/no_destructor.h"

namespace wnd {

namespace {

std::string lf_floatEntry(double v) {
    return fmt::format("{:.1f}", v);
}

}  // namespace

WindowModel& gf_windowModel() {
    static NoDestructor<WindowModel> m;
    return *m;
}

WindowModel::WindowModel() {
    // The state at window creation: boxes ticked from their parameter and enabled, buttons
    // and edit fields disabled, lists filled and set to their value.
    for (const ControlSpec& c : gf_controlTable()) {
        ControlState& s = states_[c.id];
        s.enabled = c.kind == ControlKind::CheckBox || c.kind == ControlKind::Dropdown;
    }
    for (const ControlSpec& c : gf_controlTable()) {
        if (c.kind == ControlKind::Dropdown) {
            fillDropdown(c.id);
        }
        if (c.kind != ControlKind::Button && c.id != ctl::kCallsignList) {
            refresh(c.id);
        }
    }
}

void WindowModel::setViewHooks(std::function<void(int)> changed, std::function<void()> repaint,
                               std::function<void(bool)> topMost) {
    changedHook_ = std::move(changed);
    repaintHook_ = std::move(repaint);
    topMostHook_ = std::move(topMost);
}

const ControlState& WindowModel::state(int id) const {
    static const ControlState none;
    const auto it = states_.find(id);
    return it == states_.end() ? none : it->second;
}

ControlState& WindowModel::mut(int id) {
    return states_[id];
}

void WindowModel::changed(int id) {
    if (changedHook_) {
        changedHook_(id);
    }
}

void WindowModel::repaint() {
    if (repaintHook_) {
        repaintHook_();
    }
}

void WindowModel::fillDropdown(int id) {
    const ControlSpec* c = gf_findControl(id);
    if (c == nullptr) {
        return;
    }
    ControlState& s = mut(id);
    s.entries.clear();
    if (id == ctl::kMaxFitFl) {
        for (double v : gs().MAX_FIT_FL.allowed()) {
            s.entries.push_back(lf_floatEntry(v));
        }
    } else if (auto* p = dynamic_cast<IntParameter*>(gs().find(c->name)); p != nullptr) {
        for (int v : p->allowed()) {
            s.entries.push_back(std::to_string(v));
        }
    }
    changed(id);
}

void WindowModel::refresh(int id) {
    const ControlSpec* c = gf_findControl(id);
    Parameter* p = c == nullptr ? nullptr : gs().find(c->name);
    if (c == nullptr || p == nullptr) {
        gf_logLine("GetDlgItem failed for ID {}", id);
        return;
    }
    ControlState& s = mut(id);
    if (auto* b = dynamic_cast<BoolParameter*>(p); b != nullptr) {
        s.checked = b->value();
    } else if (c->kind == ControlKind::Dropdown) {
        // Setting the text selects the entry with that text; a value not in the list
        // leaves none selected.
        s.text = id == ctl::kMaxFitFl ? lf_floatEntry(gs().MAX_FIT_FL.value()) : p->valueText();
        const auto it = std::find(s.entries.begin(), s.entries.end(), s.text);
        s.selected = it == s.entries.end() ? -1 : static_cast<int>(it - s.entries.begin());
    } else {
        s.text = p->valueText();
    }
    changed(id);
}

void WindowModel::refreshAll() {
    for (const ControlSpec& c : gf_controlTable()) {
        if ((c.kind == ControlKind::CheckBox || c.kind == ControlKind::Dropdown) &&
            c.id != ctl::kCallsignList) {
            refresh(c.id);
        }
    }
}

void WindowModel::setEnabled(int id, bool on) {
    ControlState& s = mut(id);
    if (s.enabled != on) {
        s.enabled = on;
        changed(id);
    }
}

void WindowModel::enableAtStart() {
    const Settings& g = gs();
    for (const ControlSpec& c : gf_controlTable()) {
        if (c.kind == ControlKind::CheckBox) {
            setEnabled(c.id, true);
            refresh(c.id);
        } else if (c.kind == ControlKind::Dropdown && c.id != ctl::kCallsignList) {
            fillDropdown(c.id);
            refresh(c.id);
            setEnabled(c.id, true);
        }
    }
    setEnabled(ctl::kRange, !g.AUTO_RANGE.value());
    setEnabled(ctl::kArAboveHeight, g.AUTO_RANGE.value());
    setEnabled(ctl::kUnblock, !g.BLOCK_CALLSIGN.empty());
    for (int id : {ctl::kBlock, ctl::kCallsignList, ctl::kCsOid, ctl::kDestination, ctl::kNow,
                   ctl::kParkingPercentage}) {
        setEnabled(id, false);
    }
    gs().parking_percentage.set(30);
    refresh(ctl::kParkingPercentage);
    refresh(ctl::kBlockCallsign);
    repaint();
}

void WindowModel::setCallsignList(std::vector<std::string> lines) {
    ControlState& s = mut(ctl::kCallsignList);
    s.entries = std::move(lines);
    s.selected = -1;
    s.text.clear();
    setEnabled(ctl::kCallsignList, true);
    changed(ctl::kCallsignList);
}

void WindowModel::resetRun() {
    chosenCallsign_.clear();
    ControlState& s = mut(ctl::kCallsignList);
    s.entries.clear();
    s.selected = -1;
    s.text.clear();
    changed(ctl::kCallsignList);
}

void WindowModel::setRange(int nm) {
    IntParameter& range = gs().RANGE;
    range.set(range.clamp(nm));
    refresh(ctl::kRange);
    if (hooks_.setTrafficRadius) {
        hooks_.setTrafficRadius(static_cast<double>(range.value()));
    }
}

void WindowModel::followBoard() {
    setEnabled(ctl::kNow, !gs().INITIAL_LOAD_ONLY.value() && gf_board().staticParkingActive.load());
}

}  // namespace wnd
