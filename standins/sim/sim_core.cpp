// SimCore's connections, the dispatch of each client packet, and the registrations that
// need no world: the open, client events, notification groups, system event subscriptions.
#include "standins/sim/sim_core.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "util/geodesy.h"
#include "util/strings.h"

namespace wnd::simstandin {

namespace {

using scwire::PacketReader;

// Limits that keep a hostile client from growing the stand-in without bound.
constexpr std::size_t kMaxClientEvents = 10000;
constexpr std::size_t kMaxGroups = 1000;
constexpr std::size_t kMaxSubscriptions = 1000;

}  // namespace

SimCore::SimCore(Scenario scenario, std::unique_ptr<TraceWriter> trace, LogFn log)
    : scenario_(std::move(scenario)),
      start_(std::chrono::steady_clock::now()),
      log_(std::move(log)),
      simNameAnsi_(gf_utf8ToAnsi(scenario_.simName)),
      zulu0_(scenario_.zulu ? *scenario_.zulu
                            : std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count()),
      groundAltFt_(scenario_.groundAltFt
                       ? *scenario_.groundAltFt
                       : (scenario_.user.onGround ? scenario_.user.altFt - kRestHeightFt : 0.0)),
      trace_(std::move(trace)) {
    MutexLock lock(mu_);
    const UserAircraft& u = scenario_.user;
    user_.id = kUserObjectId;
    user_.isUser = true;
    user_.title = gf_utf8ToAnsi(u.title);
    user_.atcId = "N12345";
    user_.atcModel = gf_utf8ToAnsi(u.atcModel);
    user_.lat = u.lat;
    user_.lon = u.lon;
    user_.altFt = u.altFt;
    user_.headingRad = u.headingDeg * kDeg2Rad;
    user_.userOnGround = u.onGround;
    user_.gsKt = u.groundSpeedKt;
    user_.tasKt = u.groundSpeedKt;
    user_.groundAltFt = groundAltFt_;
}

SimCore::~SimCore() {
    MutexLock lock(mu_);
    if (trace_) {
        trace_->flush();
    }
}

void SimCore::log(std::string_view text) const {
    if (log_) {
        log_(text);
    }
}

double SimCore::elapsedSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::int64_t SimCore::zuluLocked() const {
    return zulu0_ + static_cast<std::int64_t>(std::floor(simSeconds_));
}

void SimCore::trace(std::string_view ev, const nlohmann::ordered_json& fields) {
    if (trace_) {
        trace_->write(elapsedSeconds(), ev, fields);
    }
}

SimState SimCore::state() const {
    MutexLock lock(mu_);
    return state_;
}

std::vector<SimObject> SimCore::aiObjects() const {
    MutexLock lock(mu_);
    std::vector<SimObject> out;
    out.reserve(objects_.size());
    for (const auto& [id, o] : objects_) {
        out.push_back(o);
    }
    return out;
}

SimObject SimCore::userAircraft() const {
    MutexLock lock(mu_);
    return user_;
}

std::size_t SimCore::clientCount() const {
    MutexLock lock(mu_);
    return clients_.size();
}

std::uint64_t SimCore::connect(std::shared_ptr<Outbox> out) {
    MutexLock lock(mu_);
    const std::uint64_t id = nextClient_++;
    Client& c = clients_[id];
    c.out = std::move(out);
    if (state_ == SimState::Quit) {
        c.closing = true;
        flushLocked();
    }
    return id;
}

void SimCore::disconnect(std::uint64_t client) {
    MutexLock lock(mu_);
    const auto it = clients_.find(client);
    if (it == clients_.end()) {
        return;
    }
    if (it->second.opened) {
        log(fmt::format("client '{}' disconnected", it->second.name));
    }
    clients_.erase(it);
    std::vector<std::uint32_t> owned;
    for (const auto& [id, o] : objects_) {
        if (o.owner == client) {
            owned.push_back(id);
        }
    }
    for (std::uint32_t id : owned) {
        removeObject(id);
    }
    flushLocked();
}

void SimCore::handlePacket(std::uint64_t client, std::span<const std::uint8_t> packet) {
    MutexLock lock(mu_);
    const auto it = clients_.find(client);
    if (it == clients_.end() || it->second.closing || packet.size() < scwire::kClientHeaderSize) {
        return;
    }
    Client& c = it->second;
    Incoming in;
    in.version = scwire::gf_readU32(packet.data() + 4);
    in.type = scwire::gf_readU32(packet.data() + 8);
    in.sendId = scwire::gf_readU32(packet.data() + 12);
    in.payload = packet.subspan(scwire::kClientHeaderSize);
    try {
        dispatchLocked(client, c, in);
    } catch (const std::exception& e) {
        log(fmt::format("packet {:#x} failed: {}", in.type, e.what()));
        exception(c, SIMCONNECT_EXCEPTION_ERROR, in.sendId, 0);
    }
    flushLocked();
}

void SimCore::dispatchLocked(std::uint64_t id, Client& c, const Incoming& in) {
    if ((in.type & scwire::kFunctionFlag) != scwire::kFunctionFlag) {
        exception(c, SIMCONNECT_EXCEPTION_ERROR, in.sendId, 0);
        return;
    }
    const std::uint32_t fn = in.type & ~scwire::kFunctionFlag;
    if (!c.opened) {
        if (fn == scwire::kOpen) {
            onOpen(c, in);
        } else {
            exception(c, SIMCONNECT_EXCEPTION_UNOPENED, in.sendId, 0);
        }
        return;
    }
    PacketReader r(in.payload);
    auto sizeOk = [&]() REQUIRES(mu_) {
        if (!r.ok()) {
            exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        }
        return r.ok();
    };
    switch (fn) {
        case scwire::kMapClientEventToSimEvent: {
            const DWORD ev = r.u32();
            const std::string name = gf_toUpper(r.fixedString(scwire::kString256));
            if (!sizeOk()) {
                return;
            }
            if (c.clientEvents.contains(ev)) {
                exception(c, SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE, in.sendId, 1);
            } else if (c.clientEvents.size() >= kMaxClientEvents) {
                exception(c, SIMCONNECT_EXCEPTION_TOO_MANY_EVENT_NAMES, in.sendId, 0);
            } else {
                c.clientEvents.emplace(ev, name);
            }
            return;
        }
        case scwire::kTransmitClientEvent:
            onTransmitEvent(id, c, in);
            return;
        case scwire::kSetSystemEventState: {
            const DWORD ev = r.u32();
            const DWORD on = r.u32();
            if (!sizeOk()) {
                return;
            }
            const auto s = c.subscriptions.find(ev);
            if (s == c.subscriptions.end()) {
                exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
            } else {
                s->second.on = on != 0;
            }
            return;
        }
        case scwire::kAddClientEventToNotificationGroup: {
            const DWORD group = r.u32();
            const DWORD ev = r.u32();
            r.u32();  // maskable: nothing here consumes events
            if (!sizeOk()) {
                return;
            }
            if (!c.clientEvents.contains(ev)) {
                exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 2);
            } else if (!c.groups.contains(group) && c.groups.size() >= kMaxGroups) {
                exception(c, SIMCONNECT_EXCEPTION_TOO_MANY_GROUPS, in.sendId, 1);
            } else {
                c.groups[group].insert(ev);
            }
            return;
        }
        case scwire::kRemoveClientEvent: {
            const DWORD group = r.u32();
            const DWORD ev = r.u32();
            if (sizeOk() && c.groups.contains(group)) {
                c.groups[group].erase(ev);
            }
            return;
        }
        case scwire::kSetNotificationGroupPriority: {
            const DWORD group = r.u32();
            const DWORD priority = r.u32();
            if (!sizeOk()) {
                return;
            }
            if (!c.groups.contains(group)) {
                exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
            } else {
                c.groupPriority[group] = priority;
            }
            return;
        }
        case scwire::kClearNotificationGroup: {
            const DWORD group = r.u32();
            if (sizeOk()) {
                c.groups.erase(group);
                c.groupPriority.erase(group);
            }
            return;
        }
        case scwire::kAddToDataDefinition:
            onAddToDataDefinition(c, in);
            return;
        case scwire::kClearDataDefinition: {
            const DWORD def = r.u32();
            if (sizeOk() && c.definitions.erase(def) == 0) {
                exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
            }
            return;
        }
        case scwire::kRequestDataOnSimObject:
            onRequestData(c, in);
            return;
        case scwire::kRequestDataOnSimObjectType:
            onRequestDataByType(c, in);
            return;
        case scwire::kSetDataOnSimObject:
            onSetData(c, in);
            return;
        case scwire::kSubscribeToSystemEvent:
            onSubscribe(c, in);
            return;
        case scwire::kUnsubscribeFromSystemEvent: {
            const DWORD ev = r.u32();
            if (sizeOk() && c.subscriptions.erase(ev) == 0) {
                exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
            }
            return;
        }
        case scwire::kAICreateNonATCAircraft:
            onCreate(id, c, in);
            return;
        case scwire::kAIReleaseControl:
            onRelease(c, in);
            return;
        case scwire::kAIRemoveObject:
            onRemove(c, in);
            return;
        case scwire::kAISetAircraftFlightPlan:
            onFlightPlan(c, in);
            return;
        case scwire::kOpen:
        default:
            // Opened twice, or a function this stand-in does not offer.
            exception(c, SIMCONNECT_EXCEPTION_ERROR, in.sendId, 0);
            return;
    }
}

void SimCore::exception(Client& c, DWORD exc, DWORD sendId, DWORD index) {
    scwire::gf_encodeRecvException(c.pending, exc, sendId, index, c.protocol);
    trace("exception", {{"id", exc}, {"send_id", sendId}});
}

SimObject* SimCore::object(DWORD id) {
    if (id == SIMCONNECT_OBJECT_ID_USER || id == kUserObjectId) {
        return &user_;
    }
    const auto it = objects_.find(id);
    return it == objects_.end() ? nullptr : &it->second;
}

void SimCore::onOpen(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const std::string name = r.fixedString(scwire::kString256);
    r.u32();
    r.skip(4);  // the client library's identity
    for (int i = 0; i < 4; ++i) {
        r.u32();
    }
    // Prepar3D speaks the FSX protocols (2 RTM, 3 SP1, 4 SP2); the newer ones are another
    // simulator's.
    if (in.version < 2 || in.version > scwire::kProtocolFsxSp2) {
        exception(c, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, in.sendId, 0);
        c.closing = true;
        log(fmt::format("client with protocol {} refused", in.version));
        return;
    }
    c.protocol = in.version;
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        c.closing = true;
        return;
    }
    c.opened = true;
    c.name = name;
    scwire::OpenReply reply;
    reply.applicationName = simNameAnsi_;
    for (std::size_t i = 0; i < 4; ++i) {
        reply.version[i] = scenario_.simVersion[i];
        reply.simConnectVersion[i] = scenario_.simVersion[i];
    }
    scwire::gf_encodeRecvOpen(c.pending, reply, c.protocol);
    log(fmt::format("client '{}' connected (protocol {})", gf_ansiToUtf8(name), in.version));
}

void SimCore::onSubscribe(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const DWORD ev = r.u32();
    const std::string name = gf_toUpper(r.fixedString(scwire::kString256));
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    static const std::pair<const char*, SysEvent> kNames[] = {
        {"SIM", SysEvent::Sim},
        {"PAUSE", SysEvent::Pause},
        {"SIMSTART", SysEvent::SimStart},
        {"SIMSTOP", SysEvent::SimStop},
        {"PAUSED", SysEvent::Paused},
        {"UNPAUSED", SysEvent::Unpaused},
        {"1SEC", SysEvent::OneSec},
        {"FRAME", SysEvent::Frame},
        {"OBJECTADDED", SysEvent::ObjectAdded},
        {"OBJECTREMOVED", SysEvent::ObjectRemoved},
        {"POSITIONCHANGED", SysEvent::PositionChanged},
        {"FLIGHTLOADED", SysEvent::FlightLoaded}};
    const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                     [&](const auto& n) { return name == n.first; });
    if (found == std::end(kNames)) {
        exception(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, in.sendId, 2);
        return;
    }
    if (!c.subscriptions.contains(ev) && c.subscriptions.size() >= kMaxSubscriptions) {
        exception(c, SIMCONNECT_EXCEPTION_ERROR, in.sendId, 1);
        return;
    }
    c.subscriptions[ev] = Subscription{found->second, true};
    // These two tell their present state at once, as the simulator does.
    if (found->second == SysEvent::Sim) {
        scwire::gf_encodeRecvEvent(c.pending, SIMCONNECT_UNUSED, ev,
                                   state_ == SimState::Running ? 1 : 0, c.protocol);
    } else if (found->second == SysEvent::Pause) {
        scwire::gf_encodeRecvEvent(c.pending, SIMCONNECT_UNUSED, ev,
                                   state_ == SimState::Paused ? 1 : 0, c.protocol);
    }
}

void SimCore::flushLocked() {
    for (auto& [id, c] : clients_) {
        if (c.pending.size() > 0) {
            c.out->post(c.pending.buffer());
            c.pending.clear();
        }
        if (c.closing && !c.closeRequested) {
            c.closeRequested = true;
            c.out->closeAfterFlush();
        }
    }
}

}  // namespace wnd::simstandin
