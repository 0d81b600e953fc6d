// The SimClient thread: opens the connection (every 100 ms until the simulator answers),
// registers what the program uses, and pumps the messages every millisecond.
#include <fmt/format.h>

#include <chrono>
#include <condition_variable>
#include <optional>
#include <utility>

#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "sim/sim_link.h"
#include "util/log.h"
#include "util/program.h"
#include "util/time.h"
#include "util/user_error.h"

namespace wnd {

namespace {

using namespace std::chrono_literals;

constexpr const char* kTag = "SimClient";

struct Datum {
    DWORD def;
    const char* name;
    const char* units;
    SIMCONNECT_DATATYPE type;
};

constexpr auto kF64 = SIMCONNECT_DATATYPE_FLOAT64;
constexpr auto kI64 = SIMCONNECT_DATATYPE_INT64;

// The nine definitions, each in the order its variables are added.
constexpr Datum kData[] = {
    {simid::kDefAiThrust, "SPOILERS HANDLE POSITION", "percent", kF64},
    {simid::kDefAiThrust, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", kF64},
    {simid::kDefAiThrust, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", kF64},
    {simid::kDefAiPosition, "Plane Latitude", "degree", kF64},
    {simid::kDefAiPosition, "Plane Longitude", "degree", kF64},
    {simid::kDefAiPosition, "Plane Pitch degrees", "radians", kF64},
    {simid::kDefAiPosition, "Plane Bank degrees", "radians", kF64},
    {simid::kDefAiPosition, "Plane Heading degrees true", "radians", kF64},
    {simid::kDefAiPosition, "Plane Altitude", "feet", kF64},
    {simid::kDefAiPosition, "Vertical Speed", "feet per second", kF64},
    {simid::kDefAiPosition, "Airspeed True", "knots", kF64},
    {simid::kDefUserAircraft, "Plane Latitude", "degree", kF64},
    {simid::kDefUserAircraft, "Plane Longitude", "degree", kF64},
    {simid::kDefUserAircraft, "Plane Pitch degrees", "radians", kF64},
    {simid::kDefUserAircraft, "Plane Bank degrees", "radians", kF64},
    {simid::kDefUserAircraft, "Plane Heading degrees true", "radians", kF64},
    {simid::kDefUserAircraft, "Plane Altitude", "feet", kF64},
    {simid::kDefUserAircraft, "Plane Alt Above Ground", "feet", kF64},
    {simid::kDefUserAircraft, "Ground Velocity", "knots", kF64},
    {simid::kDefUserAircraft, "ZULU TIME", "Seconds", kI64},
    {simid::kDefUserAircraft, "ZULU DAY OF YEAR", "Number", kI64},
    {simid::kDefUserAircraft, "ZULU YEAR", "Number", kI64},
    {simid::kDefUserAircraft, "LIGHT STATES", "Mask", kI64},
    {simid::kDefInRange, "Plane Alt Above Ground", "feet", kF64},
    {simid::kDefInRange, "Ground Altitude", "feet", kF64},
    {simid::kDefInRange, "SIM ON GROUND", "Bool", kI64},
    {simid::kDefInRange, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32},
    {simid::kDefStaticCg, "Static CG to Ground", "feet", kF64},
    {simid::kDefStaticCg, "Static Pitch", "radians", kF64},
    {simid::kDefLightOnStates, "Light On States", "Mask", kI64},
    {simid::kDefTitle, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV},
    {simid::kDefModel, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32},
    {simid::kDefOnGround, "SIM ON GROUND", "Bool", kI64},
};

struct NamedId {
    DWORD id;
    const char* name;
};

constexpr NamedId kSystemEvents[] = {
    {simid::kEvSim, "Sim"},
    {simid::kEvObjectAdded, "ObjectAdded"},
    {simid::kEvObjectRemoved, "ObjectRemoved"},
    {simid::kEvPositionChanged, "PositionChanged"},
    {simid::kEvFlightLoaded, "FlightLoaded"},
    {simid::kEvFrame, "Frame"},
};

constexpr NamedId kClientEvents[] = {
    {simid::kEvGear, "GEAR_SET"},
    {simid::kEvEngineStart, "ENGINE_AUTO_START"},
    {simid::kEvEngineShutdown, "ENGINE_AUTO_SHUTDOWN"},
    {simid::kEvThrottle, "THROTTLE_SET"},
    {simid::kEvFlaps, "FLAPS_SET"},
    {simid::kEvSpoilers, "SPOILERS_SET"},
    {simid::kEvNavLights, "NAV_LIGHTS_SET"},
    {simid::kEvBeaconLights, "BEACON_LIGHTS_SET"},
    {simid::kEvLandingLights, "LANDING_LIGHTS_SET"},
    {simid::kEvTaxiLights, "TAXI_LIGHTS_SET"},
    {simid::kEvStrobes, "STROBES_SET"},
    {simid::kEvLogoLights, "LOGO_LIGHTS_SET"},
    {simid::kEvCabinLights, "CABIN_LIGHTS_SET"},
    {simid::kEvAllLightsToggle, "ALL_LIGHTS_TOGGLE"},
    {simid::kEvFreezeLatLon, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {simid::kEvFreezeAltitude, "FREEZE_ALTITUDE_SET"},
    {simid::kEvFreezeAttitude, "FREEZE_ATTITUDE_SET"},
};

// Every client event but ENGINE_AUTO_START, in the group's order.
constexpr DWORD kGrouped[] = {
    simid::kEvNavLights,      simid::kEvBeaconLights,
    simid::kEvLandingLights,  simid::kEvTaxiLights,
    simid::kEvStrobes,        simid::kEvLogoLights,
    simid::kEvCabinLights,    simid::kEvAllLightsToggle,
    simid::kEvFlaps,          simid::kEvSpoilers,
    simid::kEvGear,           simid::kEvEngineShutdown,
    simid::kEvThrottle,       simid::kEvFreezeLatLon,
    simid::kEvFreezeAltitude, simid::kEvFreezeAttitude,
};

// Sleeps until the deadline on the steady clock, or until the stop token is set.
void lf_sleepUntil(std::chrono::steady_clock::time_point deadline, const std::stop_token& stop) {
    Mutex mu;
    std::condition_variable_any cv;
    MutexLock lock(mu);
    cv.wait_until(lock, stop, deadline, [] { return false; });
}

}  // namespace

bool SimLink::registerAll(HANDLE h) {
    int failed = 0;
    auto check = [&](HRESULT hr) { failed += gf_scFailed(hr) ? 1 : 0; };
    for (const NamedId& e : kSystemEvents) {
        check(SimConnect_SubscribeToSystemEvent(h, e.id, e.name));
    }
    for (const Datum& d : kData) {
        check(SimConnect_AddToDataDefinition(h, d.def, d.name, d.units, d.type, 0.0f,
                                             SIMCONNECT_UNUSED));
    }
    for (const NamedId& e : kClientEvents) {
        check(SimConnect_MapClientEventToSimEvent(h, e.id, e.name));
    }
    for (DWORD id : kGrouped) {
        check(SimConnect_AddClientEventToNotificationGroup(h, simid::kGroup, id, 1));
    }
    check(SimConnect_SetNotificationGroupPriority(h, simid::kGroup,
                                                  SIMCONNECT_GROUP_PRIORITY_HIGHEST));
    if (failed > 0) {
        // A broken connection shows at the next dispatch as a quit.
        gf_logWarning("SimConnect registration: {} calls failed", failed);
    }
    return failed == 0;
}

void SimLink::closeHandle() {
    // Cleared before the close: a call the worker makes meanwhile fails on a handle that is
    // no longer the link's, which is no request error.
    const HANDLE h = handle_.exchange(nullptr);
    if (h == nullptr) {
        return;
    }
    if (gf_scFailed(SimConnect_Close(h))) {
        gf_logWarning("Closing SimConnect failed?!");
    } else {
        gf_logLine("SimConnect closed ok");
    }
}

void SimLink::disconnected() {
    running_.store(false);
    if (!gf_runControl().ending()) {
        gf_logLine("{} Flight Simulator no longer connected, {} will stop ...", gf_utcClock(),
                   kProductTitle);
        gf_runControl().requestStop(ExitReason::SimWasClosed, 0);
    }
}

void SimLink::clientBody(std::stop_token stop) {
    bool started = false;
    bool disconnectDone = false;
    auto disconnectOnce = [&] {
        if (!disconnectDone) {
            disconnectDone = true;
            disconnected();
        }
    };
    try {
        bool firstPass = true;
        quitSeen_ = false;
        dispatchError_ = nullptr;
        while (true) {
            if (gf_runControl().stopRequested() || closingDown_.load() || stop.stop_requested()) {
                break;
            }
            if (firstPass) {
                firstPass = false;
                started = true;
                showStatus(fmt::format("Waiting for Prepar3Dv{} ...", p3dMajor_.load()));
                gf_flushLog();
            }
            closeHandle();
            HANDLE h = nullptr;
            if (gf_scFailed(SimConnect_Open(&h, "Wendle_P3D", nullptr, 0, nullptr, 0)) ||
                h == nullptr) {
                lf_sleepUntil(std::chrono::steady_clock::now() + 100ms, stop);
                continue;
            }
            handle_.store(h);
            registerAll(h);
            dispatchLoop(h, stop);
            if (quitSeen_) {
                // The simulator is gone: its handle is dead and stays so.
                disconnectOnce();
            }
            break;
        }
    } catch (const UserErrorException& e) {
        showError(e.what());
    } catch (const std::exception& e) {
        showError(e.what());
        disconnectOnce();
    } catch (...) {
        showError(fmt::format("Exception in {}", kTag));
        disconnectOnce();
    }
    try {
        running_.store(false);  // no connection, no running flight
        if (started) {
            userStandCheck();
            connected_.store(false);
            updateLamp();
        }
        closeHandle();
    } catch (const std::exception& e) {
        gf_logWarning("{} exception: {}", kTag, e.what());
    } catch (...) {
        gf_logWarning("Exception in {}", kTag);
    }
    clientRunning_.store(false);
}

void SimLink::dispatchLoop(HANDLE h, const std::stop_token& stop) {
    const platform::TimerResolution resolution;
    while (!stop.stop_requested()) {
        const HRESULT hr = SimConnect_CallDispatch(h, &SimLink::lf_dispatchProc, this);
        const auto end = std::chrono::steady_clock::now();
        if (dispatchError_) {
            std::rethrow_exception(std::exchange(dispatchError_, nullptr));
        }
        if (quitSeen_) {
            return;
        }
        if (gf_scFailed(hr)) {
            // The link broke (or stalled) under a running simulator: a restart may find it
            // again.
            gf_logWarning("SimConnect_CallDispatch fails, error {:#x}",
                          static_cast<std::uint32_t>(hr));
            handleRequestError();
            return;
        }
        std::this_thread::sleep_until(end + 1ms);
    }
}

void SimLink::userStandCheck() {
    if (!onGroundKnown_.load()) {
        return;
    }
    UserAircraftData user;
    {
        MutexLock lock(stateMu_);
        user = user_;
    }
    if (user.groundSpeed > 2.0) {
        return;
    }
    const std::string stand = findUserStand({user.latitude, user.longitude});
    if (stand.empty()) {
        return;
    }
    std::function<void(const std::string&)> record;
    {
        MutexLock lock(hooksMu_);
        record = hooks_.recordUserStand;
    }
    if (record) {
        record(stand);
    }
}

std::string SimLink::findUserStand(const LatLon& pos) {
    if (!onGroundKnown_.load() || !onGround_.load()) {
        return std::string(kDefaultStandText);
    }
    {
        MutexLock lock(stateMu_);
        if (standCachePos_ && standCachePos_->lat == pos.lat && standCachePos_->lon == pos.lon) {
            return standCache_;
        }
    }
    std::function<std::string(const LatLon&)> lookup;
    {
        MutexLock lock(hooksMu_);
        lookup = hooks_.standNear;
    }
    std::string stand = lookup ? lookup(pos) : std::string(kDefaultStandText);
    MutexLock lock(stateMu_);
    standCachePos_ = pos;
    standCache_ = stand;
    return stand;
}

void SimLink::updateLamp() {
    std::string title;
    std::string stand;
    {
        MutexLock lock(stateMu_);
        title = title_;
        stand = stand_;
    }
    gf_board().setUserAircraft(title, stand);
    const LinkState state = !connected_.load()                   ? LinkState::Off
                            : (!title.empty() && !stand.empty()) ? LinkState::Good
                                                                 : LinkState::Waiting;
    gf_board().simLink.store(state);
    gf_requestRepaint();
}

}  // namespace wnd
