#include "simconnect/tcp_client.h"

#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/socket.h"
#include "simconnect/config.h"
#include "simconnect/wire.h"
#include "util/log.h"
#include "util/no_destructor.h"

namespace wnd {

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// What one CallDispatch takes from the socket before it hands the messages over.
constexpr std::size_t kDispatchReadBudget = 1024 * 1024;
// A send path reads what has arrived after this many bytes, so neither side can end up
// blocked in a send while the other waits for it to read.
constexpr std::size_t kDrainAfterBytes = 64 * 1024;
constexpr std::size_t kMaxBufferedIncoming = 16 * 1024 * 1024;
constexpr int kMaxWarningsPerConnection = 20;
constexpr int kTimedOut = 10060;  // the platform's code for "nothing to read yet" and time-outs

const char* orEmpty(const char* s) {
    return s != nullptr ? s : "";
}

}  // namespace

class TcpSimConnect::Connection {
  public:
    explicit Connection(platform::Socket s) : socket_(std::move(s)) {}

    template <typename Encode>
    HRESULT send(Encode&& encode) {
        if (broken_.load() || closed_.load()) {
            return kScFail;
        }
        MutexLock lock(ioMu_);
        const std::size_t start = writer_.size();
        encode(writer_);
        if (writer_.size() - start > scwire::kMaxPacketSize) {
            writer_.buffer().resize(start);
            return kScInvalidArg;
        }
        const DWORD id = lastSendId_ + 1;
        writer_.endClient(id);
        lastSendId_ = id;
        // Calls made by the dispatch procedure go out together when it returns (the
        // program sends a whole frame's commands from there); any other call goes at once.
        if (std::this_thread::get_id() == dispatchThread_.load() &&
            writer_.size() < kDrainAfterBytes) {
            return kScOk;
        }
        return flushLocked() ? kScOk : kScFail;
    }

    HRESULT dispatch(DispatchProc proc, void* context) {
        if (!dispatchMu_.try_lock()) {
            return kScOk;  // a dispatch is already running (on this or another thread)
        }
        MutexLock dispatchLock(dispatchMu_, std::adopt_lock);
        if (quitDelivered_ || failed_ || closed_.load()) {
            return kScFail;
        }
        inbox_.clear();
        bool lost = false;
        bool reset = false;
        {
            MutexLock lock(ioMu_);
            if (!peerGone_) {
                readAvailableLocked(kDispatchReadBudget);
            }
            std::span<const std::uint8_t> packet;
            scwire::Framer::Status st;
            while ((st = framer_.next(packet)) == scwire::Framer::Status::Packet) {
                if (!inbox_.add(packet)) {
                    warn(fmt::format("SimConnect: message {} of {} bytes is too short, ignored",
                                     scwire::gf_readU32(packet.data() + 8), packet.size()));
                }
            }
            if (st == scwire::Framer::Status::Bad) {
                warn(fmt::format(
                    "SimConnect: bad packet size {} from the server, connection dropped",
                    framer_.badSize()));
                lost = true;
            }
            lost = lost || peerGone_;
            reset = peerReset_;
            if (lost) {
                broken_ = true;
                socket_.shutdown();
            }
        }
        dispatchThread_ = std::this_thread::get_id();
        struct Uncork {
            Connection* c;
            ~Uncork() {
                c->dispatchThread_ = std::thread::id();
                MutexLock lock(c->ioMu_);
                c->flushLocked();
            }
        } uncork{this};
        for (std::size_t i = 0; i < inbox_.size(); ++i) {
            SIMCONNECT_RECV* msg = inbox_.message(i);
            proc(msg, inbox_.messageSize(i), context);
            if (msg->dwID == SIMCONNECT_RECV_ID_QUIT) {
                quitDelivered_ = true;
                broken_ = true;
                return kScOk;
            }
        }
        if (reset) {
            // A broken link, not a simulator that closed: like the simulator's own library
            // when its pipe breaks, the dispatch fails and no quit is made up.
            failed_ = true;
            return kScFail;
        }
        if (lost) {
            // Same promise as for received messages: aligned and followed by zeros.
            scwire::PacketWriter quit;
            scwire::gf_encodeRecvQuit(quit, scwire::kProtocolFsxSp2);
            inbox_.clear();
            inbox_.add(quit.buffer());
            quitDelivered_ = true;
            proc(inbox_.message(0), inbox_.messageSize(0), context);
        }
        return kScOk;
    }

    DWORD lastSendId() {
        MutexLock lock(ioMu_);
        return lastSendId_;
    }

    // Wakes a thread blocked in a send; the socket itself closes with the last reference.
    void shutdown() {
        closed_ = true;
        socket_.shutdown();
    }

  private:
    // Sends what the calls have queued; false when the link is broken.
    bool flushLocked() REQUIRES(ioMu_) {
        if (writer_.size() == 0) {
            return !broken_.load();
        }
        if (broken_.load() || closed_.load()) {
            writer_.clear();
            return false;
        }
        const bool ok = socket_.send(writer_.buffer().data(), writer_.size(), kTcpSendTimeout) >= 0;
        sentSinceDrain_ += writer_.size();
        writer_.clear();
        if (!ok) {
            // A peer that reads nothing for so long is as good as gone: a broken link.
            if (socket_.lastError() == kTimedOut) {
                warn(fmt::format("SimConnect: the server read nothing for {} ms, link dropped",
                                 kTcpSendTimeout.count()));
            }
            broken_ = true;
            peerReset_ = true;
            return false;
        }
        if (sentSinceDrain_ >= kDrainAfterBytes) {
            sentSinceDrain_ = 0;
            readAvailableLocked(kMaxBufferedIncoming);
        }
        return true;
    }

    // Reads what has arrived, without waiting; false once the peer is gone.
    bool readAvailableLocked(std::size_t budget) REQUIRES(ioMu_) {
        std::size_t got = 0;
        while (!peerGone_ && got < budget && framer_.buffered() < kMaxBufferedIncoming &&
               socket_.waitReadable(0ms)) {
            std::uint8_t* p = framer_.prepare(kReadChunk);
            const long n = socket_.receive(p, kReadChunk);
            if (n < 0 && socket_.lastError() == kTimedOut) {
                break;
            }
            if (n <= 0) {
                peerGone_ = true;
                peerReset_ = peerReset_ || n < 0;
                broken_ = true;
                break;
            }
            framer_.commit(static_cast<std::size_t>(n));
            got += static_cast<std::size_t>(n);
        }
        return !peerGone_;
    }

    void warn(const std::string& text) {
        if (warnings_ < kMaxWarningsPerConnection) {
            ++warnings_;
            gf_logWarning(text);
        }
    }

    Mutex dispatchMu_;  // one dispatch at a time; taken before ioMu_
    scwire::Inbox inbox_ GUARDED_BY(dispatchMu_);
    bool quitDelivered_ GUARDED_BY(dispatchMu_) = false;
    bool failed_ GUARDED_BY(dispatchMu_) = false;  // the link broke: every dispatch fails

    Mutex ioMu_ ACQUIRED_AFTER(dispatchMu_);
    // Every socket call happens under ioMu_, except shutdown(), which only wakes them.
    platform::Socket socket_;
    scwire::PacketWriter writer_ GUARDED_BY(ioMu_);
    scwire::Framer framer_ GUARDED_BY(ioMu_){scwire::kServerHeaderSize};
    DWORD lastSendId_ GUARDED_BY(ioMu_) = 0;
    std::size_t sentSinceDrain_ GUARDED_BY(ioMu_) = 0;
    bool peerGone_ GUARDED_BY(ioMu_) = false;   // end of stream or a broken link
    bool peerReset_ GUARDED_BY(ioMu_) = false;  // a broken link (reset, failed send)
    std::atomic<int> warnings_{0};

    std::atomic<std::thread::id> dispatchThread_{};  // the thread inside the dispatch procedure
    std::atomic<bool> broken_{false};                // lost, dropped or quit: sends fail
    std::atomic<bool> closed_{false};                // SimConnect_Close was called
};

TcpSimConnect::TcpSimConnect() {
    platform::socketStartup();
}

TcpSimConnect::~TcpSimConnect() {
    {
        MutexLock lock(mu_);
        for (auto& [h, c] : connections_) {
            c->shutdown();
        }
        connections_.clear();
    }
    platform::socketCleanup();
}

void TcpSimConnect::setConfigFolder(std::filesystem::path folder) {
    MutexLock lock(mu_);
    configFolder_ = std::move(folder);
}

void TcpSimConnect::warnOnce(const std::string& text) {
    {
        MutexLock lock(mu_);
        if (text == lastWarning_) {
            return;  // the program retries every 100 ms; say it once
        }
        lastWarning_ = text;
    }
    gf_logWarning(text);
}

std::shared_ptr<TcpSimConnect::Connection> TcpSimConnect::find(HANDLE h) {
    MutexLock lock(mu_);
    const auto it = connections_.find(reinterpret_cast<std::uintptr_t>(h));
    return it == connections_.end() ? nullptr : it->second;
}

template <typename Encode>
HRESULT TcpSimConnect::send(HANDLE h, Encode&& encode) {
    const auto c = find(h);
    if (!c) {
        return kScInvalidArg;
    }
    return c->send(std::forward<Encode>(encode));
}

HRESULT TcpSimConnect::open(HANDLE* phSimConnect, const char* szName, HWND /*hWnd*/,
                            DWORD /*UserEventWin32*/, HANDLE /*hEventHandle*/, DWORD ConfigIndex) {
    if (phSimConnect == nullptr) {
        return kScInvalidArg;
    }
    *phSimConnect = nullptr;
    std::filesystem::path folder;
    {
        MutexLock lock(mu_);
        folder = configFolder_.empty() ? std::filesystem::path(".") : configFolder_;
    }
    const SimConnectCfgResult cfg = gf_readSimConnectCfg(folder, ConfigIndex);
    if (!cfg.ok) {
        warnOnce(cfg.error);
        return kScFail;
    }
    const auto ip = platform::resolveIPv4(cfg.cfg.address);
    if (!ip) {
        warnOnce(fmt::format("SimConnect.cfg: Address {} does not resolve", cfg.cfg.address));
        return kScFail;
    }
    platform::Socket s = platform::Socket::create(platform::SocketType::Tcp);
    if (!s.valid() || !s.connect(*ip, cfg.cfg.port, kTcpConnectTimeout)) {
        return kScFail;  // nobody listens yet (or answers in time): the caller retries
    }
    s.setNoDelay(true);
    auto c = std::make_shared<Connection>(std::move(s));
    const std::string name = orEmpty(szName);
    if (gf_scFailed(c->send([&](scwire::PacketWriter& w) { scwire::gf_encodeOpen(w, name); }))) {
        return kScFail;
    }
    MutexLock lock(mu_);
    const std::uintptr_t h = nextHandle_++;
    connections_.emplace(h, std::move(c));
    *phSimConnect = reinterpret_cast<HANDLE>(h);
    lastWarning_.clear();  // a later configuration problem is news again
    return kScOk;
}

HRESULT TcpSimConnect::close(HANDLE hSimConnect) {
    std::shared_ptr<Connection> c;
    {
        MutexLock lock(mu_);
        const auto it = connections_.find(reinterpret_cast<std::uintptr_t>(hSimConnect));
        if (it == connections_.end()) {
            return kScInvalidArg;
        }
        c = std::move(it->second);
        connections_.erase(it);
    }
    c->shutdown();
    return kScOk;
}

HRESULT TcpSimConnect::callDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) {
    const auto c = find(hSimConnect);
    if (!c || pfcnDispatch == nullptr) {
        return kScInvalidArg;
    }
    return c->dispatch(pfcnDispatch, pContext);
}

HRESULT TcpSimConnect::addToDataDefinition(HANDLE hSimConnect,
                                           SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                           const char* DatumName, const char* UnitsName,
                                           SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                           DWORD DatumID) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeAddToDataDefinition(w, DefineID, orEmpty(DatumName), orEmpty(UnitsName),
                                             DatumType, fEpsilon, DatumID);
    });
}

HRESULT TcpSimConnect::subscribeToSystemEvent(HANDLE hSimConnect,
                                              SIMCONNECT_CLIENT_EVENT_ID EventID,
                                              const char* SystemEventName) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeSubscribeToSystemEvent(w, EventID, orEmpty(SystemEventName));
    });
}

HRESULT TcpSimConnect::mapClientEventToSimEvent(HANDLE hSimConnect,
                                                SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                const char* EventName) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeMapClientEventToSimEvent(w, EventID, orEmpty(EventName));
    });
}

HRESULT TcpSimConnect::addClientEventToNotificationGroup(HANDLE hSimConnect,
                                                         SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                         SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                         BOOL bMaskable) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeAddClientEventToNotificationGroup(w, GroupID, EventID, bMaskable != 0);
    });
}

HRESULT TcpSimConnect::setNotificationGroupPriority(HANDLE hSimConnect,
                                                    SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                    DWORD uPriority) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeSetNotificationGroupPriority(w, GroupID, uPriority);
    });
}

HRESULT TcpSimConnect::requestDataOnSimObject(
    HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
    SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
    SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin, DWORD interval, DWORD limit) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeRequestDataOnSimObject(w, RequestID, DefineID, ObjectID, Period, Flags,
                                                origin, interval, limit);
    });
}

HRESULT TcpSimConnect::requestDataOnSimObjectType(HANDLE hSimConnect,
                                                  SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                  SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                  DWORD dwRadiusMeters,
                                                  SIMCONNECT_SIMOBJECT_TYPE type) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeRequestDataOnSimObjectType(w, RequestID, DefineID, dwRadiusMeters, type);
    });
}

HRESULT TcpSimConnect::setDataOnSimObject(HANDLE hSimConnect,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID,
                                          SIMCONNECT_DATA_SET_FLAG Flags, DWORD ArrayCount,
                                          DWORD cbUnitSize, void* pDataSet) {
    const std::uint64_t total =
        static_cast<std::uint64_t>(ArrayCount == 0 ? 1 : ArrayCount) * cbUnitSize;
    if (total > scwire::kMaxPacketSize || (total > 0 && pDataSet == nullptr)) {
        return kScInvalidArg;
    }
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeSetDataOnSimObject(w, DefineID, ObjectID, Flags, ArrayCount, cbUnitSize,
                                            pDataSet);
    });
}

HRESULT TcpSimConnect::transmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                           SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                           SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                           SIMCONNECT_EVENT_FLAG Flags) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeTransmitClientEvent(w, ObjectID, EventID, dwData, GroupID, Flags);
    });
}

HRESULT TcpSimConnect::aiCreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                              const char* szTailNumber,
                                              SIMCONNECT_DATA_INITPOSITION InitPos,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeAICreateNonATCAircraft(w, orEmpty(szContainerTitle), orEmpty(szTailNumber),
                                                InitPos, RequestID);
    });
}

HRESULT TcpSimConnect::aiReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                        SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeAIReleaseControl(w, ObjectID, RequestID);
    });
}

HRESULT TcpSimConnect::aiRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                      SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeAIRemoveObject(w, ObjectID, RequestID);
    });
}

HRESULT TcpSimConnect::aiSetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                               const char* szFlightPlanPath,
                                               SIMCONNECT_DATA_REQUEST_ID RequestID) {
    return send(hSimConnect, [&](scwire::PacketWriter& w) {
        scwire::gf_encodeAISetAircraftFlightPlan(w, ObjectID, orEmpty(szFlightPlanPath), RequestID);
    });
}

HRESULT TcpSimConnect::getLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID) {
    const auto c = find(hSimConnect);
    if (!c || pdwSendID == nullptr) {
        return kScInvalidArg;
    }
    *pdwSendID = c->lastSendId();
    return kScOk;
}

TcpSimConnect& gf_tcpSimConnect() {
    static NoDestructor<TcpSimConnect> instance;
    return *instance;
}

}  // namespace wnd
