#include "app/worker.h"

#include <fmt/format.h>

#include <cmath>
#include <thread>

#include "airports/airports_db.h"
#include "app/duties.h"
#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "rtlink/rt_link.h"
#include "settings/settings.h"
#include "ui/control_table.h"
#include "ui/message_queue.h"
#include "ui/requests.h"
#include "ui/window.h"
#include "util/log.h"
#include "util/no_destructor.h"
#include "util/program.h"
#include "util/program_time.h"
#include "util/time.h"

using namespace std::chrono_literals;

namespace wnd {

namespace {
constexpr auto kCycle = 10ms;
constexpr int kRenewalMinutes = 20;
}  // namespace

TrafficWorker& gf_trafficWorker() {
    static NoDestructor<TrafficWorker> w;
    return *w;
}

void gf_setRange(int nm) {
    Settings& s = gs();
    s.RANGE.set(nm);
    gf_rtLink().trafficReader().setTrafficRadius(static_cast<double>(s.RANGE.value()));
    gf_refreshControl(ctl::kRange);  // the dropdown shows the range in use
}

int TrafficWorker::autoRangeFor(double altitudeFt, double aboveGroundFt, double destinationNm) {
    const Settings& s = gs();
    if (altitudeFt > s.AR_ABOVE_HEIGHT.value()) {
        return 100;
    }
    if (aboveGroundFt > s.AIRP_HEIGHT.value()) {
        return 40;
    }
    const double d = destinationNm;
    if (d <= 7) {
        return 10;
    }
    if (d >= 37) {
        return 40;
    }
    const double r = std::round(d);
    if (r >= 33) {
        return 35;
    }
    if (r >= 28) {
        return 30;
    }
    if (r >= 23) {
        return 25;
    }
    if (r >= 19) {
        return 20;
    }
    if (r >= 17) {
        return 18;
    }
    if (r >= 15) {
        return 16;
    }
    if (r >= 13) {
        return 14;
    }
    if (r >= 11) {
        return 12;
    }
    if (r >= 9) {
        return 10;
    }
    return 8;
}

void TrafficWorker::reset() {
    notRunning_ = false;
    notRunningCountdown_ = 100;
    renewalCountdown_ = kRenewalMinutes;
    renewalRequested_ = false;
    renewalInProgress_ = false;
}

bool TrafficWorker::sleepUnlessEnding(std::chrono::milliseconds d) {
    gf_flushLog();  // what happened so far is on disk while the worker waits
    const auto end = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < end) {
        if (gf_runControl().ending()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(d, 50ms));
    }
    return !gf_runControl().ending();
}

bool TrafficWorker::waitForFlight() {
    while (!duty::simFlightRunning()) {
        if (!sleepUnlessEnding(100ms)) {
            return false;
        }
    }
    if (!duty::requestUserOnGround()) {
        return false;
    }
    auto awayFromZero = [](const duty::UserState& u) {
        return std::abs(u.lat) >= 0.0001 || std::abs(u.lon) >= 0.0001;
    };
    for (;;) {
        const duty::UserState u = duty::requestUserPosition();
        if (u.onGroundKnown && awayFromZero(u)) {
            break;
        }
        if (!sleepUnlessEnding(500ms)) {
            return false;
        }
    }
    duty::requestUserTitleAndModel();
    while (!awayFromZero(duty::requestUserPosition())) {
        if (!sleepUnlessEnding(200ms)) {
            return false;
        }
    }
    return true;
}

bool TrafficWorker::startTraffic() {
    StatusBoard& d = gf_board();
    d.simLink = LinkState::Off;
    gf_requestRepaint();
    d.rtLink = LinkState::Off;
    gf_requestRepaint();
    prepareLinks();
    if (!waitForFlight()) {
        return false;
    }
    duty::parkCycleStep();
    // The readers filter by the range from their first datagram; the automatic range
    // refines it from the user's situation.
    gf_setRange(gs().RANGE.value());
    if (gs().AUTO_RANGE.value()) {
        applyAutoRange();
    }
    if (!startTrafficLink()) {
        return false;
    }
    recordProgramTime();
    return true;
}

void TrafficWorker::prepareLinks() {
    duty::prepareEngine();
    duty::prepareLiveriesInUse();
    duty::prepareSimLink();
    gf_requestRepaint();
    duty::startSimClient();
}
bool TrafficWorker::startTrafficLink() {
    return gf_rtLink().startTrafficLink();
}
void TrafficWorker::startCallsignGathering() {
    gf_rtLink().trafficReader().clearCallsigns();
    gf_rtLink().trafficReader().setCallsignCollection(true);
}
void TrafficWorker::endCallsignGathering() {
    gf_rtLink().trafficReader().setCallsignCollection(false);
}

bool TrafficWorker::flightRunning() {
    return duty::simFlightRunning();
}
void TrafficWorker::clearNoticeQueues() {
    duty::clearNoticeQueues();
}

void TrafficWorker::applyAutoRange() {
    const duty::UserState u = duty::requestUserPosition();
    if (u.onGround) {
        return;  // on the ground the range stays
    }
    double destinationNm = 10000.0;
    if (const AirportRecord* a = gf_findAirport(gs().DESTINATION.value()); a != nullptr) {
        destinationNm = gf_distanceNm({u.lat, u.lon}, a->position);
    }
    gf_setRange(autoRangeFor(u.altitudeFt, u.aboveGroundFt, destinationNm));
}

void TrafficWorker::mainCycle() {
    RunControl& rc = gf_runControl();
    updateStaticParking();
    readerLivenessCheck();
    rc.setSeconds(0);
    recordProgramTime();
    setMainCycleRuns(true);
    duty::enableCycleControls();

    const platform::TimerResolution resolution;
    using Clock = std::chrono::steady_clock;
    Clock::time_point due = Clock::now() + kCycle;
    bool go = oneTick();
    while (go) {
        Clock::time_point now = Clock::now();
        if (due + 100ms < now) {
            due = now + kCycle;  // a late cycle does not try to catch up
        }
        if (due - now >= 1ms) {
            std::this_thread::sleep_until(due);
        }
        now = Clock::now();
        due = (rc.oneSecondTick() ? now : due) + kCycle;
        go = oneTick();
    }
}

bool TrafficWorker::oneTick() {
    RunControl& rc = gf_runControl();
    if (!flightRunning()) {
        notRunningRoutine();
        return !rc.ending();
    }
    engineCycle();
    if (!rc.takeOneSecondTick()) {
        return !rc.ending();
    }
    perSecond();
    if (rc.ending()) {
        return false;
    }
    secondDuties(rc.seconds());
    return !rc.ending();
}

void TrafficWorker::secondDuties(int n) {
    if (n % 5 != 0) {
        if (n % 16 == 0 && !renewalInProgress_) {
            updateStaticParking();
        }
        if (n % 59 == 0) {
            readerLivenessCheck();
        }
        if (n % 61 == 0) {
            engineMinuteDuty();
        }
        return;
    }
    copyUserPositionToReader();
    sendTimeToRealTraffic();
    engineDestinationQueue();
    handleRereadRequest();
    if (n % 15 == 0) {
        fifteenSecondDuties(n);
    }
}

void TrafficWorker::perSecond() {
    RunControl& rc = gf_runControl();
    StatusBoard& d = gf_board();
    WorkerRequests& req = gf_workerRequests();
    if (notRunning_) {
        notRunning_ = false;
        gf_logLine("{} Flight resumed", gf_utcClock());
        setMainCycleRuns(true);
    }
    const int shown = ++d.displaySeconds;
    const int since = d.statusShownAt();
    if (since > 0 && shown - since >= 25) {
        d.clearStatus();
    }
    gf_requestRepaint();
    recordProgramTime();
    rc.setSeconds(rc.seconds() + 1);
    gf_flushLog();
    engineDestinationQueue();
    parkCycleStep();
    if (req.flushStatic.exchange(false)) {
        removeAllStatic();
        if (!gs().INITIAL_LOAD_ONLY.value()) {
            gs().INITIAL_LOAD_ONLY.set(true);  // not saved: only no new ones in this run
        }
    }
    if (req.renewStaticNow.exchange(false)) {
        renewStaticNow(rc.seconds());
    }
    if (req.fillCallsignList.exchange(false)) {
        fillCallsignList();
    }
    collisionChecks();
    if (req.blockCallsign.exchange(false)) {
        blockCallsign();
    }
    // The engine reads BLOCK_CALLSIGN at every birth: an unblocked callsign comes again
    // by itself.
    req.unblockCallsign.store(false);
    if (req.applyNavLights.exchange(false)) {
        applyNavLights();
    }
    // After MAX_LIVE_SEL was lowered, aircraft created before still become active for a
    // few seconds: the surplus is removed every second, not only at the change.
    req.removeSurplusLive.store(false);
    removeSurplusLive();
    if (req.applyAutoRange.exchange(false) && gs().AUTO_RANGE.value()) {
        applyAutoRange();
    }
    recountParked();
    recountLive();
}

void TrafficWorker::fifteenSecondDuties(int n) {
    RunControl& rc = gf_runControl();
    StatusBoard& d = gf_board();
    if (renewalRequested_) {
        if (!renewalInProgress_) {
            renewalInProgress_ = true;
            startCallsignGathering();
        } else {
            renewalInProgress_ = false;
            endCallsignGathering();
            d.clearError();
            d.clearStatus();
            if (staticParkingHasStands()) {
                renewStaticParking();
            }
            gf_flushLog();
            renewalRequested_ = false;
        }
    }
    if (d.trafficReader.load() == LinkState::Waiting ||
        d.weatherReader.load() == LinkState::Waiting) {
        readerLivenessCheck();
    }
    if (n % 30 == 0) {
        if (gf_workerRequests().renewMatching.exchange(false)) {
            renewLiveriesInUse();
        }
        if (gs().AUTO_RANGE.value()) {
            applyAutoRange();
        }
    }
    if (n % 60 == 0) {
        if (--renewalCountdown_ <= 0) {
            renewalCountdown_ = kRenewalMinutes;
            if (d.staticParkingActive.load() && !gs().INITIAL_LOAD_ONLY.value() &&
                !gf_workerRequests().parkListEditing.load() && !renewalRequested_) {
                scheduleRenewal(n);
            }
        }
        showRenewalMinutes();
    }
    if (n % 1200 == 0) {
        logUnmatched();
    }
    if (n % 86400 == 0) {
        rc.setSeconds(0);
        logMatchingSummary();
    }
}

void TrafficWorker::scheduleRenewal(int n) {
    const int wait = 15 - n % 15;  // the renewal starts at the next 15-s duty
    showStatus(fmt::format("{} will update static parking in {} second{} ...", kProductTitle, wait,
                           wait == 1 ? "" : "s"));
    renewalRequested_ = true;
}

void TrafficWorker::renewStaticNow(int n) {
    if (!gf_board().staticParkingActive.load()) {
        return;
    }
    if (gs().INITIAL_LOAD_ONLY.value()) {
        gf_board().clearStatus();
        return;
    }
    scheduleRenewal(n);
    renewalCountdown_ = kRenewalMinutes;
    showRenewalMinutes();
}

void TrafficWorker::showRenewalMinutes() {
    const bool shown = gf_board().staticParkingActive.load() && !gs().INITIAL_LOAD_ONLY.value();
    gf_board().parking.renewalMinutes = shown ? renewalCountdown_ : 0;
    gf_requestRepaint();
}

void TrafficWorker::notRunningRoutine() {
    if (!notRunning_) {
        setMainCycleRuns(false);
        notRunning_ = true;
        notRunningCountdown_ = 100;
        clearNoticeQueues();
        gf_logLine("{} Flight not running", gf_utcClock());
    }
    engineIdleDuty();
    --notRunningCountdown_;
    if (notRunningCountdown_ % 100 == 0) {
        handleRereadRequest();
        sendPositionToRealTraffic();
    }
    if (notRunningCountdown_ < 1) {
        notRunningCountdown_ = 100;
        gf_flushLog();
        gf_requestRepaint();
        recordProgramTime();
    }
}

void TrafficWorker::handleRereadRequest() {
    WorkerRequests& req = gf_workerRequests();
    // Taken before the work, so that a request made during the re-read is not lost.
    if (!req.parkListEditing.load() && req.rereadParkAirports.exchange(false)) {
        rereadParkAirports();
    }
}

// The world, as the subsystems provide it.
void TrafficWorker::engineCycle() {
    duty::engineCycle();
}
void TrafficWorker::engineIdleDuty() {
    duty::engineIdleDuty();
}
void TrafficWorker::engineMinuteDuty() {
    duty::engineMinuteDuty();
}
void TrafficWorker::engineDestinationQueue() {
    duty::engineDestinationQueue();
}
void TrafficWorker::parkCycleStep() {
    if (duty::parkCycleStep()) {
        renewalCountdown_ = kRenewalMinutes;  // a new static set: the next renewal in 20 min
        showRenewalMinutes();
    }
}
void TrafficWorker::updateStaticParking() {
    duty::updateStaticParking();
}
void TrafficWorker::renewStaticParking() {
    duty::renewStaticParking();
}
bool TrafficWorker::staticParkingHasStands() {
    return duty::staticParkingHasStands();
}
void TrafficWorker::removeAllStatic() {
    duty::removeAllStatic();
}
void TrafficWorker::fillCallsignList() {
    duty::fillCallsignList();
}
void TrafficWorker::collisionChecks() {
    duty::collisionChecks();
}
void TrafficWorker::blockCallsign() {
    duty::blockCallsign();
}
void TrafficWorker::recountParked() {
    duty::recountParked();
}
void TrafficWorker::renewLiveriesInUse() {
    duty::renewLiveriesInUse();
}
void TrafficWorker::logUnmatched() {
    duty::logUnmatched();
}
void TrafficWorker::logMatchingSummary() {
    duty::logMatchingSummary();
}
void TrafficWorker::rereadParkAirports() {
    const std::string message = duty::rereadParkAirports();
    if (!message.empty()) {
        showStatus(message);
    }
    duty::enableRereadControls();
}
void TrafficWorker::applyNavLights() {
    duty::applyNavLights();
}
void TrafficWorker::removeSurplusLive() {
    duty::removeSurplusLive();
}
void TrafficWorker::recountLive() {
    duty::recountLive();
}
void TrafficWorker::readerLivenessCheck() {
    gf_rtLink().livenessCheck();
}
void TrafficWorker::copyUserPositionToReader() {
    gf_rtLink().copyUserPosition();
}
void TrafficWorker::sendTimeToRealTraffic() {
    gf_rtLink().sendTime();
}
void TrafficWorker::sendPositionToRealTraffic() {
    gf_rtLink().sendPosition();
}
void TrafficWorker::setMainCycleRuns(bool runs) {
    gf_rtLink().queue().setMainCycleRuns(runs);
}
void TrafficWorker::recordProgramTime() {
    gf_setProgramTime(duty::simulationTime());
}

}  // namespace wnd
