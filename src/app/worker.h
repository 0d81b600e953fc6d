// The traffic worker: after start-up the start-up thread starts the traffic (simulator
// link, RealTraffic link, readers), waits for a running flight and runs the main cycle,
// a 10 ms tick with a per-second schedule keyed to the simulator's second.
#pragma once

#include <chrono>
#include <cstdint>

namespace wnd {

class TrafficWorker {
  public:
    virtual ~TrafficWorker() = default;

    // False when the run is to end before the main cycle.
    bool startTraffic();
    // Runs until a tick returns false.
    void mainCycle();
    // One 10 ms tick; false when the cycle must end.
    bool oneTick();

    // The automatic range for the user's situation: 100/40 by height, else by the
    // distance to the destination airport (10000 nm when none).
    static int autoRangeFor(double altitudeFt, double aboveGroundFt, double destinationNm);

    // Worker state back to the start of a run.
    void reset();

    bool notRunningMode() const { return notRunning_; }
    int renewalCountdown() const { return renewalCountdown_; }

  protected:
    // The world the worker drives. Tests replace these to watch the schedule.
    virtual void prepareLinks();
    // False when the run is to end before a flight runs.
    virtual bool waitForFlight();
    virtual bool startTrafficLink();
    // The callsigns heard in the 15 s before a static parking renewal.
    virtual void startCallsignGathering();
    virtual void endCallsignGathering();
    virtual bool flightRunning();
    virtual void engineCycle();
    virtual void engineIdleDuty();
    virtual void engineMinuteDuty();
    virtual void engineDestinationQueue();
    // The park airport follows the user (once a simulator second).
    virtual void parkCycleStep();
    virtual void updateStaticParking();
    virtual void renewStaticParking();
    virtual bool staticParkingHasStands();
    virtual void removeAllStatic();
    virtual void fillCallsignList();
    virtual void collisionChecks();
    virtual void blockCallsign();
    virtual void recountParked();
    virtual void recountLive();
    virtual void applyNavLights();
    virtual void removeSurplusLive();
    virtual void renewLiveriesInUse();
    virtual void logUnmatched();
    virtual void logMatchingSummary();
    virtual void rereadParkAirports();
    virtual void readerLivenessCheck();
    virtual void copyUserPositionToReader();
    virtual void sendTimeToRealTraffic();
    virtual void sendPositionToRealTraffic();
    virtual void setMainCycleRuns(bool runs);
    virtual void clearNoticeQueues();
    virtual void applyAutoRange();
    virtual void recordProgramTime();

    // The per-second routine and the modulo schedule of one simulator second.
    void perSecond();
    void secondDuties(int n);
    void fifteenSecondDuties(int n);
    void notRunningRoutine();
    void handleRereadRequest();
    // The renewal of static parking: announced, it runs at the next 15-second duty.
    void scheduleRenewal(int n);
    // The window's "Now".
    void renewStaticNow(int n);
    void showRenewalMinutes();

  private:
    bool sleepUnlessEnding(std::chrono::milliseconds d);

    bool notRunning_ = false;
    int notRunningCountdown_ = 100;
    int renewalCountdown_ = 20;
    bool renewalRequested_ = false;
    bool renewalInProgress_ = false;
};

// The worker of this process.
TrafficWorker& gf_trafficWorker();

// Stores a traffic radius (clamped into RANGE's range) and hands it to the readers.
void gf_setRange(int nm);

}  // namespace wnd
