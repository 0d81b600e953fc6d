// The duties of a run that belong to other subsystems, called in the order of the
// start-up and closing-down sequences. Each one is the single place where the run
// frame reaches into a subsystem.
#pragma once

namespace wnd::duty {

// Start-up.
bool checkForUpdates();  // false: skip the rest of the preparation
void noteRunStart();
void readDataFiles();  // reference data and airports, once per process
void noteProcessors(unsigned count);
void scanLiveries();
void processScannedLiveries();
void scanAddonAirports();
void createFlightPlanFolder();
void readParkAirports();
void setDestination();
bool startTraffic();
void runMainCycle();

// Closing down.
void stopLinks();
void closeRealTrafficLink();
void removeParkedAndLive();
void removeFlightPlanFolder();
void endOfRunReports();
void resetRunState();

}  // namespace wnd::duty
