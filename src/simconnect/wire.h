// The SimConnect wire protocol over TCP, as both sides speak it: little-endian packets.
// A client packet starts with a 16-byte header (size, protocol version,
// 0xF0000000 | function, send id); a server packet with the 12-byte SIMCONNECT_RECV
// header (size, version, receive id) and is the received structure byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "simconnect/simconnect.h"

namespace wnd::scwire {

// FSX SP2, the protocol Prepar3D accepts from older clients.
inline constexpr std::uint32_t kProtocolFsxSp2 = 4;
inline constexpr std::size_t kClientHeaderSize = 16;
inline constexpr std::size_t kServerHeaderSize = 12;
// Larger packets are a broken or hostile peer; neither side sends anything near it.
inline constexpr std::size_t kMaxPacketSize = 256 * 1024;
inline constexpr std::uint32_t kFunctionFlag = 0xF0000000u;

// Function numbers of the client packets.
enum Function : std::uint32_t {
    kOpen = 0x01,
    kMapClientEventToSimEvent = 0x04,
    kTransmitClientEvent = 0x05,
    kSetSystemEventState = 0x06,
    kAddClientEventToNotificationGroup = 0x07,
    kRemoveClientEvent = 0x08,
    kSetNotificationGroupPriority = 0x09,
    kClearNotificationGroup = 0x0A,
    kAddToDataDefinition = 0x0C,
    kClearDataDefinition = 0x0D,
    kRequestDataOnSimObject = 0x0E,
    kRequestDataOnSimObjectType = 0x0F,
    kSetDataOnSimObject = 0x10,
    kSubscribeToSystemEvent = 0x17,
    kUnsubscribeFromSystemEvent = 0x18,
    kAICreateNonATCAircraft = 0x29,
    kAIReleaseControl = 0x2B,
    kAIRemoveObject = 0x2C,
    kAISetAircraftFlightPlan = 0x2D,
};

// Field widths of the fixed strings.
inline constexpr std::size_t kString256 = 256;
inline constexpr std::size_t kTailNumberField = 12;
inline constexpr std::size_t kPathField = 260;

using Bytes = std::vector<std::uint8_t>;

// Appends packets to one buffer; each begin… is closed by its end….
class PacketWriter {
  public:
    void clear() { buf_.clear(); }
    void beginClient(std::uint32_t function, std::uint32_t version = kProtocolFsxSp2);
    void endClient(std::uint32_t sendId);
    void beginServer(std::uint32_t recvId, std::uint32_t version = kProtocolFsxSp2);
    void endServer();

    void u32(std::uint32_t v);
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void u64(std::uint64_t v);
    void f32(float v);
    void f64(double v);
    // At most field-1 bytes of s, then NUL bytes up to the field's width.
    void fixedString(std::string_view s, std::size_t field);
    void bytes(const void* data, std::size_t size);
    void zeros(std::size_t n);

    const Bytes& buffer() const { return buf_; }
    Bytes& buffer() { return buf_; }
    std::size_t size() const { return buf_.size(); }
    // Bytes written since the packet began (header included).
    std::size_t packetSize() const { return buf_.size() - start_; }

  private:
    Bytes buf_;
    std::size_t start_ = 0;
};

// Bounds-checked reads; a read past the end yields zeros and makes ok() false for good.
class PacketReader {
  public:
    explicit PacketReader(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint32_t u32();
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint64_t u64();
    float f32();
    double f64();
    // A fixed field: the text up to its first NUL, never beyond the field.
    std::string fixedString(std::size_t field);
    std::span<const std::uint8_t> bytes(std::size_t n);
    void skip(std::size_t n) { bytes(n); }
    std::size_t remaining() const { return data_.size() - pos_; }
    std::size_t position() const { return pos_; }
    bool ok() const { return ok_; }

  private:
    bool take(std::size_t n);
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Cuts a byte stream into packets by their leading size. A size below minSize or above
// kMaxPacketSize breaks the stream for good: there is no way to find the next packet.
class Framer {
  public:
    explicit Framer(std::size_t minSize) : minSize_(minSize) {}
    enum class Status { Packet, NeedMore, Bad };
    // Room for n more bytes; commit how many were written into it.
    std::uint8_t* prepare(std::size_t n);
    void commit(std::size_t n);
    void feed(const void* data, std::size_t n);
    // On Packet, `packet` stays valid until the next prepare/feed.
    Status next(std::span<const std::uint8_t>& packet);
    bool bad() const { return bad_; }
    std::uint32_t badSize() const { return badSize_; }
    std::size_t buffered() const { return end_ - begin_; }

  private:
    Bytes buf_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::size_t minSize_;
    bool bad_ = false;
    std::uint32_t badSize_ = 0;
};

// The received messages of one dispatch as the dispatch procedure gets them: each copied to
// 8-byte aligned storage and followed by at least 256 zero bytes, its fixed string fields
// ending inside their fields whatever the server sent. The transport and the dispatch fuzzer
// share it, so the fuzzer sees exactly what the program would.
class Inbox {
  public:
    // False, and the packet left out, when it is shorter than its structure.
    bool add(std::span<const std::uint8_t> packet);
    std::size_t size() const { return messages_.size(); }
    SIMCONNECT_RECV* message(std::size_t i) {
        return reinterpret_cast<SIMCONNECT_RECV*>(arena_.data() + messages_[i].first);
    }
    DWORD messageSize(std::size_t i) const { return messages_[i].second; }
    void clear();

  private:
    std::vector<std::uint64_t> arena_;
    std::vector<std::pair<std::size_t, DWORD>> messages_;  // word offset, size
};

std::uint32_t gf_readU32(const std::uint8_t* p);
void gf_writeU32(std::uint8_t* p, std::uint32_t v);

// The fixed size of a received structure by its id; 12 for ids we do not interpret.
std::size_t gf_minRecvSize(DWORD recvId);

// Client packets (begin…fields; the caller ends them with the send id).
void gf_encodeOpen(PacketWriter& w, std::string_view appName,
                   std::uint32_t protocol = kProtocolFsxSp2);
void gf_encodeAddToDataDefinition(PacketWriter& w, DWORD defineId, std::string_view datumName,
                                  std::string_view unitsName, DWORD datumType, float epsilon,
                                  DWORD datumId);
void gf_encodeSubscribeToSystemEvent(PacketWriter& w, DWORD eventId, std::string_view name);
void gf_encodeMapClientEventToSimEvent(PacketWriter& w, DWORD eventId, std::string_view name);
void gf_encodeAddClientEventToNotificationGroup(PacketWriter& w, DWORD groupId, DWORD eventId,
                                                bool maskable);
void gf_encodeSetNotificationGroupPriority(PacketWriter& w, DWORD groupId, DWORD priority);
void gf_encodeRequestDataOnSimObject(PacketWriter& w, DWORD requestId, DWORD defineId,
                                     DWORD objectId, DWORD period, DWORD flags, DWORD origin,
                                     DWORD interval, DWORD limit);
void gf_encodeRequestDataOnSimObjectType(PacketWriter& w, DWORD requestId, DWORD defineId,
                                         DWORD radiusMeters, DWORD type);
// ArrayCount 0 means one element, as the documentation says; it goes out as 1.
void gf_encodeSetDataOnSimObject(PacketWriter& w, DWORD defineId, DWORD objectId, DWORD flags,
                                 DWORD arrayCount, DWORD unitSize, const void* data);
void gf_encodeTransmitClientEvent(PacketWriter& w, DWORD objectId, DWORD eventId, DWORD data,
                                  DWORD groupId, DWORD flags);
void gf_encodeAICreateNonATCAircraft(PacketWriter& w, std::string_view title,
                                     std::string_view tailNumber,
                                     const SIMCONNECT_DATA_INITPOSITION& pos, DWORD requestId);
void gf_encodeAIReleaseControl(PacketWriter& w, DWORD objectId, DWORD requestId);
void gf_encodeAIRemoveObject(PacketWriter& w, DWORD objectId, DWORD requestId);
void gf_encodeAISetAircraftFlightPlan(PacketWriter& w, DWORD objectId, std::string_view path,
                                      DWORD requestId);

// Server packets (complete).
struct OpenReply {
    std::string applicationName;
    DWORD version[4] = {};
    DWORD simConnectVersion[4] = {};
};
void gf_encodeRecvOpen(PacketWriter& w, const OpenReply& r, std::uint32_t version);
void gf_encodeRecvQuit(PacketWriter& w, std::uint32_t version);
void gf_encodeRecvException(PacketWriter& w, DWORD exception, DWORD sendId, DWORD index,
                            std::uint32_t version);
void gf_encodeRecvEvent(PacketWriter& w, DWORD groupId, DWORD eventId, DWORD data,
                        std::uint32_t version);
void gf_encodeRecvEventAddRemove(PacketWriter& w, DWORD eventId, DWORD objectId, DWORD objType,
                                 std::uint32_t version);
void gf_encodeRecvEventFilename(PacketWriter& w, DWORD eventId, std::string_view fileName,
                                DWORD flags, std::uint32_t version);
void gf_encodeRecvEventFrame(PacketWriter& w, DWORD eventId, float frameRate, float simSpeed,
                             std::uint32_t version);
void gf_encodeRecvAssignedObjectId(PacketWriter& w, DWORD requestId, DWORD objectId,
                                   std::uint32_t version);
// The header of a SIMOBJECT_DATA(_BYTYPE) message; the caller appends the data and ends it.
struct ObjectDataHeader {
    DWORD recvId = SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
    DWORD requestId = 0;
    DWORD objectId = 0;
    DWORD defineId = 0;
    DWORD flags = 0;
    DWORD entryNumber = 0;
    DWORD outOf = 0;
    DWORD defineCount = 0;
};
void gf_beginRecvObjectData(PacketWriter& w, const ObjectDataHeader& h, std::uint32_t version);

}  // namespace wnd::scwire
