// The window's controls as state: what each one shows, whether it is enabled, and the
// handlers of the user's commands. Only the window thread touches it; the views mirror
// its state (the Win32 view into real child controls, the headless view into the
// snapshot). What a handler needs of the rest of the program comes through the hooks,
// which the application installs.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control_table.h"

namespace wnd {

struct ControlState {
    bool enabled = false;
    bool checked = false;              // check boxes
    std::string text;                  // edit fields; the display text of a dropdown
    std::vector<std::string> entries;  // dropdown lists
    int selected = -1;                 // dropdowns: the chosen entry, -1 for none
};

// What the handlers need from the subsystems the window does not own.
struct WindowHooks {
    // The traffic radius of the Traffic Reader (nautical miles).
    std::function<void(double)> setTrafficRadius;
    // True when the text names an airport of the airports database.
    std::function<bool(const std::string&)> isAirport;
    // True once RealTraffic has connected in this run.
    std::function<bool()> realTrafficConnected;
    // Hands a destination to the live engine.
    std::function<void(const std::string&)> setDestination;
    // Opens the file explorer at a folder; false when that failed.
    std::function<bool(const std::string&)> openFolder;
    std::function<void(std::string_view text, std::string_view title)> warningBox;
};

class WindowModel {
  public:
    WindowModel();

    void setHooks(WindowHooks hooks) { hooks_ = std::move(hooks); }
    // Called after a control's state changed (the Win32 view updates the real control),
    // for a repaint of the window, and for the top-most placement.
    void setViewHooks(std::function<void(int id)> changed, std::function<void()> repaint,
                      std::function<void(bool)> topMost);

    const ControlState& state(int id) const;
    const std::map<int, ControlState>& states() const { return states_; }

    // Right after the parameters are read: boxes ticked and enabled, lists filled.
    void enableAtStart();
    void setEnabled(int id, bool on);
    // The control shows its parameter's value again.
    void refresh(int id);
    // Every check box and dropdown (edit fields keep what the user is typing).
    void refreshAll();
    // The worker's answer to "cs->oid:".
    void setCallsignList(std::vector<std::string> lines);
    // The run reset: the chosen callsign is forgotten.
    void resetRun();

    // Before each repaint: the controls that follow the run's state ("Now" while static
    // parking is active).
    void followBoard();

    // Clamps into RANGE's range, stores it, selects the entry, sets the traffic radius.
    void setRange(int nm);

    // The user's commands (window thread). Each one catches and logs what it raises.
    // A click: a check box toggles, a button is pressed.
    void onClick(int id);
    // A dropdown's entry chosen.
    void onSelect(int id, int index);
    // Enter in an edit field with its text.
    void onEnter(int id, const std::string& text);

    // The park-airport list is being edited (its label turns yellow).
    bool parkListEditing() const;
    // The callsign chosen in the list; empty for none.
    const std::string& chosenCallsign() const { return chosenCallsign_; }

  private:
    ControlState& mut(int id);
    void changed(int id);
    void repaint();
    void onCheckBox(int id);
    void onButton(int id);
    void afterCheckBox(int id, bool on);
    void scanSettingTicked(bool on, std::string_view what);
    void onInstallPath(const std::string& text);
    void onBlockCallsign(const std::string& text);
    void onDestination(const std::string& text);
    void unblock();
    void fillDropdown(int id);

    std::map<int, ControlState> states_;
    WindowHooks hooks_;
    std::function<void(int)> changedHook_;
    std::function<void()> repaintHook_;
    std::function<void(bool)> topMostHook_;
    std::string chosenCallsign_;
    int manualRange_ = 0;  // RANGE before the automatic range took over
};

// The window of this process (window thread only).
WindowModel& gf_windowModel();

}  // namespace wnd
