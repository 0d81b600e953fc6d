#include "app/duties.h"

#include <chrono>
#include <cmath>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "airports/airports_db.h"
#include "airports/closest_stand.h"
#include "airports/park_airport.h"
#include "app/worker.h"
#include "board/status_board.h"
#include "liveries/liveries.h"
#include "liveries/matching.h"
#include "parking/static_parking.h"
#include "refdata/dbase.h"
#include "rtlink/rt_link.h"
#include "scan/airport_scan.h"
#include "scan/scan_state.h"
#include "settings/settings.h"
#include "settings/sim_version.h"
#include "sim/flight_plan.h"
#include "sim/sim_link.h"
#include "traffic/engine.h"
#include "ui/control_table.h"
#include "ui/message_queue.h"
#include "ui/requests.h"
#include "ui/window.h"
#include "updater/updater.h"
#include "util/log.h"

namespace wnd::duty {

// Start-up.
bool checkForUpdates() {
    return gf_checkVersions();
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
    gf_airportScanState().setTaskLimit(count);
    gf_airportScanState().reset();
}
void scanLiveries() {
    gf_scanLiveries();
}
void processScannedLiveries() {
    gf_processScannedLiveries();
}
void scanAddonAirports() {
    gf_scanAddonAirports();
}
void createFlightPlanFolder() {
    gf_createFlightPlanFolder();
}
void readParkAirports() {
    gf_parkAirports().lf_readMyParkAirports();
}
void setDestination() {
    const std::string& destination = gs().DESTINATION.value();
    if (!destination.empty()) {
        gf_parkAirports().setDestination(destination);
    }
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
    simHooks.standNear = [](const LatLon& p) { return gf_parkAirports().standNearAnyThread(p); };
    simHooks.recordUserStand = [](const std::string& stand) {
        gf_parkAirports().noteUserStand(stand);
    };
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
    hooks.currentCycle = []() { return gf_liveEngine().cycle(); };
    hooks.removeLiveTraffic = []() { gf_liveEngine().requestRemoveAll(); };
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
    gf_liveEngine().flightStopped();
    gf_staticParking().flightStopped();
}
namespace {
// The reference airport last handed to the engine and the Traffic Reader.
bool g_followKnown = false;
std::optional<EngineParkAirport> g_followed;

// The engine and the Traffic Reader follow the park airport.
void followParkAirport() {
    const UserAircraftData u = gf_simLink().userAircraft();
    const bool onGround = gf_simLink().userOnGround().value_or(false);
    ParkAirports& park = gf_parkAirports();
    park.step({{u.latitude, u.longitude}, u.altitude, onGround});
    // The ground rules of the engine and the Traffic Reader need only where the airport is
    // and how high: the park airport, or, while its file cannot be had, the airport the user
    // stands at.
    std::optional<EngineParkAirport> reference;
    if (park.isSet()) {
        const double elevation =
            park.file().stands.empty() ? park.altitudeFt() : park.file().altitudeFt;
        reference = EngineParkAirport{park.code(), park.position(), elevation,
                                      park.file().stands.empty() ? nullptr : &park.file(),
                                      park.generation()};
    } else if (onGround) {
        if (const AirportRecord* a = gf_findClosestAirport({u.latitude, u.longitude})) {
            reference = EngineParkAirport{a->code, a->position, a->altitude};
        }
    }
    const bool same = g_followKnown && reference.has_value() == g_followed.has_value() &&
                      (!reference || (reference->code == g_followed->code &&
                                      reference->elevationFt == g_followed->elevationFt &&
                                      reference->generation == g_followed->generation));
    if (same) {
        return;
    }
    g_followKnown = true;
    g_followed = reference;
    gf_liveEngine().setParkAirport(reference);
    if (reference) {
        gf_rtLink().trafficReader().setParkAirport(
            ParkAirportRef{reference->position, reference->elevationFt});
    } else {
        gf_rtLink().trafficReader().setParkAirport(std::nullopt);
    }
}
}  // namespace

bool parkCycleStep() {
    followParkAirport();
    // Static parking follows a park airport that was read or left.
    return gf_staticParking().follow();
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
    // The link has closed: the simulator removes what this client created with it. What the
    // run learned about the park airport's stands is kept.
    gf_parkAirports().saveLearned();
    gf_staticParking().reset();
    gf_liveEngine().minuteDuty();
    gf_liveEngine().removeAllLive();
    gf_liveEngine().prepare();
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
    gf_parkAirports().reset();
    gf_staticParking().reset();
    gf_forgetClosestStands();
    g_followKnown = false;
    g_followed.reset();
}

// The engine's cycle and duties.
void prepareEngine() {
    gf_liveEngine().prepare();
    gf_liveEngine().setStaticSide(&gf_staticParking());
}
void prepareLiveriesInUse() {}
void engineCycle() {
    gf_liveEngine().lf_handleAddingStack();
    gf_staticParking().placeNext();
}
void engineIdleDuty() {
    gf_liveEngine().idleDuty();
}
void engineMinuteDuty() {
    gf_liveEngine().minuteDuty();
}
void engineDestinationQueue() {
    gf_liveEngine().handleDestinationQueue();
}
void updateStaticParking() {
    gf_staticParking().update();
}
void renewStaticParking() {
    gf_staticParking().renew();
}
bool staticParkingHasStands() {
    return gf_staticParking().hasStands();
}
void removeAllStatic() {
    gf_staticParking().removeAll();
}
void fillCallsignList() {
    std::vector<std::string> lines = gf_liveEngine().callsignList();
    for (const std::string& line : lines) {
        gf_logLine("cs->oid: {}", line);
    }
    gf_callsignListBox().put(std::move(lines));
    gf_postMessage(kMsgCallsignList);
}
void applyNavLights() {
    // Static parked aircraft follow through static parking's own request.
    const bool on = gs().NAV_LIGHTS_WHILE_PARKED.value();
    for (const LiveAircraft& ac : gf_liveEngine().live()) {
        if (ac.state == LiveState::Active && ac.phase == FlightPhase::Parked) {
            gf_simLink().commands().setNavLight(ac.controls, on);
        }
    }
}
void removeSurplusLive() {
    const auto max = static_cast<std::size_t>(std::max(0, gs().MAX_LIVE_SEL.value()));
    std::size_t active = 0;
    for (LiveAircraft& ac : gf_liveEngine().live()) {
        if (ac.state == LiveState::Active && ++active > max) {
            gf_logLine("{:8}: {:8} removed: above MAX_LIVE_SEL {}", "", ac.callsign, max);
            gf_liveEngine().removeAircraftFromSim(ac);
        }
    }
}
void recountLive() {
    int flying = 0;
    for (const LiveAircraft& ac : gf_liveEngine().live()) {
        if (ac.state == LiveState::Active && ac.phase != FlightPhase::Parked) {
            ++flying;
        }
    }
    // The window repaints the counters only when a count changed.
    if (gf_board().liveCount.exchange(flying) != flying) {
        gf_requestRepaint();
    }
}
void collisionChecks() {
    gf_liveEngine().collisionChecks();
}
void blockCallsign() {
    gf_liveEngine().blockCallsign(gs().BLOCK_CALLSIGN.value());
}
void recountParked() {
    gf_staticParking().followNavLightSetting(gs().NAV_LIGHTS_WHILE_PARKED.value());
    gf_staticParking().publishFigures();
}
void renewLiveriesInUse() {
    if (gf_workerRequests().renewMatching.exchange(false)) {
        gf_liveEngine().requestLiveryRenewal();
    }
    gf_liveEngine().renewLiveriesInUse();
}
void logUnmatched() {
    gf_liveEngine().logUnmatched();
}
void logMatchingSummary() {
    gf_writeMatchingSummary(true);
}
std::string rereadParkAirports() {
    const UserAircraftData u = gf_simLink().userAircraft();
    return gf_parkAirports().reread(
        {{u.latitude, u.longitude}, u.altitude, gf_simLink().userOnGround().value_or(false)});
}
void enableCycleControls() {
    gf_enableControl(ctl::kCsOid, true);
    // Blocking by typing a callsign makes sense once traffic can come.
    gf_enableControl(ctl::kBlockCallsign, true);
}
void enableRereadControls() {
    gf_enableControl(ctl::kReread, true);
    gf_enableControl(ctl::kDestination, true);
}

}  // namespace wnd::duty
