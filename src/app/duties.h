// The duties of a run that belong to other subsystems, called in the order of the
// start-up and closing-down sequences. Each one is the single place where the run
// frame reaches into a subsystem.
#pragma once

#include <cstdint>
#include <string>

namespace wnd::duty {

// Start-up.
bool checkForUpdates();  // false: skip the rest of the preparation
void noteRunStart();
void readDataFiles();              // reference data and airports, once per process
void noteRealTraffic(bool local);  // RealTraffic found on this computer
void noteProcessors(unsigned count);
void scanLiveries();
void processScannedLiveries();
void scanAddonAirports();
void createFlightPlanFolder();
void readParkAirports();
void setDestination();
bool startTraffic();
void runMainCycle();

// The traffic worker's calls into the simulator link.
struct UserState {
    double lat = 0.0;
    double lon = 0.0;
    double altitudeFt = 0.0;
    double aboveGroundFt = 0.0;
    bool onGround = false;
    bool onGroundKnown = false;
};
void prepareSimLink();
void startSimClient();
bool simFlightRunning();          // a running flight that is not paused
bool requestUserOnGround();       // false when the request failed
UserState requestUserPosition();  // the latest known data; asks for the next reply
void requestUserTitleAndModel();
void clearNoticeQueues();
// The park cycle step with the user's position; the engine, the Traffic Reader and static
// parking follow a changed park airport. True when a new static set was calculated.
bool parkCycleStep();

// The traffic worker's calls into the live engine, static parking and the matching.
void prepareEngine();
void prepareLiveriesInUse();
void engineCycle();
void engineIdleDuty();
void engineMinuteDuty();
void engineDestinationQueue();
void updateStaticParking();
void renewStaticParking();
bool staticParkingHasStands();
void removeAllStatic();
void fillCallsignList();   // hands the list to the window
void applyNavLights();     // NAV_LIGHTS_WHILE_PARKED on the parked live aircraft
void removeSurplusLive();  // the active live aircraft above MAX_LIVE_SEL
void recountLive();        // active and not parked, for the window
void collisionChecks();
void blockCallsign();
void recountParked();
void renewLiveriesInUse();
void logUnmatched();
void logMatchingSummary();
// Re-reads the park airports; a message to show, or "".
std::string rereadParkAirports();
// Enables the window controls that need a running cycle.
void enableCycleControls();
// The re-read of the park airports is done: its button and the destination field again.
void enableRereadControls();
// The simulator's UTC time in seconds since 1970; 0 while unknown.
std::int64_t simulationTime();

// Closing down.
void stopLinks();  // asks the links to stop
void joinLinks();  // after the wait: the simulator link has ended
void closeRealTrafficLink();
void removeParkedAndLive();
void removeFlightPlanFolder();
void endOfRunReports();
void resetRunState();

}  // namespace wnd::duty
