// SimCore's data definitions and data requests: the simulation variables a client reads and
// writes, by object, by type within a radius, once or periodically.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "standins/sim/sim_core.h"
#include "util/geodesy.h"

namespace wnd::simstandin {

namespace {

using scwire::PacketReader;
using scwire::PacketWriter;

// Limits that keep a hostile client from growing the stand-in without bound.
constexpr std::size_t kMaxDefinitions = 1000;
constexpr std::size_t kMaxDatums = 1000;
constexpr std::size_t kMaxRequests = 1000;

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

}  // namespace

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

}  // namespace wnd::simstandin
