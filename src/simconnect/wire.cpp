#include "simconnect/wire.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace wnd::scwire {

static_assert(std::endian::native == std::endian::little,
              "the SimConnect wire format is little endian; add byte swaps for this target");

std::uint32_t gf_readU32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
}

void gf_writeU32(std::uint8_t* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

// --- PacketWriter ---

void PacketWriter::beginClient(std::uint32_t function, std::uint32_t version) {
    start_ = buf_.size();
    u32(0);  // size, set by endClient
    u32(version);
    u32(kFunctionFlag | function);
    u32(0);  // send id
}

void PacketWriter::endClient(std::uint32_t sendId) {
    gf_writeU32(buf_.data() + start_, static_cast<std::uint32_t>(buf_.size() - start_));
    gf_writeU32(buf_.data() + start_ + 12, sendId);
}

void PacketWriter::beginServer(std::uint32_t recvId, std::uint32_t version) {
    start_ = buf_.size();
    u32(0);
    u32(version);
    u32(recvId);
}

void PacketWriter::endServer() {
    gf_writeU32(buf_.data() + start_, static_cast<std::uint32_t>(buf_.size() - start_));
}

void PacketWriter::u32(std::uint32_t v) {
    const std::size_t at = buf_.size();
    buf_.resize(at + 4);
    std::memcpy(buf_.data() + at, &v, 4);
}

void PacketWriter::u64(std::uint64_t v) {
    bytes(&v, 8);
}

void PacketWriter::f32(float v) {
    bytes(&v, 4);
}

void PacketWriter::f64(double v) {
    bytes(&v, 8);
}

void PacketWriter::fixedString(std::string_view s, std::size_t field) {
    if (field == 0) {
        return;
    }
    const std::size_t n = std::min(s.size(), field - 1);
    const std::size_t at = buf_.size();
    buf_.resize(at + field, 0);
    if (n > 0) {
        std::memcpy(buf_.data() + at, s.data(), n);
    }
}

void PacketWriter::bytes(const void* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const std::size_t at = buf_.size();
    buf_.resize(at + size);
    std::memcpy(buf_.data() + at, data, size);
}

void PacketWriter::zeros(std::size_t n) {
    buf_.resize(buf_.size() + n, 0);
}

// --- PacketReader ---

bool PacketReader::take(std::size_t n) {
    if (!ok_ || n > data_.size() - pos_) {
        ok_ = false;
        return false;
    }
    return true;
}

std::uint32_t PacketReader::u32() {
    if (!take(4)) {
        return 0;
    }
    const std::uint32_t v = gf_readU32(data_.data() + pos_);
    pos_ += 4;
    return v;
}

std::uint64_t PacketReader::u64() {
    std::uint64_t v = 0;
    if (take(8)) {
        std::memcpy(&v, data_.data() + pos_, 8);
        pos_ += 8;
    }
    return v;
}

float PacketReader::f32() {
    float v = 0;
    if (take(4)) {
        std::memcpy(&v, data_.data() + pos_, 4);
        pos_ += 4;
    }
    return v;
}

double PacketReader::f64() {
    double v = 0;
    if (take(8)) {
        std::memcpy(&v, data_.data() + pos_, 8);
        pos_ += 8;
    }
    return v;
}

std::string PacketReader::fixedString(std::size_t field) {
    if (!take(field)) {
        return {};
    }
    const auto* p = reinterpret_cast<const char*>(data_.data() + pos_);
    pos_ += field;
    const void* nul = std::memchr(p, 0, field);
    return std::string(
        p, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - p) : field);
}

std::span<const std::uint8_t> PacketReader::bytes(std::size_t n) {
    if (!take(n)) {
        return {};
    }
    auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
}

// --- Framer ---

std::uint8_t* Framer::prepare(std::size_t n) {
    if (begin_ > 0) {
        // Moves the unread rest to the front; amortised, since it happens once per read.
        std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (buf_.size() < end_ + n) {
        buf_.resize(end_ + n);
    }
    return buf_.data() + end_;
}

void Framer::commit(std::size_t n) {
    end_ = std::min(end_ + n, buf_.size());
}

void Framer::feed(const void* data, std::size_t n) {
    if (n == 0) {
        return;
    }
    std::memcpy(prepare(n), data, n);
    commit(n);
}

Framer::Status Framer::next(std::span<const std::uint8_t>& packet) {
    if (bad_) {
        return Status::Bad;
    }
    const std::size_t avail = end_ - begin_;
    if (avail < 4) {
        return Status::NeedMore;
    }
    const std::uint32_t size = gf_readU32(buf_.data() + begin_);
    if (size < minSize_ || size > kMaxPacketSize) {
        bad_ = true;
        badSize_ = size;
        return Status::Bad;
    }
    if (avail < size) {
        return Status::NeedMore;
    }
    packet = std::span<const std::uint8_t>(buf_.data() + begin_, size);
    begin_ += size;
    return Status::Packet;
}

// --- Inbox ---

namespace {
constexpr std::size_t kPaddingWords = 32;  // the 256 zero bytes after every message
}  // namespace

bool Inbox::add(std::span<const std::uint8_t> packet) {
    if (packet.size() < kServerHeaderSize) {
        return false;
    }
    const DWORD id = gf_readU32(packet.data() + 8);
    if (packet.size() < gf_minRecvSize(id)) {
        return false;
    }
    const std::size_t offset = arena_.size();
    arena_.resize(offset + (packet.size() + 7) / 8 + kPaddingWords, 0);
    auto* bytes = reinterpret_cast<std::uint8_t*>(arena_.data() + offset);
    std::memcpy(bytes, packet.data(), packet.size());
    if (id == SIMCONNECT_RECV_ID_OPEN) {
        reinterpret_cast<SIMCONNECT_RECV_OPEN*>(bytes)->szApplicationName[255] = 0;
    } else if (id == SIMCONNECT_RECV_ID_EVENT_FILENAME) {
        reinterpret_cast<SIMCONNECT_RECV_EVENT_FILENAME*>(bytes)->szFileName[259] = 0;
    }
    messages_.emplace_back(offset, static_cast<DWORD>(packet.size()));
    return true;
}

void Inbox::clear() {
    arena_.clear();
    messages_.clear();
}

std::size_t gf_minRecvSize(DWORD recvId) {
    switch (recvId) {
        case SIMCONNECT_RECV_ID_EXCEPTION:
            return sizeof(SIMCONNECT_RECV_EXCEPTION);
        case SIMCONNECT_RECV_ID_OPEN:
            return sizeof(SIMCONNECT_RECV_OPEN);
        case SIMCONNECT_RECV_ID_EVENT:
            return sizeof(SIMCONNECT_RECV_EVENT);
        case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
            return sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE);
        case SIMCONNECT_RECV_ID_EVENT_FILENAME:
            return sizeof(SIMCONNECT_RECV_EVENT_FILENAME);
        case SIMCONNECT_RECV_ID_EVENT_FRAME:
            return sizeof(SIMCONNECT_RECV_EVENT_FRAME);
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        case SIMCONNECT_RECV_ID_CLIENT_DATA:
            return kSimObjectDataOffset;
        case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
            return sizeof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID);
        default:
            return sizeof(SIMCONNECT_RECV);
    }
}

// --- client packets ---

void gf_encodeOpen(PacketWriter& w, std::string_view appName, std::uint32_t protocol) {
    w.beginClient(kOpen, protocol);
    w.fixedString(appName, kString256);
    w.u32(0);
    // The FSX SP2 client's identity: a zero byte, "XSF", then version 10.0.61259.0.
    const std::uint8_t alias[4] = {0, 'X', 'S', 'F'};
    w.bytes(alias, 4);
    w.u32(10);
    w.u32(0);
    w.u32(61259);
    w.u32(0);
}

void gf_encodeAddToDataDefinition(PacketWriter& w, DWORD defineId, std::string_view datumName,
                                  std::string_view unitsName, DWORD datumType, float epsilon,
                                  DWORD datumId) {
    w.beginClient(kAddToDataDefinition);
    w.u32(defineId);
    w.fixedString(datumName, kString256);
    w.fixedString(unitsName, kString256);
    w.u32(datumType);
    w.f32(epsilon);
    w.u32(datumId);
}

void gf_encodeSubscribeToSystemEvent(PacketWriter& w, DWORD eventId, std::string_view name) {
    w.beginClient(kSubscribeToSystemEvent);
    w.u32(eventId);
    w.fixedString(name, kString256);
}

void gf_encodeMapClientEventToSimEvent(PacketWriter& w, DWORD eventId, std::string_view name) {
    w.beginClient(kMapClientEventToSimEvent);
    w.u32(eventId);
    w.fixedString(name, kString256);
}

void gf_encodeAddClientEventToNotificationGroup(PacketWriter& w, DWORD groupId, DWORD eventId,
                                                bool maskable) {
    w.beginClient(kAddClientEventToNotificationGroup);
    w.u32(groupId);
    w.u32(eventId);
    w.u32(maskable ? 1 : 0);
}

void gf_encodeSetNotificationGroupPriority(PacketWriter& w, DWORD groupId, DWORD priority) {
    w.beginClient(kSetNotificationGroupPriority);
    w.u32(groupId);
    w.u32(priority);
}

void gf_encodeRequestDataOnSimObject(PacketWriter& w, DWORD requestId, DWORD defineId,
                                     DWORD objectId, DWORD period, DWORD flags, DWORD origin,
                                     DWORD interval, DWORD limit) {
    w.beginClient(kRequestDataOnSimObject);
    w.u32(requestId);
    w.u32(defineId);
    w.u32(objectId);
    w.u32(period);
    w.u32(flags);
    w.u32(origin);
    w.u32(interval);
    w.u32(limit);
}

void gf_encodeRequestDataOnSimObjectType(PacketWriter& w, DWORD requestId, DWORD defineId,
                                         DWORD radiusMeters, DWORD type) {
    w.beginClient(kRequestDataOnSimObjectType);
    w.u32(requestId);
    w.u32(defineId);
    w.u32(radiusMeters);
    w.u32(type);
}

void gf_encodeSetDataOnSimObject(PacketWriter& w, DWORD defineId, DWORD objectId, DWORD flags,
                                 DWORD arrayCount, DWORD unitSize, const void* data) {
    const DWORD count = arrayCount == 0 ? 1 : arrayCount;
    w.beginClient(kSetDataOnSimObject);
    w.u32(defineId);
    w.u32(objectId);
    w.u32(flags);
    w.u32(count);
    w.u32(unitSize);
    w.bytes(data, static_cast<std::size_t>(count) * unitSize);
}

void gf_encodeTransmitClientEvent(PacketWriter& w, DWORD objectId, DWORD eventId, DWORD data,
                                  DWORD groupId, DWORD flags) {
    w.beginClient(kTransmitClientEvent);
    w.u32(objectId);
    w.u32(eventId);
    w.u32(data);
    w.u32(groupId);
    w.u32(flags);
}

void gf_encodeAICreateNonATCAircraft(PacketWriter& w, std::string_view title,
                                     std::string_view tailNumber,
                                     const SIMCONNECT_DATA_INITPOSITION& pos, DWORD requestId) {
    w.beginClient(kAICreateNonATCAircraft);
    w.fixedString(title, kString256);
    w.fixedString(tailNumber, kTailNumberField);
    w.f64(pos.Latitude);
    w.f64(pos.Longitude);
    w.f64(pos.Altitude);
    w.f64(pos.Pitch);
    w.f64(pos.Bank);
    w.f64(pos.Heading);
    w.u32(pos.OnGround);
    w.u32(pos.Airspeed);
    w.u32(requestId);
}

void gf_encodeAIReleaseControl(PacketWriter& w, DWORD objectId, DWORD requestId) {
    w.beginClient(kAIReleaseControl);
    w.u32(objectId);
    w.u32(requestId);
}

void gf_encodeAIRemoveObject(PacketWriter& w, DWORD objectId, DWORD requestId) {
    w.beginClient(kAIRemoveObject);
    w.u32(objectId);
    w.u32(requestId);
}

void gf_encodeAISetAircraftFlightPlan(PacketWriter& w, DWORD objectId, std::string_view path,
                                      DWORD requestId) {
    w.beginClient(kAISetAircraftFlightPlan);
    w.u32(objectId);
    w.fixedString(path, kPathField);
    w.u32(requestId);
}

// --- server packets ---

void gf_encodeRecvOpen(PacketWriter& w, const OpenReply& r, std::uint32_t version) {
    w.beginServer(SIMCONNECT_RECV_ID_OPEN, version);
    w.fixedString(r.applicationName, kString256);
    for (DWORD v : r.version) {
        w.u32(v);
    }
    for (DWORD v : r.simConnectVersion) {
        w.u32(v);
    }
    w.u32(0);
    w.u32(0);
    w.endServer();
}

void gf_encodeRecvQuit(PacketWriter& w, std::uint32_t version) {
    w.beginServer(SIMCONNECT_RECV_ID_QUIT, version);
    w.endServer();
}

void gf_encodeRecvException(PacketWriter& w, DWORD exception, DWORD sendId, DWORD index,
                            std::uint32_t version) {
    w.beginServer(SIMCONNECT_RECV_ID_EXCEPTION, version);
    w.u32(exception);
    w.u32(sendId);
    w.u32(index);
    w.endServer();
}

void gf_encodeRecvEvent(PacketWriter& w, DWORD groupId, DWORD eventId, DWORD data,
                        std::uint32_t version) {
    w.beginServer(SIMCONNECT_RECV_ID_EVENT, version);
    w.u32(groupId);
    w.u32(eventId);
    w.u32(data);
    w.endServer();
}

void gf_encodeRecvEventAddRemove(PacketWriter& w, DWORD eventId, DWORD objectId, DWORD objType,
                                 std::uint32_t version) {
    w.beginServer(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, version);
    w.u32(SIMCONNECT_UNUSED);
    w.u32(eventId);
    w.u32(objectId);
    w.u32(objType);
    w.endServer();
}

void gf_encodeRecvEventFilename(PacketWriter& w, DWORD eventId, std::string_view fileName,
                                DWORD flags, std::uint32_t version) {
    w.beginServer(SIMCONNECT_RECV_ID_EVENT_FILENAME, version);
    w.u32(SIMCONNECT_UNUSED);
    w.u32(eventId);
    w.u32(0);
    w.fixedString(fileName, kPathField);
    w.u32(flags);
    w.endServer();
}

void gf_encodeRecvEventFrame(PacketWriter& w, DWORD eventId, float frameRate, float simSpeed,
                             std::uint32_t version) {
    w.beginServer(SIMCONNECT_RECV_ID_EVENT_FRAME, version);
    w.u32(SIMCONNECT_UNUSED);
    w.u32(eventId);
    w.u32(0);
    w.f32(frameRate);
    w.f32(simSpeed);
    w.endServer();
}

void gf_encodeRecvAssignedObjectId(PacketWriter& w, DWORD requestId, DWORD objectId,
                                   std::uint32_t version) {
    w.beginServer(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, version);
    w.u32(requestId);
    w.u32(objectId);
    w.endServer();
}

void gf_beginRecvObjectData(PacketWriter& w, const ObjectDataHeader& h, std::uint32_t version) {
    w.beginServer(h.recvId, version);
    w.u32(h.requestId);
    w.u32(h.objectId);
    w.u32(h.defineId);
    w.u32(h.flags);
    w.u32(h.entryNumber);
    w.u32(h.outOf);
    w.u32(h.defineCount);
}

}  // namespace wnd::scwire
