// One run of the program: start-up, the traffic, closing down, and the restart.
#pragma once

namespace wnd {

// Thread body of a run: prepares everything, runs the traffic, then closes down.
void lf_startUpWendle();
// Ends a run in order and posts the restart or the end of the process.
void lf_closingDown();
// Counts the restart delay down, one second a step; false when the user closed the program
// meanwhile (then no new run starts).
bool lf_restartCountdown();
// Brings all run state back to its initial values before a restart.
void lf_runReset();

// Simulator detection from the registry when no install path is known.
void lf_detectSimulator();

// Noted at program start: which simulator versions the registry knows.
struct InstalledSimulators {
    bool v5 = false;
    bool v6 = false;
};
void gf_noteInstalledSimulators();
InstalledSimulators& gf_installedSimulators();

}  // namespace wnd
