// The live traffic engine: the live aircraft and their containers, and the 10 ms engine
// cycle that feeds them from RealTraffic's reports, creates them in the simulator, moves
// them and removes them. Traffic worker thread only, apart from the cycle counter (read by
// the Traffic Reader) and the destination text (written by the window). README.md explains
// the rules and the decisions taken where the rules leave something open.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "airports/airport_file.h"
#include "rtlink/traffic_record.h"
#include "sim/sim_types.h"
#include "traffic/engine_world.h"
#include "traffic/live_aircraft.h"
#include "traffic/static_side.h"
#include "util/mutex.h"

namespace wnd {

// An identified aircraft counting its frozen cycles before activation.
struct CreatedEntry {
    SimNotice notice;
    int cycles = 0;
};

// The engine's figures for the window and the reports.
struct EngineFigures {
    std::size_t live = 0;
    std::size_t active = 0;
    std::size_t flying = 0;
    std::size_t onGround = 0;
    std::uint64_t created = 0;
    std::uint64_t removed = 0;
    std::uint64_t landed = 0;
    std::uint64_t tookOff = 0;
    std::uint64_t recordsFed = 0;
};

class LiveEngine {
  public:
    static constexpr std::size_t kLiveCapacity = 512;
    static constexpr std::size_t kMaxStreamPoints = 200;
    static constexpr int kActivationCycles = 200;

    explicit LiveEngine(EngineWorld& world);

    // The start of the traffic: containers emptied (capacity reserved), the cycle counter and
    // figures back to 0.
    void prepare();
    void reset() { prepare(); }

    // ---- The engine cycle ----
    void lf_handleAddingStack();
    std::int32_t cycle() const { return cycle_.load(std::memory_order_relaxed); }

    // ---- Records ----
    void feedTrafficRecord(const TrafficRecord& r);
    // True when the record is to be dropped at the end of the cycle.
    bool updateLiveAc(LiveAircraft& ac);
    bool spawnLiveAc(LiveAircraft& ac);
    void removeAircraftFromSim(LiveAircraft& ac);
    void handleNotice(const SimNotice& n);

    // ---- Duties of the traffic worker ----
    void collisionChecks();
    void minuteDuty();
    void idleDuty();
    // The flight stopped: identified aircraft waiting for activation are removed.
    void flightStopped();
    // RealTraffic is gone (any thread): the next cycle removes every live aircraft.
    void requestRemoveAll() { removeAllRequested_.store(true); }
    // Blocks a callsign from the window: removes the first active aircraft with it.
    void blockCallsign(std::string_view callsign);
    // The "cs->oid:" list: "callsign objectid" of every active aircraft.
    std::vector<std::string> callsignList() const;
    // Destination texts typed in the window wait here; the worker takes one a second.
    void queueDestination(std::string text);
    void handleDestinationQueue();
    std::string destination() const;
    // Removes every live aircraft (RealTraffic gone, closing down).
    void removeAllLive();
    // The liveries in use: the titles the active aircraft show, renewed when the matching
    // changed (the worker's 30-second duty).
    void requestLiveryRenewal() { liveryRenewal_ = true; }
    void renewLiveriesInUse();
    std::vector<std::string> liveriesInUse() const;
    // Traffic that found no livery, written to the log every 20 minutes.
    void logUnmatched();
    // The park airport and its stands; another airport or file lets go of the stands held.
    void setParkAirport(std::optional<EngineParkAirport> park);
    // Static parking, once it runs (nothing: no static aircraft).
    void setStaticSide(StaticSide* side) { static_ = side; }
    StaticSide* staticSide() const { return static_; }

    // The nearest free stand of the park airport within the radius that the aircraft fits
    // (in landed mode a stand of its airline first), enlarged when it fits only nearly.
    StandRecord* standSearch(const LatLon& p, const LiveAircraft& ac, double radiusNm, bool landed);

    // ---- Read access (tests, figures) ----
    const std::vector<LiveAircraft>& live() const { return live_; }
    std::vector<LiveAircraft>& live() { return live_; }
    const std::vector<std::uint32_t>& addingStack() const { return adding_; }
    const std::vector<std::string>& blockedCallsigns() const { return blocked_; }
    const std::vector<CreatedEntry>& createdList() const { return created_; }
    const EngineFigures& figures() const { return figures_; }
    LiveAircraft* findById(std::uint32_t aircraftId);
    LiveAircraft* findByObject(std::uint32_t objectId);
    bool flareInProgress() const { return flares_ > 0; }

    // The no-livery key of an aircraft: "{:3} {:4} {}" of airline, model and registration.
    static std::string noLiveryKey(const LiveAircraft& ac);

  private:
    // Feeding (feeding.cpp).
    bool ignoreReport(const LiveAircraft& ac, const TrafficRecord& r) const;
    bool nearParkElevation(double altitude) const;
    void giveBirth(const TrafficRecord& r);
    bool respawnCheck(LiveAircraft& ac, const TrafficRecord& r);
    // The livery the matching picks for the aircraft now; empty for none.
    std::string matchedLivery(const LiveAircraft& ac);
    bool liveryWouldChange(LiveAircraft& ac);
    void ghostCheck(std::string_view callsign);
    void liveryRespawn(LiveAircraft& ac);
    void feedStream(LiveAircraft& ac, StreamPoint p);
    bool checkExtendingSituations(LiveAircraft& ac, StreamPoint& p);
    bool checkNewPosDuringLanding(LiveAircraft& ac, StreamPoint& p);

    // Buffer, creation and activation (lifecycle.cpp).
    bool bufferRules(LiveAircraft& ac);
    bool capacityRule(LiveAircraft& ac);
    void completeIdentity(LiveAircraft& ac);
    void createFromAddingStack();
    void activate();
    void identify(const SimNotice& n);
    void activationLights(LiveAircraft& ac);

    // The update (update.cpp, flight.cpp).
    void advanceSegment(LiveAircraft& ac);
    void setUpSegment(LiveAircraft& ac, StreamPoint& next);
    std::int32_t planDue(LiveAircraft& ac, const StreamPoint& from, const StreamPoint& to,
                         double distanceNm);
    void airborneSegment(LiveAircraft& ac, const StreamPoint& cur, StreamPoint& next);
    void groundSegment(LiveAircraft& ac, const StreamPoint& cur, StreamPoint& next);
    void configureInAir(LiveAircraft& ac, const StreamPoint& next);
    void liftOff(LiveAircraft& ac);
    void moveOneCycle(LiveAircraft& ac);
    void flare(LiveAircraft& ac);
    void clampToGround(LiveAircraft& ac);
    bool extendStream(LiveAircraft& ac);
    void resetPoseFromStream(LiveAircraft& ac);
    double derivedRate(const LiveAircraft& ac, const StreamPoint& a, const StreamPoint& b) const;
    double groundLevel(const LiveAircraft& ac) const;
    void sendPosition(const LiveAircraft& ac);

    // Ground movement (ground_moves.cpp, ground_curve.cpp): segments along corner curves,
    // speed changes, push-back and pull-out, the drive onto a stand, the take-off start.
    bool nextPosGround(LiveAircraft& ac);
    void dropPassedPoints(LiveAircraft& ac);
    void insertMidpoint(LiveAircraft& ac);
    void startCurve(LiveAircraft& ac, const LatLon& corner, StreamPoint& end, bool reverse,
                    double speedKt);
    void moveOnCurve(LiveAircraft& ac);
    bool pushBackSegment(LiveAircraft& ac);
    void pushedBack(LiveAircraft& ac);
    // A parked aircraft's reports show it leaving: true when the report is to be kept.
    bool leaveStand(LiveAircraft& ac, const StreamPoint& p);
    void notePushSide(LiveAircraft& ac, const StreamPoint& p);
    bool pushedBackMayTaxi(LiveAircraft& ac, const StreamPoint& p);
    void drive2Stand(LiveAircraft& ac, const StandRecord& s);
    bool driveOntoStand(LiveAircraft& ac);
    void takeOffStart(LiveAircraft& ac);

    // Parking (parking.cpp, stands.cpp): stands of the park airport held by live aircraft.
    std::vector<StandRecord>* parkStands() const;
    StandRecord* standByNumber(std::uint32_t number) const;
    bool findStandAt(LiveAircraft& ac);
    bool try2Park(LiveAircraft& ac, bool landed);
    bool parkingEnd(LiveAircraft& ac);
    void parkingBookkeeping(LiveAircraft& ac);
    void takeStand(LiveAircraft& ac, StandRecord& s);
    void freeStand(LiveAircraft& ac);
    std::string standName(const LiveAircraft& ac) const;
    bool isUserStand(const StandRecord& s) const;
    LiveAircraft* standHolder(std::uint32_t stand);
    enum class HolderVerdict { None, Keeps, SameCallsign, Ghost, Stale };
    HolderVerdict holderVerdict(const LiveAircraft& holder, const LiveAircraft& ac) const;
    bool holderKeepsStand(LiveAircraft& holder, const LiveAircraft& ac, const StandRecord& s);
    bool neighbourCollides(const LiveAircraft& ac, const StandRecord& s, bool removeIt);
    void makeWay(const LiveAircraft& ac, const StandRecord& s);
    void applyParkLimit(bool aboutToPark);
    void arrivedAtStand(LiveAircraft& ac, int kind);
    void learnStand(const LiveAircraft& ac, int kind);
    void followParkAirport();

    // Notices (notices.cpp).
    void touchdown(LiveAircraft& ac);
    void startRollOut(LiveAircraft& ac);
    void objectRemoved(const SimNotice& n);
    void inRange(const SimNotice& n);

    // Collisions (collisions.cpp).
    bool proximityHit(const LiveAircraft& ac, const UserAircraftData& user, int mode) const;
    bool collisionAtSpawn(LiveAircraft& ac);

    void setPhase(LiveAircraft& ac, FlightPhase p);
    void dropMarked();
    bool queuedForCreation(std::string_view callsign) const;

    EngineWorld& world_;
    std::vector<LiveAircraft> live_;
    std::vector<std::uint32_t> adding_;
    std::vector<std::string> blocked_;
    std::vector<CreatedEntry> created_;
    std::vector<SimNotice> notices_;
    std::vector<TrafficRecord> records_;
    std::atomic<std::int32_t> cycle_{0};
    int flares_ = 0;
    UserAircraftData user_{};
    bool userOnGround_ = false;
    LatLon lastUserCheck_{};
    std::optional<EngineParkAirport> park_;
    std::uint64_t standsOf_ = 0;  // the park airport generation the stand holders belong to
    std::vector<std::uint32_t> standHolders_;  // by stand number - 1: the live holder's id
    StaticSide* static_ = nullptr;
    bool liveryRenewal_ = false;
    std::atomic<bool> removeAllRequested_{false};
    std::vector<std::string> unmatched_;
    EngineFigures figures_;

    mutable Mutex destMu_;
    std::deque<std::string> destQueue_ GUARDED_BY(destMu_);
    std::string destination_ GUARDED_BY(destMu_);
};

// The engine of the running program, on the linked world.
LiveEngine& gf_liveEngine();

}  // namespace wnd
