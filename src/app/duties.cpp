#include "app/duties.h"

#include <string_view>

#include "airports/airports_db.h"
#include "app/worker.h"
#include "liveries/liveries.h"
#include "refdata/data_versions.h"
#include "refdata/dbase.h"
#include "rtlink/rt_link.h"
#include "ui/requests.h"
#include "util/log.h"

namespace wnd::duty {

namespace {
// A duty whose subsystem is not part of this build yet.
void lf_notBuilt(std::string_view duty) {
    gf_logLine("{}: not built yet", duty);
}
}  // namespace

// Start-up.
bool checkForUpdates() {
    // The program's own version comes with the updater; the data sets are checked now.
    gf_checkDataVersionsAtStartUp();
    return true;
}
void noteRunStart() {}
void readDataFiles() {
    gf_readDataFilesOnce();
    gf_readAirportsOnce();
}
void noteRealTraffic(bool local) {
    gf_rtLink().setRealTrafficLocal(local);
}
void noteProcessors(unsigned count) {
    gf_logLine("{} processors", count);
}
void scanLiveries() {
    gf_scanLiveries();
}
void processScannedLiveries() {
    gf_processScannedLiveries();
}
void scanAddonAirports() {
    lf_notBuilt("scan the add-on airports");
}
void createFlightPlanFolder() {
    lf_notBuilt("create the flight-plan folder");
}
void readParkAirports() {
    lf_notBuilt("read the park airports");
}
void setDestination() {
    lf_notBuilt("set the destination");
}
bool startTraffic() {
    return gf_trafficWorker().startTraffic();
}
void runMainCycle() {
    gf_trafficWorker().mainCycle();
}

// Closing down.
void stopLinks() {
    gf_rtLink().stopForClosingDown();
}
void closeRealTrafficLink() {
    gf_rtLink().closeForClosingDown();
}
void removeParkedAndLive() {
    lf_notBuilt("remove the parked and live aircraft");
}
void removeFlightPlanFolder() {
    lf_notBuilt("remove the flight-plan folder");
}
void endOfRunReports() {
    gf_writeMatchingSummary(false);
}
void resetRunState() {
    gf_rtLink().reset();
    gf_trafficWorker().reset();
    gf_workerRequests().reset();
    gf_resetLiveryRunState();
}

// The simulator link.
void prepareSimLink() {
    lf_notBuilt("prepare the simulator link");
}
void startSimClient() {
    lf_notBuilt("start the simulator link");
}
bool simFlightRunning() {
    return false;
}
bool requestUserOnGround() {
    return false;
}
UserState requestUserPosition() {
    return {};
}
void requestUserTitleAndModel() {}
void clearNoticeQueues() {}
std::int64_t simulationTime() {
    return 0;
}

// The live engine, static parking and the list of unmatched traffic come with later
// subsystems; until then the worker's cycle runs with nothing to move.
void prepareEngine() {}
void prepareLiveriesInUse() {}
void engineCycle() {}
void engineIdleDuty() {}
void engineMinuteDuty() {}
void engineDestinationQueue() {}
void updateStaticParking() {}
void renewStaticParking() {}
bool staticParkingHasStands() {
    return false;
}
void removeAllStatic() {}
void fillCallsignList() {}
void collisionChecks() {}
void blockCallsign() {}
void recountParked() {}
void renewLiveriesInUse() {}
void logUnmatched() {}
void logMatchingSummary() {
    gf_writeMatchingSummary(true);
}
std::string rereadParkAirports() {
    return {};
}
void enableCycleControls() {}

}  // namespace wnd::duty
