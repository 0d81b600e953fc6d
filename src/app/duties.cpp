#include "app/duties.h"

#include <string_view>

#include "airports/airports_db.h"
#include "refdata/data_versions.h"
#include "refdata/dbase.h"
#include "util/log.h"

namespace wnd::duty {

namespace {
// A duty whose subsystem is not part of this build yet.
void lf_notBuilt(std::string_view duty) {
    gf_logLine("{}: not built yet", duty);
}
}  // namespace

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
void noteProcessors(unsigned count) {
    gf_logLine("{} processors", count);
}
void scanLiveries() {
    lf_notBuilt("scan the liveries");
}
void processScannedLiveries() {
    lf_notBuilt("process the scanned liveries");
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
    lf_notBuilt("start the traffic");
    return false;
}
void runMainCycle() {
    lf_notBuilt("run the main cycle");
}

void stopLinks() {
    lf_notBuilt("stop the simulator link and the readers");
}
void closeRealTrafficLink() {
    lf_notBuilt("close the RealTraffic link");
}
void removeParkedAndLive() {
    lf_notBuilt("remove the parked and live aircraft");
}
void removeFlightPlanFolder() {
    lf_notBuilt("remove the flight-plan folder");
}
void endOfRunReports() {
    lf_notBuilt("write the matching summary");
}
void resetRunState() {}

}  // namespace wnd::duty
