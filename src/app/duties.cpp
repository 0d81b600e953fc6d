#include "app/duties.h"

#include <chrono>
#include <cmath>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "airports/airports_db.h"
#include "app/worker.h"
#include "liveries/liveries.h"
#include "liveries/matching.h"
#include "refdata/data_versions.h"
#include "refdata/dbase.h"
#include "rtlink/rt_link.h"
#include "settings/sim_version.h"
#include "sim/flight_plan.h"
#include "sim/sim_link.h"
#include "ui/requests.h"
#include "util/log.h"

namespace wnd::duty {

namespace {
// A duty whose subsystem is not part of this build yet.
void lf_notBuilt(std::string_view duty) {
    gf_logLine("{}: not built yet", duty);
}

// The live engine, static parking and the list of unmatched traffic come with later
// subsystems. Until then the cycle takes the traffic records as the engine will (two a
// cycle), so the queue never fills, and reports once a minute (and at closing down) what
// came.
std::vector<TrafficRecord> g_taken;
std::uint64_t g_recordsTaken = 0;
std::chrono::steady_clock::time_point g_countSince = std::chrono::steady_clock::now();
bool g_engineRuns = false;

void lf_logTrafficCount() {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - g_countSince).count();
    gf_logLine("Traffic: {} records in {:.0f} s ({:.1f}/s), QNH {}", g_recordsTaken, seconds,
               seconds > 0 ? static_cast<double>(g_recordsTaken) / seconds : 0.0,
               gf_rtLink().currentQnh());
    g_recordsTaken = 0;
    g_countSince = now;
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
    gf_createFlightPlanFolder();
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

// The simulator link.
void prepareSimLink() {
    gf_simLink().prepare(gf_simulatorVersion());
    SimHooks simHooks;
    simHooks.liveryRefused = [](const std::string& title) { gf_addFailedLivery(title); };
    gf_simLink().setHooks(std::move(simHooks));
    // What RealTraffic is told comes from the simulator's user aircraft and clock.
    LinkHooks hooks = gf_rtLink().hooks();
    hooks.userAircraft = []() -> std::optional<RtUserAircraft> {
        const UserAircraftData u = gf_simLink().userAircraft();
        if (std::abs(u.latitude) < 0.0001 && std::abs(u.longitude) < 0.0001) {
            return std::nullopt;
        }
        return RtUserAircraft{u.pitch,       u.bank,     u.heading,  u.altitude,
                              u.groundSpeed, u.latitude, u.longitude};
    };
    hooks.zuluTime = []() -> std::optional<ZuluTime> {
        const UserAircraftData u = gf_simLink().userAircraft();
        if (u.zuluYear <= 0) {
            return std::nullopt;
        }
        return ZuluTime{static_cast<int>(u.zuluYear), static_cast<int>(u.zuluDayOfYear),
                        static_cast<double>(u.zuluTime)};
    };
    gf_rtLink().setHooks(std::move(hooks));
}
void startSimClient() {
    gf_simLink().startClient();
}
bool simFlightRunning() {
    return gf_simLink().simulatorRunning() && !gf_simLink().simulatorPaused();
}
bool requestUserOnGround() {
    gf_simLink().requestUserOnGround();
    return !gf_simLink().commandFailure();
}
UserState requestUserPosition() {
    const UserAircraftData u = gf_simLink().requestUserPosition();
    const std::optional<bool> onGround = gf_simLink().userOnGround();
    return {
        u.latitude,          u.longitude, u.altitude, u.altAboveGround, onGround.value_or(false),
        onGround.has_value()};
}
void requestUserTitleAndModel() {
    gf_simLink().requestUserTitleAndModel();
}
void clearNoticeQueues() {
    gf_simLink().clearNotices();
}
std::int64_t simulationTime() {
    return gf_simLink().simulationTime();
}

// Closing down.
void stopLinks() {
    gf_rtLink().stopForClosingDown();
    gf_simLink().requestClientStop();
}
void joinLinks() {
    gf_simLink().joinClient();
}
void closeRealTrafficLink() {
    gf_rtLink().closeForClosingDown();
}
void removeParkedAndLive() {
    if (std::exchange(g_engineRuns, false)) {
        lf_logTrafficCount();  // the part of a minute since the last report
    }
    lf_notBuilt("remove the parked and live aircraft");
}
void removeFlightPlanFolder() {
    gf_removeFlightPlanFolder();
}
void endOfRunReports() {
    gf_writeMatchingSummary(false);
    gf_simLink().writeNoLiveryReport();
}
void resetRunState() {
    gf_rtLink().reset();
    gf_simLink().reset();
    gf_trafficWorker().reset();
    gf_workerRequests().reset();
    gf_resetLiveryRunState();
}

// The engine's cycle and duties (stand-ins until the engine exists; see above).
void prepareEngine() {
    g_recordsTaken = 0;
    g_countSince = std::chrono::steady_clock::now();
    g_engineRuns = true;
}
void prepareLiveriesInUse() {}
void engineCycle() {
    g_taken.clear();
    g_recordsTaken += gf_rtLink().queue().takeUpTo(2, g_taken);
}
void engineIdleDuty() {}
void engineMinuteDuty() {
    lf_logTrafficCount();
}
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
