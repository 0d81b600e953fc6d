// The simulator link of one process: the SimClient thread with its SimConnect connection and
// dispatch, the state it keeps (user aircraft, running flag, simulation time), the notice
// queue to the live engine, the requests that go to the simulator at once, and the engine's
// command side (pacing.h, command_queues.h, commands.h). README.md lists which duty of the
// run calls which entry point, and the threads and locks.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "sim/command_queues.h"
#include "sim/commands.h"
#include "sim/pacing.h"
#include "sim/sim_rules.h"
#include "sim/sim_types.h"
#include "simconnect/simconnect.h"
#include "util/geodesy.h"
#include "util/hash.h"
#include "util/mutex.h"

namespace wnd {

// What the stand lookup answers when no stand is near (or no park-position table is loaded).
inline constexpr std::string_view kDefaultStandText = "";

// What the link needs from subsystems built later. Set before the SimClient thread starts;
// the hooks run on the SimClient thread.
struct SimHooks {
    // The nearest stand within 55 m of the position in the park airport's table, or the
    // default text. Unset: the default text.
    std::function<std::string(const LatLon&)> standNear;
    // The user-stand check found the user standing at this (non-empty) stand: record it for
    // the park airport when it differs from the recorded one, and save the list.
    std::function<void(const std::string&)> recordUserStand;
    // A livery the simulator refused (the livery matching must not offer it again).
    // Runs on the caller's thread (the traffic worker).
    std::function<void(const std::string&)> liveryRefused;
};

class SimLink {
  public:
    SimLink();
    ~SimLink();
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    // ---- Run frame (traffic worker) ----

    // Worker start: command failure cleared, user object id 2, lists and queues emptied with
    // their capacity, running and on-ground known cleared, the major version (5 or 6) kept
    // for the version check.
    void prepare(int p3dMajor);
    // Starts the SimClient thread. A thread still held from before is stopped first (with a
    // warning: closing down should have joined it).
    void startClient();
    // Closing down: asks the thread to end (it closes the connection on its way out).
    void requestClientStop();
    // Waits for the thread's end: at most the transport's time-out when the simulator stalls.
    void joinClient();
    void stopClient() {
        requestClientStop();
        joinClient();
    }
    bool clientRunning() const { return clientRunning_.load(); }
    // Run reset: everything of the link back to the start, including the refused liveries
    // and the no-livery set of the run. The thread must have been joined.
    void reset();
    void setHooks(SimHooks hooks);

    // ---- Shared state (any thread) ----

    bool simulatorRunning() const { return running_.load(); }
    // Nothing in the registration reports a pause apart from "Sim" 0 (which clears the
    // running flag), so this stays false; kept for the worker's running-and-not-paused test.
    bool simulatorPaused() const { return paused_.load(); }
    bool connected() const { return connected_.load(); }
    std::string simulatorName() const;
    std::uint32_t userObjectId() const { return userObjectId_.load(); }
    UserAircraftData userAircraft() const;
    // Nothing until the first once-a-second answer after the position is known.
    std::optional<bool> userOnGround() const;
    // Seconds since 1970 (UTC) of the simulator's clock; 0 until the first user position.
    std::int64_t simulationTime() const { return simTime_.load(); }
    std::string userTitle() const;
    std::string userStand() const;
    std::optional<UserModelInfo> userModel() const;
    // The window's no-aircraft mark (a camera pod or the crew vessel is the user vehicle).
    bool userIsNoAircraft() const { return noAircraft_.load(); }
    bool commandFailure() const { return commandFailure_.load(); }

    // ---- Requests and AI calls that go out at once (traffic worker; no lock held) ----

    // Asks for the user position; returns the last received data at once (the reply comes
    // later).
    UserAircraftData requestUserPosition();
    void requestUserTitleAndModel();
    // The user's on-ground state, once a second from now on.
    void requestUserOnGround();
    // Every aircraft within RANGE nautical miles, each answered by the by-type handler.
    void requestAircraftInRange();
    // The resting height and pitch of one AI object (a StaticCg notice).
    void requestStaticCg(std::uint32_t objectId);
    // The touchdown definition on one AI object: spoilers and both throttle levers, percent.
    void setSpoilersAndThrust(std::uint32_t objectId, double spoilersPercent,
                              double throttle1Percent, double throttle2Percent);
    // Flight plan of an identified live aircraft with origin and destination: writes the
    // "{objectId}.pln" file and hands it to the simulator. True when the aircraft now has
    // one (its flight plan mark); false with the warning "{ident} creating a flight plan
    // failed". Remove it with gf_removeFlightPlan when the object is removed.
    bool setFlightPlan(std::uint32_t objectId, int category, std::string_view origin,
                       std::string_view destination, std::string_view ident);
    // Every failed request and AI call: status "SimConnect request error", command failure
    // set, and unless the run is ending the stop with exit reason SimConnectError and a
    // restart after 9 s.
    void handleRequestError();

    // ---- Notices (own lock) ----

    void queueNotice(const SimNotice& notice);
    // The engine's drain: appends every queued notice to `out` in order and empties the queue.
    void takeNotices(std::vector<SimNotice>& out);
    // The not-running routine: drops every queued notice.
    void clearNotices();
    std::size_t noticeCount() const;

    // ---- The engine's command side ----

    // Creations and removals wait in the pacing queues (traffic worker only) ...
    PacingQueues& pacing() { return pacing_; }
    // ... and once per engine cycle what they let through moves to the outgoing queues.
    void pacingStep();
    // The outgoing queues: positions, client events, creations, removals (command lock).
    CommandQueues& queues() { return queues_; }
    // Client events and the respawn removal (traffic worker).
    AiCommands& commands() { return commands_; }

    // A creation the simulator refused (a CreationRefused notice): status, the livery and the
    // model with its airline recorded as failed; the twentieth distinct livery raises user
    // error 81.
    void creationRefused(std::string_view callsign, std::string_view liveryTitle,
                         std::string_view model, std::string_view airline);
    bool isFailedLivery(std::string_view title) const;
    bool isFailedCombination(std::string_view model, std::string_view airline) const;
    std::size_t failedLiveryCount() const;

    // Aircraft without a livery: "{:3} {:4} {}" of airline, model and registration.
    static std::string noLiveryKey(std::string_view airline, std::string_view model,
                                   std::string_view registration);
    void addNoLivery(std::string key);
    bool isNoLivery(std::string_view key) const;
    // End of the run: "\nNo match found for:", one line per key, then the closing line.
    void writeNoLiveryReport() const;

    // ---- The frame, tests and benchmarks ----

    // What the frame handler runs: takes the outgoing queues unless the command lock is busy
    // (false then) and sends them. Must run on the thread that dispatches (calls are
    // gathered there and go out together when the dispatch returns).
    bool sendFrame();
    std::vector<PendingCreation> pendingCreations() const;
    std::vector<std::uint32_t> addedObjects() const;
    std::uint64_t framesSent() const { return framesSent_.load(); }
    std::uint64_t framesBusy() const { return framesBusy_.load(); }
    // Uses a connection opened elsewhere, without the SimClient thread (benchmarks, tests).
    void attachHandle(HANDLE h) { handle_.store(h); }
    // Runs the dispatch procedure on one message, as the SimClient thread does, except that
    // an exception it raises reaches the caller.
    void dispatchForTest(SIMCONNECT_RECV* msg, DWORD size);

  private:
    // SimClient thread (sim_client.cpp).
    void clientBody(std::stop_token stop);
    void dispatchLoop(HANDLE h, const std::stop_token& stop);
    bool registerAll(HANDLE h);
    void closeHandle();
    void disconnected();
    void userStandCheck();
    std::string findUserStand(const LatLon& pos);
    void updateLamp();

    // Dispatch, on the SimClient thread (dispatch.cpp).
    static void lf_dispatchProc(SIMCONNECT_RECV* msg, DWORD size, void* context);
    void dispatch(const SIMCONNECT_RECV& msg, DWORD size);
    void onException(const SIMCONNECT_RECV_EXCEPTION& e);
    void onOpen(const SIMCONNECT_RECV_OPEN& open);
    void onEvent(const SIMCONNECT_RECV_EVENT& e);
    void onNewFlight();
    void onAddRemove(const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE& e);
    void onObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& d, DWORD size);
    void onByType(const SIMCONNECT_RECV_SIMOBJECT_DATA& d, DWORD size);
    void onUserPosition(DWORD objectId, const UserAircraftData& data);
    void onTitle(std::string_view title);
    void onModel(std::string_view model);
    void onUserOnGround(std::int64_t onGround);

    // Sending (outgoing.cpp).
    HANDLE handle() const { return handle_.load(); }
    // A call failed on a handle that is still the link's: one closed under the call (the
    // thread ending) is no request error.
    bool failedOn(HANDLE h, HRESULT hr) const { return gf_scFailed(hr) && handle() == h; }
    void sendBatch(const CommandBatch& batch);
    void sendCreation(HANDLE h, const CreateRequest& request);

    // Set at worker start, read by the dispatch.
    std::atomic<int> p3dMajor_{5};

    std::atomic<HANDLE> handle_{nullptr};  // set and cleared by the SimClient thread
    std::atomic<bool> running_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> commandFailure_{false};
    std::atomic<std::uint32_t> userObjectId_{2};
    std::atomic<std::int64_t> simTime_{0};
    std::atomic<bool> onGround_{false};
    std::atomic<bool> onGroundKnown_{false};
    std::atomic<bool> noAircraft_{false};
    std::atomic<bool> closingDown_{false};
    std::atomic<bool> clientRunning_{false};
    std::atomic<std::uint64_t> framesSent_{0};
    std::atomic<std::uint64_t> framesBusy_{0};

    // The thread object: started and joined by the traffic worker only.
    std::jthread client_;
    // The thread that dispatches only: what the dispatch procedure saw, the frame being sent.
    std::exception_ptr dispatchError_;
    bool quitSeen_ = false;
    CommandBatch sending_;

    mutable Mutex hooksMu_;
    SimHooks hooks_ GUARDED_BY(hooksMu_);

    // The state the dispatch writes and other threads read.
    mutable Mutex stateMu_;
    UserAircraftData user_ GUARDED_BY(stateMu_);
    LatLon previousUser_ GUARDED_BY(stateMu_);
    std::string simName_ GUARDED_BY(stateMu_);
    std::string title_ GUARDED_BY(stateMu_);
    std::string stand_ GUARDED_BY(stateMu_);
    std::optional<UserModelInfo> model_ GUARDED_BY(stateMu_);
    std::optional<LatLon> standCachePos_ GUARDED_BY(stateMu_);
    std::string standCache_ GUARDED_BY(stateMu_);
    std::vector<std::uint32_t> added_ GUARDED_BY(stateMu_);
    std::vector<PendingCreation> pending_ GUARDED_BY(stateMu_);

    mutable Mutex noticeMu_;
    std::vector<SimNotice> notices_ GUARDED_BY(noticeMu_);

    PacingQueues pacing_;
    CommandQueues queues_;
    AiCommands commands_{queues_, pacing_};

    using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;
    mutable Mutex failMu_;
    TextSet failedLiveries_ GUARDED_BY(failMu_);
    TextSet failedCombinations_ GUARDED_BY(failMu_);
    TextSet noLivery_ GUARDED_BY(failMu_);
};

SimLink& gf_simLink();

// The flaps operation under the name the rest of the program knows it by.
inline void gf_setFlaps(AiControls& ac, std::uint32_t step) {
    gf_simLink().commands().setFlaps(ac, step);
}

}  // namespace wnd
