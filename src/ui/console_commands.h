// Driving the controls without a screen: one command a line, as the headless view reads
// them from standard input.
//
//   click NAME          tick a check box or press a button
//   select NAME VALUE   choose the dropdown entry shown as VALUE (the callsign list: the
//                       entry of that callsign)
//   type NAME TEXT      type TEXT (to the end of the line, may be empty) into an edit field
//                       and press Enter
//
// NAME is a control's parameter key or action name (gf_controlTable), without regard to
// case. Blank lines and lines starting with '#' are skipped.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "ui/window_model.h"
#include "util/mutex.h"

namespace wnd {

// Runs one line on the window thread. Returns "" when the command was given to its
// control, else why it was refused.
std::string gf_runConsoleCommand(WindowModel& model, std::string_view line);

// Lines read from standard input, waiting for the window thread.
class ConsoleLines {
  public:
    void push(std::string line);
    bool pop(std::string& line);

  private:
    Mutex mu_;
    std::deque<std::string> lines_ GUARDED_BY(mu_);
};

ConsoleLines& gf_consoleLines();

}  // namespace wnd
