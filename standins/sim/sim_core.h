// The simulated Prepar3D without its sockets: the world (user aircraft, AI objects, time,
// the simulator's state), the clients' registrations, and the answer to every packet.
// Thread-safe: one mutex guards it all; the transport calls in from its threads. The work is
// split by seam: sim_core.cpp (connections, dispatch, registrations), sim_data.cpp (data
// definitions and requests), sim_objects.cpp (AI objects), sim_clock.cpp (frames, state,
// timeline).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "simconnect/wire.h"
#include "standins/sim/scenario.h"
#include "standins/sim/simvars.h"
#include "standins/sim/trace.h"
#include "util/mutex.h"

namespace wnd::simstandin {

inline constexpr std::uint32_t kUserObjectId = 1;
// Object ids below 3 are never AI aircraft in Prepar3D, and the program ignores them.
inline constexpr std::uint32_t kFirstAiObjectId = 3;
// The largest radius a by-type request may ask for; larger ones are cut to it.
inline constexpr std::uint32_t kMaxRadiusMeters = 200000;

// Where the bytes for one client go. Called with the core's lock held: quick, no waiting.
class Outbox {
  public:
    virtual ~Outbox() = default;
    virtual void post(std::span<const std::uint8_t> bytes) = 0;
    // Send what is queued, then close (after QUIT or a fatal protocol error).
    virtual void closeAfterFlush() = 0;
    // Reset the connection at once, unsent bytes dropped (a server that lost the client:
    // the client's calls fail, it sees no quit).
    virtual void drop() = 0;
};

using LogFn = std::function<void(std::string_view)>;

enum class SimState { Running, Paused, Quit };

class SimCore {
  public:
    // trace may be null (no trace).
    SimCore(Scenario scenario, std::unique_ptr<TraceWriter> trace, LogFn log = {});
    ~SimCore();
    SimCore(const SimCore&) = delete;
    SimCore& operator=(const SimCore&) = delete;

    std::uint64_t connect(std::shared_ptr<Outbox> out);
    // The client is gone: its AI objects go with it.
    void disconnect(std::uint64_t client);
    // One whole client packet (header included, size already checked by the framer).
    void handlePacket(std::uint64_t client, std::span<const std::uint8_t> packet);
    // One simulator frame at the current time: timeline, movement, frames, periodic data,
    // trace samples.
    void frame();
    // Does a timeline action now.
    void perform(const TimelineEntry& entry);
    // The listening socket is open: the simulator is up.
    void markStarted();

    SimState state() const;
    bool quitRequested() const { return quit_.load(); }
    double elapsedSeconds() const;
    const Scenario& scenario() const { return scenario_; }

    // Views for tests and tools.
    std::vector<SimObject> aiObjects() const;
    SimObject userAircraft() const;
    std::size_t clientCount() const;
    std::uint64_t setDataApplied() const { return setDataApplied_.load(); }

  private:
    struct Datum {
        DWORD type = 0;
        DWORD datumId = 0;
        ResolvedVar var;
    };
    struct Definition {
        std::vector<Datum> datums;
        bool hasStringV = false;
        std::size_t fixedSize = 0;
    };
    enum class SysEvent {
        Sim,
        Pause,
        SimStart,
        SimStop,
        Paused,
        Unpaused,
        OneSec,
        Frame,
        ObjectAdded,
        ObjectRemoved,
        PositionChanged,
        FlightLoaded
    };
    struct Subscription {
        SysEvent kind;
        bool on = true;
    };
    struct Request {
        DWORD defineId = 0;
        DWORD objectId = 0;
        DWORD period = 0;
        DWORD flags = 0;
        DWORD interval = 0;
        DWORD limit = 0;
        std::uint64_t periods = 0;  // periods seen, for interval
        std::uint64_t sent = 0;     // replies sent, for limit
        scwire::Bytes last;         // last data sent, for the changed flag
    };
    struct Client {
        std::shared_ptr<Outbox> out;
        bool opened = false;
        bool closing = false;
        std::uint32_t protocol = scwire::kProtocolFsxSp2;
        std::string name;
        std::map<DWORD, Definition> definitions;
        std::map<DWORD, std::string> clientEvents;  // client event id -> simulator event
        std::map<DWORD, std::set<DWORD>> groups;    // notification group -> client events
        std::map<DWORD, DWORD> groupPriority;
        std::map<DWORD, Subscription> subscriptions;
        std::map<DWORD, Request> requests;
        scwire::PacketWriter pending;  // replies gathered, posted at the end of the call
        bool closeRequested = false;
    };
    // One client packet: its header's fields and what follows the header.
    struct Incoming {
        std::uint32_t version = 0;
        std::uint32_t type = 0;
        DWORD sendId = 0;
        std::span<const std::uint8_t> payload;
    };

    // sim_core.cpp
    void dispatchLocked(std::uint64_t id, Client& c, const Incoming& in) REQUIRES(mu_);
    void onOpen(Client& c, const Incoming& in) REQUIRES(mu_);
    void onSubscribe(Client& c, const Incoming& in) REQUIRES(mu_);
    void exception(Client& c, DWORD exception, DWORD sendId, DWORD index) REQUIRES(mu_);
    SimObject* object(DWORD id) REQUIRES(mu_);
    void flushLocked() REQUIRES(mu_);
    void trace(std::string_view ev, const nlohmann::ordered_json& fields = {}) REQUIRES(mu_);
    std::int64_t zuluLocked() const REQUIRES(mu_);
    void log(std::string_view text) const;

    // sim_data.cpp
    void onAddToDataDefinition(Client& c, const Incoming& in) REQUIRES(mu_);
    void onRequestData(Client& c, const Incoming& in) REQUIRES(mu_);
    void onRequestDataByType(Client& c, const Incoming& in) REQUIRES(mu_);
    void onSetData(Client& c, const Incoming& in) REQUIRES(mu_);
    bool sendObjectData(Client& c, DWORD requestId, DWORD defineId, const Definition& def,
                        const SimObject& o, DWORD recvId, DWORD flags, DWORD entry, DWORD outOf,
                        Request* changed) REQUIRES(mu_);
    void serviceRequests(bool secondTick) REQUIRES(mu_);

    // sim_objects.cpp
    void onTransmitEvent(std::uint64_t id, Client& c, const Incoming& in) REQUIRES(mu_);
    void onCreate(std::uint64_t id, Client& c, const Incoming& in) REQUIRES(mu_);
    void onRelease(Client& c, const Incoming& in) REQUIRES(mu_);
    void onRemove(Client& c, const Incoming& in) REQUIRES(mu_);
    void onFlightPlan(Client& c, const Incoming& in) REQUIRES(mu_);
    void removeObject(std::uint32_t id) REQUIRES(mu_);

    // sim_clock.cpp
    void sendSystemEvent(SysEvent kind, DWORD data) REQUIRES(mu_);
    void setStateLocked(SimState s) REQUIRES(mu_);
    void performLocked(const TimelineEntry& e) REQUIRES(mu_);
    void advance(double dt) REQUIRES(mu_);
    void sample(double t) REQUIRES(mu_);

    // Set at construction, never changed.
    const Scenario scenario_;
    const std::chrono::steady_clock::time_point start_;
    const LogFn log_;
    const std::string simNameAnsi_;
    const std::int64_t zulu0_;  // the simulator's UTC at the start, seconds since 1970
    const double groundAltFt_;

    mutable Mutex mu_;
    std::map<std::uint64_t, Client> clients_ GUARDED_BY(mu_);
    std::uint64_t nextClient_ GUARDED_BY(mu_) = 1;
    SimObject user_ GUARDED_BY(mu_);
    std::map<std::uint32_t, SimObject> objects_ GUARDED_BY(mu_);
    std::uint32_t nextObjectId_ GUARDED_BY(mu_) = kFirstAiObjectId;
    SimState state_ GUARDED_BY(mu_) = SimState::Running;
    std::size_t nextTimeline_ GUARDED_BY(mu_) = 0;
    double simSeconds_ GUARDED_BY(mu_) = 0.0;  // simulated time run since the start
    std::int64_t lastSecond_ GUARDED_BY(mu_) = 0;
    double lastFrame_ GUARDED_BY(mu_) = 0.0;
    double nextSample_ GUARDED_BY(mu_) = 0.0;
    std::unique_ptr<TraceWriter> trace_ GUARDED_BY(mu_);
    scwire::PacketWriter scratch_ GUARDED_BY(mu_);
    std::atomic<bool> quit_{false};
    std::atomic<std::uint64_t> setDataApplied_{0};
};

}  // namespace wnd::simstandin
