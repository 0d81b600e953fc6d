#include "standins/sim/sim_core.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "util/geodesy.h"
#include "util/strings.h"

namespace wnd::simstandin {

namespace {

using scwire::PacketReader;
using scwire::PacketWriter;

// Limits that keep a hostile client from growing the stand-in without bound.
constexpr std::size_t kMaxDefinitions = 1000;
constexpr std::size_t kMaxDatums = 1000;
constexpr std::size_t kMaxRequests = 1000;
constexpr std::size_t kMaxClientEvents = 10000;
constexpr std::size_t kMaxGroups = 1000;
constexpr std::size_t kMaxSubscriptions = 1000;

constexpr double kFeetPerSecondPerKnot = 1.6878098571011957;

std::size_t datumSize(DWORD type) {
    switch (type) {
        case SIMCONNECT_DATATYPE_INT32:
        case SIMCONNECT_DATATYPE_FLOAT32:
            return 4;
        case SIMCONNECT_DATATYPE_INT64:
        case SIMCONNECT_DATATYPE_FLOAT64:
        case SIMCONNECT_DATATYPE_STRING8:
            return 8;
        case SIMCONNECT_DATATYPE_STRING32:
            return 32;
        case SIMCONNECT_DATATYPE_STRING64:
            return 64;
        case SIMCONNECT_DATATYPE_STRING128:
            return 128;
        case SIMCONNECT_DATATYPE_STRING256:
            return 256;
        case SIMCONNECT_DATATYPE_STRING260:
            return 260;
        default:
            return 0;  // STRINGV: as long as its text
    }
}

template <typename Int>
Int clampTo(double d) {
    if (!std::isfinite(d)) {
        return 0;
    }
    constexpr auto lo = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr auto hi = static_cast<double>(std::numeric_limits<Int>::max());
    return d <= lo ? std::numeric_limits<Int>::min()
                   : (d >= hi ? std::numeric_limits<Int>::max() : static_cast<Int>(d));
}

std::string asText(const Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) {
        return *s;
    }
    return fmt::format("{}", std::get<double>(v));
}

double asNumber(const Value& v) {
    const auto* d = std::get_if<double>(&v);
    return d != nullptr ? *d : 0.0;
}

void writeValue(PacketWriter& w, DWORD type, const Value& v) {
    switch (type) {
        case SIMCONNECT_DATATYPE_INT32:
            w.i32(clampTo<std::int32_t>(asNumber(v)));
            break;
        case SIMCONNECT_DATATYPE_INT64:
            w.u64(static_cast<std::uint64_t>(clampTo<std::int64_t>(asNumber(v))));
            break;
        case SIMCONNECT_DATATYPE_FLOAT32:
            w.f32(static_cast<float>(asNumber(v)));
            break;
        case SIMCONNECT_DATATYPE_FLOAT64:
            w.f64(asNumber(v));
            break;
        case SIMCONNECT_DATATYPE_STRINGV: {
            const std::string s = asText(v);
            w.bytes(s.data(), s.size());
            w.zeros(4 - s.size() % 4);  // the NUL, padded to four bytes
            break;
        }
        default:
            w.fixedString(asText(v), datumSize(type));
            break;
    }
}

Value readValue(PacketReader& r, DWORD type) {
    switch (type) {
        case SIMCONNECT_DATATYPE_INT32:
            return static_cast<double>(r.i32());
        case SIMCONNECT_DATATYPE_INT64:
            return static_cast<double>(static_cast<std::int64_t>(r.u64()));
        case SIMCONNECT_DATATYPE_FLOAT32:
            return static_cast<double>(r.f32());
        case SIMCONNECT_DATATYPE_FLOAT64:
            return r.f64();
        default:
            return r.fixedString(datumSize(type));
    }
}

double degrees(double rad) {
    double d = std::fmod(rad * kRad2Deg, 360.0);
    return d < 0 ? d + 360.0 : d;
}

nlohmann::ordered_json positionFields(const SimObject& o) {
    return {{"oid", o.id},
            {"lat", o.lat},
            {"lon", o.lon},
            {"alt_ft", o.altFt},
            {"pitch_deg", o.pitchRad * kRad2Deg},
            {"bank_deg", o.bankRad * kRad2Deg},
            {"hdg_deg", degrees(o.headingRad)},
            {"vs_fps", o.vsFps},
            {"tas_kt", o.tasKt},
            {"on_ground", o.onGround()}};
}

const char* stateName(SimState s) {
    switch (s) {
        case SimState::Running:
            return "running";
        case SimState::Paused:
            return "paused";
        case SimState::Quit:
            return "quit";
    }
    return "?";
}

}  // namespace

struct SimCore::Incoming {
    std::uint32_t version = 0;
    std::uint32_t type = 0;
    DWORD sendId = 0;
    std::span<const std::uint8_t> payload;
};

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

void SimCore::markStarted() {
    MutexLock lock(mu_);
    trace("state", {{"sim", stateName(state_)}});
    if (trace_) {
        trace_->flush();
    }
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

void SimCore::onAddToDataDefinition(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const DWORD defineId = r.u32();
    const std::string name = r.fixedString(scwire::kString256);
    const std::string units = r.fixedString(scwire::kString256);
    const DWORD type = r.u32();
    r.f32();  // epsilon
    const DWORD datumId = r.u32();
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    if (type < SIMCONNECT_DATATYPE_INT32 || type > SIMCONNECT_DATATYPE_STRINGV) {
        exception(c, SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, in.sendId, 4);
        return;
    }
    if (!c.definitions.contains(defineId) && c.definitions.size() >= kMaxDefinitions) {
        exception(c, SIMCONNECT_EXCEPTION_ERROR, in.sendId, 1);
        return;
    }
    Definition& def = c.definitions[defineId];
    if (def.datums.size() >= kMaxDatums) {
        exception(c, SIMCONNECT_EXCEPTION_ERROR, in.sendId, 1);
        return;
    }
    Datum d;
    d.type = type;
    d.datumId = datumId;
    d.var = gf_resolveSimVar(name, units);
    // Kept even when unknown, so the sizes stay what the client counts on; it reads as 0.
    if (d.var.var == nullptr) {
        exception(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, in.sendId, 2);
    } else if (!d.var.unitKnown) {
        exception(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, in.sendId, 3);
    }
    def.datums.push_back(d);
    def.hasStringV = def.hasStringV || type == SIMCONNECT_DATATYPE_STRINGV;
    def.fixedSize += datumSize(type);
}

bool SimCore::sendObjectData(Client& c, DWORD requestId, DWORD defineId, const Definition& def,
                             const SimObject& o, DWORD recvId, DWORD flags, DWORD entry,
                             DWORD outOf, Request* changed) {
    PacketWriter& data = scratch_;
    data.clear();
    const ReadContext ctx{zuluLocked()};
    const bool tagged = (flags & SIMCONNECT_DATA_REQUEST_FLAG_TAGGED) != 0;
    for (const Datum& d : def.datums) {
        if (tagged) {
            data.u32(d.datumId);
        }
        writeValue(data, d.type, gf_readSimVar(d.var, o, ctx));
    }
    if (changed != nullptr && (flags & SIMCONNECT_DATA_REQUEST_FLAG_CHANGED) != 0) {
        if (changed->sent > 0 && changed->last == data.buffer()) {
            return false;
        }
        changed->last = data.buffer();
    }
    scwire::ObjectDataHeader h;
    h.recvId = recvId;
    h.requestId = requestId;
    h.objectId = o.id;
    h.defineId = defineId;
    h.flags = flags;
    h.entryNumber = entry;
    h.outOf = outOf;
    h.defineCount = static_cast<DWORD>(def.datums.size());
    scwire::gf_beginRecvObjectData(c.pending, h, c.protocol);
    c.pending.bytes(data.buffer().data(), data.size());
    c.pending.endServer();
    return true;
}

void SimCore::onRequestData(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    Request rq;
    const DWORD requestId = r.u32();
    rq.defineId = r.u32();
    rq.objectId = r.u32();
    rq.period = r.u32();
    rq.flags = r.u32();
    r.u32();  // origin: the first reply comes at once
    rq.interval = r.u32();
    rq.limit = r.u32();
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    const auto def = c.definitions.find(rq.defineId);
    if (def == c.definitions.end()) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 2);
        return;
    }
    if (rq.period > SIMCONNECT_PERIOD_SECOND) {
        exception(c, SIMCONNECT_EXCEPTION_INVALID_ENUM, in.sendId, 4);
        return;
    }
    if (rq.period == SIMCONNECT_PERIOD_NEVER) {
        c.requests.erase(requestId);
        return;
    }
    const SimObject* o = object(rq.objectId);
    if (o == nullptr) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 3);
        return;
    }
    if (rq.period == SIMCONNECT_PERIOD_ONCE) {
        c.requests.erase(requestId);
        sendObjectData(c, requestId, rq.defineId, def->second, *o,
                       SIMCONNECT_RECV_ID_SIMOBJECT_DATA, rq.flags, 0, 0, nullptr);
        return;
    }
    if (!c.requests.contains(requestId) && c.requests.size() >= kMaxRequests) {
        exception(c, SIMCONNECT_EXCEPTION_TOO_MANY_REQUESTS, in.sendId, 1);
        return;
    }
    Request& stored = c.requests[requestId] = std::move(rq);
    if (sendObjectData(c, requestId, stored.defineId, def->second, *o,
                       SIMCONNECT_RECV_ID_SIMOBJECT_DATA, stored.flags, 0, 0, &stored)) {
        ++stored.sent;
    }
}

void SimCore::onRequestDataByType(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const DWORD requestId = r.u32();
    const DWORD defineId = r.u32();
    const DWORD radius = std::min(r.u32(), kMaxRadiusMeters);
    const DWORD type = r.u32();
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    const auto def = c.definitions.find(defineId);
    if (def == c.definitions.end()) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 2);
        return;
    }
    if (type > SIMCONNECT_SIMOBJECT_TYPE_GROUND) {
        exception(c, SIMCONNECT_EXCEPTION_INVALID_ENUM, in.sendId, 4);
        return;
    }
    std::vector<const SimObject*> found;
    const bool aircraft =
        type == SIMCONNECT_SIMOBJECT_TYPE_ALL || type == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    if (aircraft || type == SIMCONNECT_SIMOBJECT_TYPE_USER) {
        found.push_back(&user_);
    }
    if (aircraft && radius > 0) {
        const LatLon here{user_.lat, user_.lon};
        for (const auto& [id, o] : objects_) {
            if (gf_distanceNm(here, {o.lat, o.lon}) * kMetresPerNm <= radius) {
                found.push_back(&o);
            }
        }
    }
    const auto outOf = static_cast<DWORD>(found.size());
    for (DWORD i = 0; i < outOf; ++i) {
        sendObjectData(c, requestId, defineId, def->second, *found[i],
                       SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 0, i + 1, outOf, nullptr);
    }
}

void SimCore::onSetData(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const DWORD defineId = r.u32();
    const DWORD objectId = r.u32();
    const DWORD flags = r.u32();
    const DWORD count = std::max<DWORD>(r.u32(), 1);
    const DWORD unitSize = r.u32();
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    const auto defIt = c.definitions.find(defineId);
    if (defIt == c.definitions.end()) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
        return;
    }
    const Definition& def = defIt->second;
    SimObject* o = object(objectId);
    if (o == nullptr) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 2);
        return;
    }
    const auto data = r.bytes(r.remaining());
    bool moved = false;
    auto apply = [&](const Datum& d, const Value& v) {
        if (gf_writeSimVar(d.var, *o, v) && gf_isPositionVar(d.var)) {
            moved = true;
        }
    };
    if ((flags & SIMCONNECT_DATA_SET_FLAG_TAGGED) != 0) {
        PacketReader t(data);
        while (t.remaining() >= 4) {
            const DWORD datumId = t.u32();
            const auto d = std::find_if(def.datums.begin(), def.datums.end(),
                                        [&](const Datum& x) { return x.datumId == datumId; });
            if (d == def.datums.end()) {
                exception(c, SIMCONNECT_EXCEPTION_DATUM_ID, in.sendId, 0);
                return;
            }
            if (d->type == SIMCONNECT_DATATYPE_STRINGV) {
                exception(c, SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, in.sendId, 0);
                return;
            }
            const Value v = readValue(t, d->type);
            if (!t.ok()) {
                exception(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, in.sendId, 0);
                return;
            }
            apply(*d, v);
        }
    } else {
        if (def.hasStringV) {
            exception(c, SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, in.sendId, 0);
            return;
        }
        if (unitSize != def.fixedSize ||
            data.size() != static_cast<std::uint64_t>(count) * unitSize) {
            exception(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, in.sendId, 5);
            return;
        }
        PacketReader e(data);
        for (DWORD i = 0; i < count; ++i) {
            for (const Datum& d : def.datums) {
                apply(d, readValue(e, d.type));
            }
        }
    }
    if (moved && !o->isUser) {
        o->positionSet = true;
    }
    setDataApplied_.fetch_add(1, std::memory_order_relaxed);
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

void SimCore::onTransmitEvent(std::uint64_t id, Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const DWORD objectId = r.u32();
    const DWORD ev = r.u32();
    const DWORD data = r.u32();
    r.u32();  // group
    r.u32();  // flags
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    const auto mapped = c.clientEvents.find(ev);
    if (mapped == c.clientEvents.end()) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 2);
        return;
    }
    SimObject* o = object(objectId);
    if (o == nullptr) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
        return;
    }
    const std::string name = mapped->second;
    gf_applySimEvent(name, data, *o);
    trace("client_event", {{"oid", o->id}, {"name", gf_ansiToUtf8(name)}, {"data", data}});
    // Other clients hear of it through their notification groups.
    for (auto& [otherId, other] : clients_) {
        if (otherId == id || !other.opened || other.closing) {
            continue;
        }
        for (const auto& [group, events] : other.groups) {
            for (DWORD e : events) {
                const auto n = other.clientEvents.find(e);
                if (n != other.clientEvents.end() && n->second == name) {
                    scwire::gf_encodeRecvEvent(other.pending, group, e, data, other.protocol);
                }
            }
        }
    }
}

void SimCore::onCreate(std::uint64_t id, Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const std::string title = r.fixedString(scwire::kString256);
    const std::string tail = r.fixedString(scwire::kTailNumberField);
    SIMCONNECT_DATA_INITPOSITION pos{};
    pos.Latitude = r.f64();
    pos.Longitude = r.f64();
    pos.Altitude = r.f64();
    pos.Pitch = r.f64();
    pos.Bank = r.f64();
    pos.Heading = r.f64();
    pos.OnGround = r.u32();
    pos.Airspeed = r.u32();
    const DWORD requestId = r.u32();
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    const std::string titleUtf8 = gf_ansiToUtf8(title);
    const std::string tailUtf8 = gf_ansiToUtf8(tail);
    const bool refused =
        title.empty() || std::find(scenario_.refuseTitles.begin(), scenario_.refuseTitles.end(),
                                   titleUtf8) != scenario_.refuseTitles.end();
    const bool placeable = std::isfinite(pos.Latitude) && std::isfinite(pos.Longitude) &&
                           std::isfinite(pos.Altitude) && std::abs(pos.Latitude) <= 90.0 &&
                           std::abs(pos.Longitude) <= 180.0 && std::isfinite(pos.Heading) &&
                           std::isfinite(pos.Pitch) && std::isfinite(pos.Bank);
    if (refused || !placeable) {
        trace("refused", {{"title", titleUtf8}, {"tail", tailUtf8}});
        exception(c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, in.sendId, 0);
        return;
    }
    if (objects_.size() >= scenario_.objectLimit) {
        exception(c, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, in.sendId, 0);
        return;
    }
    SimObject o;
    o.id = nextObjectId_++;
    o.owner = id;
    o.title = title;
    o.atcId = tail;
    o.lat = pos.Latitude;
    o.lon = pos.Longitude;
    o.groundAltFt = groundAltFt_;
    o.altFt = pos.OnGround != 0 ? groundAltFt_ + kRestHeightFt : pos.Altitude;
    o.pitchRad = pos.Pitch * kDeg2Rad;
    o.bankRad = pos.Bank * kDeg2Rad;
    o.headingRad = pos.Heading * kDeg2Rad;
    o.tasKt = static_cast<double>(pos.Airspeed);
    o.gsKt = o.tasKt;
    o.gearDown = o.onGround();
    const SimObject& stored = objects_.emplace(o.id, o).first->second;
    scwire::gf_encodeRecvAssignedObjectId(c.pending, requestId, stored.id, c.protocol);
    sendSystemEvent(SysEvent::ObjectAdded, stored.id);
    trace("create", {{"oid", stored.id},
                     {"title", titleUtf8},
                     {"tail", tailUtf8},
                     {"lat", stored.lat},
                     {"lon", stored.lon},
                     {"alt_ft", stored.altFt},
                     {"hdg_deg", degrees(stored.headingRad)},
                     {"on_ground", stored.onGround()}});
}

void SimCore::onRelease(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const DWORD objectId = r.u32();
    r.u32();
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    SimObject* o = object(objectId);
    if (o == nullptr) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
    } else if (o->isUser) {
        exception(c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, in.sendId, 1);
    } else {
        o->released = true;
        trace("release", {{"oid", o->id}});
    }
}

void SimCore::onRemove(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const DWORD objectId = r.u32();
    r.u32();
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    const SimObject* o = object(objectId);
    if (o == nullptr) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
    } else if (o->isUser) {
        exception(c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, in.sendId, 1);
    } else {
        removeObject(o->id);
    }
}

void SimCore::onFlightPlan(Client& c, const Incoming& in) {
    PacketReader r(in.payload);
    const DWORD objectId = r.u32();
    const std::string path = r.fixedString(scwire::kPathField);
    r.u32();
    if (!r.ok()) {
        exception(c, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, in.sendId, 0);
        return;
    }
    SimObject* o = object(objectId);
    if (o == nullptr) {
        exception(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, in.sendId, 1);
        return;
    }
    if (o->isUser) {
        exception(c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, in.sendId, 1);
        return;
    }
    // The simulator takes the path with or without its ".pln".
    std::error_code ec;
    const bool exists = !path.empty() && (std::filesystem::is_regular_file(path, ec) ||
                                          std::filesystem::is_regular_file(path + ".pln", ec));
    if (!exists) {
        exception(c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, in.sendId, 2);
        return;
    }
    o->flightPlan = path;
    trace("flight_plan", {{"oid", o->id}, {"path", gf_ansiToUtf8(path)}});
}

void SimCore::removeObject(std::uint32_t id) {
    if (objects_.erase(id) == 0) {
        return;
    }
    for (auto& [cid, c] : clients_) {
        std::erase_if(c.requests, [&](const auto& kv) { return kv.second.objectId == id; });
    }
    sendSystemEvent(SysEvent::ObjectRemoved, id);
    trace("remove", {{"oid", id}});
}

void SimCore::sendSystemEvent(SysEvent kind, DWORD data) {
    for (auto& [id, c] : clients_) {
        if (!c.opened || c.closing) {
            continue;
        }
        for (const auto& [ev, sub] : c.subscriptions) {
            if (sub.kind != kind || !sub.on) {
                continue;
            }
            switch (kind) {
                case SysEvent::ObjectAdded:
                case SysEvent::ObjectRemoved:
                    scwire::gf_encodeRecvEventAddRemove(
                        c.pending, ev, data, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT, c.protocol);
                    break;
                case SysEvent::FlightLoaded:
                    scwire::gf_encodeRecvEventFilename(c.pending, ev, "Flights\\Wendle-sim.fxml", 0,
                                                       c.protocol);
                    break;
                case SysEvent::Frame:
                    scwire::gf_encodeRecvEventFrame(
                        c.pending, ev, static_cast<float>(scenario_.frameRate), 1.0f, c.protocol);
                    break;
                default:
                    scwire::gf_encodeRecvEvent(c.pending, SIMCONNECT_UNUSED, ev, data, c.protocol);
                    break;
            }
        }
    }
}

void SimCore::setStateLocked(SimState s) {
    if (s == state_ || state_ == SimState::Quit) {
        return;
    }
    state_ = s;
    trace("state", {{"sim", stateName(s)}});
    log(fmt::format("simulator {}", stateName(s)));
    switch (s) {
        case SimState::Running:
            sendSystemEvent(SysEvent::Sim, 1);
            sendSystemEvent(SysEvent::SimStart, 0);
            sendSystemEvent(SysEvent::Pause, 0);
            sendSystemEvent(SysEvent::Unpaused, 0);
            break;
        case SimState::Paused:
            sendSystemEvent(SysEvent::Sim, 0);
            sendSystemEvent(SysEvent::SimStop, 0);
            sendSystemEvent(SysEvent::Pause, 1);
            sendSystemEvent(SysEvent::Paused, 0);
            break;
        case SimState::Quit:
            for (auto& [id, c] : clients_) {
                scwire::gf_encodeRecvQuit(c.pending, c.protocol);
                c.closing = true;
            }
            quit_ = true;
            break;
    }
}

void SimCore::perform(const TimelineEntry& entry) {
    MutexLock lock(mu_);
    performLocked(entry);
    flushLocked();
    if (trace_) {
        trace_->flush();
    }
}

void SimCore::performLocked(const TimelineEntry& e) {
    if (state_ == SimState::Quit) {
        return;
    }
    trace("timeline", {{"do", gf_actionName(e.action)}});
    switch (e.action) {
        case Action::Pause:
            setStateLocked(SimState::Paused);
            break;
        case Action::Resume:
            setStateLocked(SimState::Running);
            break;
        case Action::FlightLoaded:
            sendSystemEvent(SysEvent::FlightLoaded, 0);
            break;
        case Action::PositionChanged:
            sendSystemEvent(SysEvent::PositionChanged, 0);
            break;
        case Action::Quit:
            setStateLocked(SimState::Quit);
            break;
        case Action::FailRequests:
            // The link breaks under every client, as if the server had lost them.
            for (auto& [id, c] : clients_) {
                c.closing = true;
                c.closeRequested = true;
                c.pending.clear();
                c.out->drop();
            }
            log("dropped every client");
            break;
        case Action::MoveUser:
            user_.lat = e.lat.value_or(user_.lat);
            user_.lon = e.lon.value_or(user_.lon);
            user_.userOnGround = e.onGround.value_or(user_.userOnGround);
            if (e.altFt) {
                user_.altFt = *e.altFt;
            } else if (e.onGround.value_or(false)) {
                user_.altFt = user_.groundAltFt + kRestHeightFt;
            }
            if (e.headingDeg) {
                user_.headingRad = *e.headingDeg * kDeg2Rad;
            }
            if (e.groundSpeedKt) {
                user_.gsKt = user_.tasKt = *e.groundSpeedKt;
            }
            break;
    }
}

void SimCore::advance(double dt) {
    simSeconds_ += dt;
    if (user_.gsKt > 0.0) {
        const LatLon p = gf_destinationPoint({user_.lat, user_.lon}, user_.headingRad,
                                             user_.gsKt * kFeetPerSecondPerKnot * dt);
        user_.lat = p.lat;
        user_.lon = p.lon;
    }
    // Only what nobody holds still moves by itself: straight on at its speed.
    for (auto& [id, o] : objects_) {
        if (!o.freezeLatLon && o.tasKt > 0.0) {
            const LatLon p = gf_destinationPoint({o.lat, o.lon}, o.headingRad,
                                                 o.tasKt * kFeetPerSecondPerKnot * dt);
            o.lat = p.lat;
            o.lon = p.lon;
        }
        if (!o.freezeAlt && o.vsFps != 0.0) {
            o.altFt = std::max(o.altFt + o.vsFps * dt, o.groundAltFt + kRestHeightFt);
        }
    }
}

void SimCore::serviceRequests(bool secondTick) {
    for (auto& [cid, c] : clients_) {
        if (!c.opened || c.closing) {
            continue;
        }
        for (auto it = c.requests.begin(); it != c.requests.end();) {
            Request& rq = it->second;
            const bool due = rq.period == SIMCONNECT_PERIOD_SECOND
                                 ? secondTick
                                 : (rq.period == SIMCONNECT_PERIOD_SIM_FRAME ||
                                    rq.period == SIMCONNECT_PERIOD_VISUAL_FRAME);
            const SimObject* o = object(rq.objectId);
            const auto def = c.definitions.find(rq.defineId);
            if (o == nullptr || def == c.definitions.end() ||
                (rq.limit > 0 && rq.sent >= rq.limit)) {
                it = c.requests.erase(it);
                continue;
            }
            if (due && ++rq.periods % (static_cast<std::uint64_t>(rq.interval) + 1) == 0 &&
                sendObjectData(c, it->first, rq.defineId, def->second, *o,
                               SIMCONNECT_RECV_ID_SIMOBJECT_DATA, rq.flags, 0, 0, &rq)) {
                ++rq.sent;
            }
            ++it;
        }
    }
}

void SimCore::sample(double t) {
    if (!trace_) {
        return;
    }
    trace_->write(t, "user",
                  {{"lat", user_.lat},
                   {"lon", user_.lon},
                   {"alt_ft", user_.altFt},
                   {"hdg_deg", degrees(user_.headingRad)},
                   {"gs_kt", user_.gsKt},
                   {"on_ground", user_.onGround()}});
    for (auto& [id, o] : objects_) {
        if (o.positionSet) {
            o.positionSet = false;
            trace_->write(t, "pos", positionFields(o));
        }
    }
}

void SimCore::frame() {
    MutexLock lock(mu_);
    const double t = elapsedSeconds();
    while (nextTimeline_ < scenario_.timeline.size() && scenario_.timeline[nextTimeline_].t <= t &&
           state_ != SimState::Quit) {
        performLocked(scenario_.timeline[nextTimeline_++]);
    }
    // A stalled frame does not make the world jump.
    const double dt = std::clamp(t - lastFrame_, 0.0, 1.0);
    lastFrame_ = t;
    if (state_ == SimState::Running) {
        advance(dt);
        sendSystemEvent(SysEvent::Frame, 0);
        const auto second = static_cast<std::int64_t>(std::floor(simSeconds_));
        const bool tick = second > lastSecond_;
        lastSecond_ = second;
        serviceRequests(tick);
        if (tick) {
            sendSystemEvent(SysEvent::OneSec, 0);
        }
    }
    if (trace_ && t >= nextSample_) {
        sample(t);
        nextSample_ += scenario_.traceIntervalS;
        if (nextSample_ < t) {
            nextSample_ = t + scenario_.traceIntervalS;
        }
    }
    flushLocked();
    if (trace_) {
        trace_->flush();
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
