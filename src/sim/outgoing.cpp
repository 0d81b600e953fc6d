// What goes to the simulator: the traffic worker's requests and AI calls, which go out at
// once, and the frame's sending of the outgoing queues. No lock is held across a call: the
// transport may wait on a stalled simulator, and nothing else must wait with it.
#include <fmt/format.h>

#include <fstream>

#include "board/status_board.h"
#include "settings/settings.h"
#include "sim/flight_plan.h"
#include "sim/sim_link.h"
#include "sim/sim_text.h"
#include "util/files.h"
#include "util/log.h"
#include "util/time.h"

namespace wnd {

// ---- Requests (traffic worker) ----

UserAircraftData SimLink::requestUserPosition() {
    const HANDLE h = handle();
    if (!commandFailure_.load() && h != nullptr &&
        failedOn(h, SimConnect_RequestDataOnSimObject(
                        h, simid::kReqUserPosition, simid::kDefUserAircraft,
                        SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE))) {
        gf_logWarning("SimConnect request user ac position fails");
        handleRequestError();
    }
    return userAircraft();
}

void SimLink::requestUserTitleAndModel() {
    const HANDLE h = handle();
    if (h == nullptr) {
        return;
    }
    if (failedOn(h, SimConnect_RequestDataOnSimObject(h, simid::kReqTitle, simid::kDefTitle,
                                                      SIMCONNECT_OBJECT_ID_USER,
                                                      SIMCONNECT_PERIOD_ONCE))) {
        gf_logWarning("SimConnect request user ac title fails");
        handleRequestError();
    }
    if (failedOn(h, SimConnect_RequestDataOnSimObject(h, simid::kReqModel, simid::kDefModel,
                                                      SIMCONNECT_OBJECT_ID_USER,
                                                      SIMCONNECT_PERIOD_ONCE))) {
        gf_logWarning("SimConnect reques user ac model fails");
        handleRequestError();
    }
}

void SimLink::requestUserOnGround() {
    const HANDLE h = handle();
    if (h != nullptr && failedOn(h, SimConnect_RequestDataOnSimObject(
                                        h, simid::kReqOnGround, simid::kDefOnGround,
                                        SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND))) {
        gf_logWarning("SimConnect request ac gnd/air fails");
        handleRequestError();
    }
}

void SimLink::requestAircraftInRange() {
    const HANDLE h = handle();
    if (commandFailure_.load() || h == nullptr) {
        return;
    }
    const auto radius = static_cast<DWORD>(gs().RANGE.value()) * 1852u;
    if (failedOn(
            h, SimConnect_RequestDataOnSimObjectType(h, simid::kReqInRange, simid::kDefInRange,
                                                     radius, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT))) {
        gf_logWarning("SimConnect request ac within range fails");
        handleRequestError();
    }
}

void SimLink::requestStaticCg(std::uint32_t objectId) {
    const HANDLE h = handle();
    if (commandFailure_.load() || h == nullptr) {
        return;
    }
    if (failedOn(h, SimConnect_RequestDataOnSimObject(h, simid::kReqStaticCg, simid::kDefStaticCg,
                                                      objectId, SIMCONNECT_PERIOD_ONCE))) {
        gf_logWarning("SimConnect request StaticCG fails");
        handleRequestError();
    }
}

void SimLink::setSpoilersAndThrust(std::uint32_t objectId, double spoilersPercent,
                                   double throttle1Percent, double throttle2Percent) {
    const HANDLE h = handle();
    if (commandFailure_.load() || h == nullptr || objectId <= userObjectId_.load()) {
        return;
    }
    double data[3] = {spoilersPercent, throttle1Percent, throttle2Percent};
    if (failedOn(h, SimConnect_SetDataOnSimObject(h, simid::kDefAiThrust, objectId,
                                                  SIMCONNECT_DATA_SET_FLAG_DEFAULT, 0, sizeof data,
                                                  data))) {
        gf_logWarning("SimConnect set spoilers and thrust fails, id {}", objectId);
        handleRequestError();
    }
}

bool SimLink::setFlightPlan(std::uint32_t objectId, int category, std::string_view origin,
                            std::string_view destination, std::string_view ident) {
    if (origin.empty() || destination.empty()) {
        return false;
    }
    bool ok = false;
    const std::filesystem::path path = gf_flightPlanPath(objectId);
    bool written = false;
    if (!gf_flightPlanFolder().empty()) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << gf_flightPlanText(category, origin, destination);
        out.close();
        written = !out.fail();
    }
    const HANDLE h = handle();
    if (written && h != nullptr && !commandFailure_.load()) {
        if (const auto ansi = gf_utf8ToSimText(gf_pathText(path))) {
            const HRESULT hr = SimConnect_AISetAircraftFlightPlan(h, objectId, ansi->c_str(),
                                                                  simid::kReqFlightPlan);
            ok = !gf_scFailed(hr);
            if (failedOn(h, hr)) {
                handleRequestError();
            }
        }
    }
    if (!ok) {
        gf_logWarning("{} creating a flight plan failed", ident);
    }
    return ok;
}

// ---- The frame (the thread that dispatches) ----

bool SimLink::sendFrame() {
    if (!queues_.tryTake(sending_)) {
        // The engine holds the lock: everything waits for the next frame.
        framesBusy_.fetch_add(1);
        return false;
    }
    if (!commandFailure_.load() && handle() != nullptr) {
        sendBatch(sending_);
    }
    sending_.clear();
    framesSent_.fetch_add(1);
    return true;
}

void SimLink::sendBatch(const CommandBatch& batch) {
    const HANDLE h = handle();
    const std::uint32_t user = userObjectId_.load();
    for (const PositionCommand& p : batch.positions) {
        if (commandFailure_.load()) {
            return;
        }
        if (p.objectId <= user) {
            continue;
        }
        AiPosition pos = p.position;
        if (failedOn(h, SimConnect_SetDataOnSimObject(h, simid::kDefAiPosition, p.objectId,
                                                      SIMCONNECT_DATA_SET_FLAG_DEFAULT, 0,
                                                      sizeof pos, &pos))) {
            gf_logWarning("SimConnect call to set position of AI ac failed, id {}", p.objectId);
            handleRequestError();
        }
    }
    for (const ClientEventCommand& e : batch.events) {
        if (commandFailure_.load()) {
            return;
        }
        if (e.objectId <= user) {
            continue;  // never the user's aircraft or an object of the simulator's own
        }
        const bool flaps = e.eventId == simid::kEvFlaps;
        auto release = [&] {
            if (failedOn(h, SimConnect_AIReleaseControl(h, e.objectId, simid::kReqRelease))) {
                gf_logWarning("SimConnect release control of ac fails, id {}", e.objectId);
                handleRequestError();
            }
        };
        if (flaps) {
            release();
        }
        if (gf_scFailed(SimConnect_TransmitClientEvent(
                h, e.objectId, e.eventId, e.data, simid::kGroup, SIMCONNECT_EVENT_FLAG_DEFAULT))) {
            showStatus(fmt::format("SimConnect TransmitClientEvent: {} fails", e.eventId));
        }
        if (flaps) {
            release();
        }
    }
    for (const CreateRequest& c : batch.creations) {
        if (commandFailure_.load()) {
            return;
        }
        sendCreation(h, c);
    }
    for (std::uint32_t oid : batch.removals) {
        if (commandFailure_.load()) {
            return;
        }
        if (oid <= user) {
            gf_logWarning("SimConnect call to remove ac with objectid {}", oid);
            continue;
        }
        if (failedOn(h, SimConnect_AIRemoveObject(h, oid, simid::kReqRemove))) {
            gf_logWarning("{} !SimConnect call to remove AI ac from sim failed, id {}?",
                          gf_utcClock(), oid);
            handleRequestError();
        }
    }
}

void SimLink::sendCreation(HANDLE h, const CreateRequest& c) {
    // The simulator reads its texts in its ANSI code page.
    const std::string title = gf_utf8ToSimText(c.liveryTitle).value_or(c.liveryTitle);
    const std::string tail = gf_utf8ToSimText(c.tailNumber).value_or(c.tailNumber);
    const HRESULT hr = SimConnect_AICreateNonATCAircraft(h, title.c_str(), tail.c_str(),
                                                         c.initPosition, simid::kReqCreate);
    if (gf_scFailed(hr)) {
        if (failedOn(h, hr)) {
            gf_logWarning(
                "! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
                c.aircraftId, c.liveryTitle, c.tailNumber);
            handleRequestError();
        }
        return;
    }
    DWORD sendId = 0;
    if (gf_scFailed(SimConnect_GetLastSentPacketID(h, &sendId))) {
        gf_logWarning("GetLastSentPacketID");
        sendId = 0;
    }
    MutexLock lock(stateMu_);
    pending_.push_back({sendId, c.aircraftId, tail});
}

std::vector<PendingCreation> SimLink::pendingCreations() const {
    MutexLock lock(stateMu_);
    return pending_;
}

std::vector<std::uint32_t> SimLink::addedObjects() const {
    MutexLock lock(stateMu_);
    return added_;
}

}  // namespace wnd
