// The dispatch procedure: what each message of the simulator does. Runs on the SimClient
// thread only.
#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "sim/sim_link.h"
#include "sim/sim_text.h"
#include "util/log.h"
#include "util/program.h"
#include "util/user_error.h"

namespace wnd {

namespace {

constexpr double kTeleportNm = 10.0;
constexpr double kInRangeMaxAglFt = 2500.0;
constexpr std::size_t kTitleMax = 48;

template <typename T>
bool lf_fits(DWORD size) {
    return size >= sizeof(T);
}

// The data of an object-data message and how many bytes of it arrived.
struct ObjectData {
    const std::uint8_t* bytes;
    std::size_t size;

    template <typename T>
    T at(std::size_t offset) const {
        T v{};
        std::memcpy(&v, bytes + offset, sizeof v);
        return v;
    }
    // A string of at most `field` bytes (the whole rest for a variable-length one).
    std::string_view text(std::size_t offset, std::size_t field) const {
        if (offset >= size) {
            return {};
        }
        const auto* p = reinterpret_cast<const char*>(bytes + offset);
        return {p, strnlen(p, std::min(field, size - offset))};
    }
};

ObjectData lf_objectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& d, DWORD size) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(&d);
    return {base + kSimObjectDataOffset, size - kSimObjectDataOffset};
}

void lf_newFlightStop() {
    gf_runControl().requestStop(ExitReason::NewFlight, 30);
}

}  // namespace

void SimLink::lf_dispatchProc(SIMCONNECT_RECV* msg, DWORD size, void* context) {
    auto* self = static_cast<SimLink*>(context);
    if (self->dispatchError_) {
        return;  // the thread ends once this batch is through
    }
    try {
        self->dispatch(*msg, size);
    } catch (...) {
        // Rethrown by the thread once CallDispatch is back, so the transport is not unwound.
        self->dispatchError_ = std::current_exception();
    }
}

void SimLink::dispatchForTest(SIMCONNECT_RECV* msg, DWORD size) {
    dispatch(*msg, size);
}

void SimLink::dispatch(const SIMCONNECT_RECV& msg, DWORD size) {
    switch (msg.dwID) {
        case SIMCONNECT_RECV_ID_EXCEPTION:
            if (lf_fits<SIMCONNECT_RECV_EXCEPTION>(size)) {
                onException(static_cast<const SIMCONNECT_RECV_EXCEPTION&>(msg));
            }
            break;
        case SIMCONNECT_RECV_ID_OPEN:
            if (lf_fits<SIMCONNECT_RECV_OPEN>(size)) {
                onOpen(static_cast<const SIMCONNECT_RECV_OPEN&>(msg));
            }
            break;
        case SIMCONNECT_RECV_ID_QUIT:
            running_.store(false);
            quitSeen_ = true;
            break;
        case SIMCONNECT_RECV_ID_EVENT:
            if (lf_fits<SIMCONNECT_RECV_EVENT>(size)) {
                onEvent(static_cast<const SIMCONNECT_RECV_EVENT&>(msg));
            }
            break;
        case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
            if (lf_fits<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(size)) {
                onAddRemove(static_cast<const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE&>(msg));
            }
            break;
        case SIMCONNECT_RECV_ID_EVENT_FILENAME:
            gf_logLine("SimConnect: New file event");
            onNewFlight();
            break;
        case SIMCONNECT_RECV_ID_EVENT_FRAME:
            sendFrame();
            break;
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
            if (lf_fits<SIMCONNECT_RECV_SIMOBJECT_DATA>(size)) {
                onObjectData(static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA&>(msg), size);
            }
            break;
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
            if (lf_fits<SIMCONNECT_RECV_SIMOBJECT_DATA>(size)) {
                onByType(static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA&>(msg), size);
            }
            break;
        case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
        case SIMCONNECT_RECV_ID_CLIENT_DATA:
            break;
        default:
            gf_logLine("! Unknown Dispatch dwID {}", msg.dwID);
            break;
    }
}

void SimLink::onException(const SIMCONNECT_RECV_EXCEPTION& e) {
    switch (e.dwException) {
        case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID: {
            const UserAircraftData user = userAircraft();
            if (gf_isNullPosition(user.latitude, user.longitude) || gf_runControl().ending()) {
                break;
            }
            gf_logWarning("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
            break;
        }
        case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
            throw UserErrorException(
                95, fmt::format("SimConnect Version Mismatch, dwIndex: {}", e.dwIndex));
        case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS: {
            constexpr std::string_view kText = "SimConnect: too many objects (max 1000)";
            showStatus(kText, false);
            gf_logLine(kText);
            break;
        }
        case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
            gf_logLine("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
            break;
        case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED: {
            std::uint32_t aircraftId = 0;
            bool found = false;
            {
                MutexLock lock(stateMu_);
                const auto it = std::find_if(pending_.begin(), pending_.end(),
                                             [&](const auto& p) { return p.sendId == e.dwSendID; });
                if (it != pending_.end()) {
                    found = true;
                    aircraftId = it->aircraftId;
                    pending_.erase(it);
                }
            }
            if (found && aircraftId != 0) {
                queueNotice({0, aircraftId, NoticeKind::CreationRefused, 0.0, 0.0});
            }
            break;
        }
        case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
            gf_logWarning("SimConnect exception: load flight plan failed");
            break;
        case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
            gf_logLine("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
            break;
        default:
            gf_logWarning("SIMCONNECT_EXCEPTION #{}", e.dwException);
            break;
    }
}

void SimLink::onOpen(const SIMCONNECT_RECV_OPEN& open) {
    const std::string_view raw(open.szApplicationName,
                               strnlen(open.szApplicationName, sizeof open.szApplicationName));
    if (raw.empty()) {
        gf_logLine("! Simulator name empty?");
        return;
    }
    connected_.store(true);
    const std::string filtered = gf_filterSimulatorName(raw);
    const std::string name =
        gf_simulatorName(filtered, {open.dwApplicationVersionMajor, open.dwApplicationVersionMinor,
                                    open.dwApplicationBuildMajor, open.dwApplicationBuildMinor});
    gf_logWarning("{} connected", name);
    {
        MutexLock lock(stateMu_);
        simName_ = name;
    }
    gf_requestRepaint();
    gf_checkP3dVersion(name, gs().SIM_INSTALL_PATH.value(), p3dMajor_.load());
    updateLamp();
}

void SimLink::onEvent(const SIMCONNECT_RECV_EVENT& e) {
    switch (e.uEventID) {
        case simid::kEvSim:
            running_.store(e.dwData == 1);
            gf_requestRepaint();
            break;
        case simid::kEvPositionChanged:
            gf_logLine("User ac position changed");
            lf_newFlightStop();
            break;
        case simid::kEvFlightLoaded:
            gf_logLine("SimConnect: flight loaded event");
            onNewFlight();
            break;
        default:
            break;
    }
}

void SimLink::onNewFlight() {
    userStandCheck();
    lf_newFlightStop();
}

void SimLink::onAddRemove(const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE& e) {
    if (e.eObjType != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) {
        return;
    }
    const std::uint32_t oid = e.dwData;
    if (e.uEventID == simid::kEvObjectAdded) {
        if (oid > userObjectId_.load()) {
            MutexLock lock(stateMu_);
            if (std::find(added_.begin(), added_.end(), oid) == added_.end()) {
                added_.push_back(oid);
            }
        }
    } else if (e.uEventID == simid::kEvObjectRemoved) {
        {
            // An object gone before it was identified must not wait here for ever.
            MutexLock lock(stateMu_);
            std::erase(added_, oid);
        }
        queueNotice({oid, 0, NoticeKind::ObjectRemoved, 0.0, 0.0});
    }
}

void SimLink::onObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& d, DWORD size) {
    const ObjectData data = lf_objectData(d, size);
    switch (d.dwRequestID) {
        case simid::kReqStaticCg:
            if (data.size >= 16) {
                queueNotice({d.dwObjectID, 0, NoticeKind::StaticCg, data.at<double>(0),
                             data.at<double>(8)});
            }
            break;
        case simid::kReqTitle:
            onTitle(data.text(0, data.size));
            break;
        case simid::kReqModel:
            onModel(data.text(0, 32));
            break;
        case simid::kReqOnGround:
            if (data.size >= 8) {
                onUserOnGround(data.at<std::int64_t>(0));
            }
            break;
        case simid::kReqUserPosition:
            if (data.size >= sizeof(UserAircraftData)) {
                onUserPosition(d.dwObjectID, data.at<UserAircraftData>(0));
            }
            break;
        default:
            break;
    }
}

void SimLink::onUserPosition(DWORD objectId, const UserAircraftData& reply) {
    UserAircraftData data = reply;
    if (data.altitude < 0.0) {
        data.altitude = 0.0;
    }
    const LatLon now{data.latitude, data.longitude};
    LatLon before;
    {
        MutexLock lock(stateMu_);
        before = previousUser_;
        user_ = data;
        previousUser_ = now;
    }
    if (!gf_isNullPosition(before.lat, before.lon) && !gf_isNullPosition(now.lat, now.lon) &&
        gf_distanceNm(before, now) > kTeleportNm) {
        gf_logLine("Teleport");
        lf_newFlightStop();
    }
    const std::string stand = findUserStand(now);
    bool changed = false;
    {
        MutexLock lock(stateMu_);
        if (stand != stand_) {
            stand_ = stand;
            changed = true;
        }
    }
    if (changed) {
        updateLamp();
    }
    if (const auto t = gf_simulationTime(data.zuluYear, data.zuluDayOfYear, data.zuluTime)) {
        simTime_.store(*t);
    }
    userObjectId_.store(objectId);
}

void SimLink::onTitle(std::string_view raw) {
    if (raw.empty()) {
        gf_logLine("! Title of your aircraft is empty?");
        return;
    }
    const std::string title = gf_simTextToUtf8(raw.substr(0, std::min(raw.size(), kTitleMax)));
    {
        MutexLock lock(stateMu_);
        if (title == title_) {
            return;
        }
        title_ = title;
    }
    updateLamp();
    gf_logLine("SimConnect: User aircraft title: {}", title);
}

void SimLink::onModel(std::string_view raw) {
    const std::string model = gf_simTextToUtf8(raw);
    if (model.empty()) {
        gf_resolveUserModel(model, {});  // user error 71
    }
    gf_logLine("model raw: {}", model);
    const UserModelInfo info = gf_resolveUserModel(model, userTitle());
    noAircraft_.store(info.noAircraft);
    std::string line;
    if (info.noAircraft) {
        line = fmt::format("SimConnect: User vehicle is no aircraft, taken as {}", info.model);
    } else {
        line = fmt::format("SimConnect: User aircraft model: {}", model);
    }
    if (info.deducedFromTitle) {
        gf_logLine("SimConnect: User aircraft model deduced from title: {}", info.model);
    }
    if (info.spanUnknown) {
        showStatus(
            "User aircraft wing span unknown, max is taken instead, please report in my Forum!");
    }
    {
        MutexLock lock(stateMu_);
        model_ = info;
    }
    gf_logLine("{}, half wing span: {:.1F} meter, category: {}", line,
               info.halfWingspanNm * kMetresPerNm, info.category);
}

void SimLink::onUserOnGround(std::int64_t onGround) {
    const UserAircraftData user = userAircraft();
    if (!gf_isNullPosition(user.latitude, user.longitude)) {
        onGround_.store(onGround != 0);
        onGroundKnown_.store(true);
    }
    gf_runControl().setOneSecondTick();
}

void SimLink::onByType(const SIMCONNECT_RECV_SIMOBJECT_DATA& d, DWORD size) {
    if (d.dwRequestID != simid::kReqInRange) {
        return;
    }
    const ObjectData data = lf_objectData(d, size);
    if (data.size < 24) {
        return;
    }
    const std::uint32_t oid = d.dwObjectID;
    if (oid <= userObjectId_.load()) {
        return;
    }
    const double agl = data.at<double>(0);
    const double groundAlt = data.at<double>(8);
    const std::int64_t onGround = data.at<std::int64_t>(16);
    const std::string_view atcId = data.text(24, 32);

    bool isNew = false;
    bool ours = false;
    std::uint32_t aircraftId = 0;
    {
        MutexLock lock(stateMu_);
        const auto added = std::find(added_.begin(), added_.end(), oid);
        if (added != added_.end()) {
            isNew = true;
            *added = added_.back();
            added_.pop_back();
            const auto p = std::find_if(pending_.begin(), pending_.end(),
                                        [&](const auto& c) { return c.callsign == atcId; });
            if (p != pending_.end()) {
                ours = true;
                aircraftId = p->aircraftId;
                *p = std::move(pending_.back());
                pending_.pop_back();
            }
        }
    }
    if (!isNew) {
        if (agl > kInRangeMaxAglFt || atcId.empty() || atcId.back() == '*') {
            return;
        }
        queueNotice({oid, onGround != 0 ? 1u : 0u, NoticeKind::InRange, groundAlt, agl});
        return;
    }
    if (!ours) {
        gf_logLine(
            "just spawned, but not by {}, oid: {}, callsign '{}', altaboveGnd:{:.0f} ft, "
            "onground:{}, gnd_alt:{:.0f} ft",
            kProductTitle, oid, gf_simTextToUtf8(atcId), agl, onGround, groundAlt);
        return;
    }
    // Frozen until the engine moves it.
    const HANDLE h = handle();
    if (h != nullptr && failedOn(h, SimConnect_AIReleaseControl(h, oid, simid::kReqRelease))) {
        gf_logWarning("SimConnect release control of ac fails, id {}", oid);
        handleRequestError();
    }
    queues_.addEvents({{oid, simid::kEvFreezeLatLon, 1},
                       {oid, simid::kEvFreezeAltitude, 1},
                       {oid, simid::kEvFreezeAttitude, 1}});
    if (gf_isLiveAircraftId(aircraftId)) {
        queueNotice({oid, aircraftId, NoticeKind::LiveIdentified, 0.0, agl});
    } else {
        queueNotice({oid, aircraftId, NoticeKind::StaticIdentified, 0.0, 0.0});
    }
}

}  // namespace wnd
