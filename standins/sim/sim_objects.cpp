// SimCore's AI objects: creation, release, removal, flight plans, and the client events
// sent to an object (heard by the other clients that put the same event into a group).
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "standins/sim/sim_core.h"
#include "util/geodesy.h"

namespace wnd::simstandin {

namespace {

using scwire::PacketReader;

}  // namespace

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
                     {"hdg_deg", stored.headingDeg()},
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

}  // namespace wnd::simstandin
