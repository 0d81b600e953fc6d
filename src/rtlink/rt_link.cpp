#include "rtlink/rt_link.h"

#include <chrono>
#include <thread>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "util/log.h"
#include "util/no_destructor.h"

namespace wnd {

namespace {

using namespace std::chrono_literals;

// Sleeps in short steps; false when a stop or close came.
bool lf_sleepUnlessEnding(std::chrono::milliseconds total) {
    const auto end = std::chrono::steady_clock::now() + total;
    while (std::chrono::steady_clock::now() < end) {
        if (gf_runControl().ending()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            100ms, end - std::chrono::steady_clock::now()));
    }
    return !gf_runControl().ending();
}

void lf_liveness(std::uint32_t count, std::uint32_t& seen, bool& receiving,
                 std::atomic<LinkState>& state) {
    if (count == seen) {
        state.store(LinkState::Waiting);
        receiving = false;  // so that new datagrams turn it green again
        gf_requestRepaint();
    } else if (!receiving) {
        receiving = true;
        state.store(LinkState::Good);
        gf_requestRepaint();
    }
    seen = count;
}

}  // namespace

RtLink::RtLink()
    : traffic_(queue_),
      qnh_(traffic_, currentQnh_),
      server_(PsxServer::Callbacks{[this] { resetReaderState(); },
                                   [this] {
                                       if (auto h = hooks(); h.removeLiveTraffic) {
                                           h.removeLiveTraffic();
                                       }
                                   }}) {}

void RtLink::setHooks(LinkHooks hooks) {
    MutexLock lock(hooksMu_);
    hooks_ = std::move(hooks);
}

LinkHooks RtLink::hooks() const {
    MutexLock lock(hooksMu_);
    return hooks_;
}

bool RtLink::startTrafficLink() {
    const bool local = realTrafficLocal();
    const bool aerowinx = gs().AEROWINX.value();
    if (!local || aerowinx) {
        setUdpOnlyMode();
    } else {
        startServer();
    }
    if (gf_runControl().ending()) {
        return false;
    }
    gf_board().trafficNotStarted.store(false);
    gf_requestRepaint();
    if (!aerowinx) {
        if (local) {
            waitForRealTraffic();
        }
        if (server_.connected()) {
            sendTime();
        }
    }
    if (gf_runControl().ending()) {
        return false;
    }
    queue_.setMainCycleRuns(false);
    startQnhReader();
    if (!lf_sleepUnlessEnding(2000ms)) {
        return false;
    }
    startTrafficReader();
    sendPosition();
    copyUserPosition();
    waitForFirstTraffic();
    return !gf_runControl().ending();
}

void RtLink::startServer() {
    server_.start(gs().PORT_NUMBER.value());
}

void RtLink::setUdpOnlyMode() {
    gf_board().rtLink.store(LinkState::Good);
    gf_requestRepaint();
}

void RtLink::waitForRealTraffic() {
    server_.waitForRealTraffic();
}

void RtLink::startQnhReader(std::uint16_t port) {
    qnh_.start(port, realTrafficLocal());
}

void RtLink::startTrafficReader(std::uint16_t port) {
    const auto cycle = hooks().currentCycle;
    traffic_.join();  // the cycle source may change only while the reader does not run
    traffic_.setCycleSource(cycle);
    traffic_.start(port, realTrafficLocal());
}

bool RtLink::waitForFirstTraffic() {
    for (int i = 0; i < 150; ++i) {
        if (traffic_.lastTrafficTime() != 0.0) {
            return true;
        }
        if (gf_runControl().ending()) {
            return false;
        }
        std::this_thread::sleep_for(100ms);
    }
    if (traffic_.lastTrafficTime() != 0.0) {
        return true;
    }
    gf_logLine("No traffic in this region?");
    return false;
}

void RtLink::sendPosition() {
    const auto h = hooks();
    if (!h.userAircraft) {
        return;
    }
    if (const auto user = h.userAircraft()) {
        sendPosition(*user);
    }
}

void RtLink::sendPosition(const RtUserAircraft& user) {
    server_.sendPosition(user);
}

void RtLink::sendTime() {
    const auto h = hooks();
    if (!h.zuluTime) {
        return;
    }
    if (const auto zulu = h.zuluTime()) {
        sendTime(*zulu);
    }
}

void RtLink::sendTime(const ZuluTime& zulu) {
    server_.sendTime(zulu);
}

void RtLink::copyUserPosition() {
    const auto h = hooks();
    if (!h.userAircraft) {
        return;
    }
    if (const auto user = h.userAircraft()) {
        traffic_.setUserPosition({user->latDeg, user->lonDeg});
    }
}

void RtLink::livenessCheck() {
    if (gf_board().rtLink.load() != LinkState::Good) {
        return;
    }
    lf_liveness(traffic_.datagramCount(), trafficSeen_, trafficReceiving_,
                gf_board().trafficReader);
    lf_liveness(qnh_.datagramCount(), weatherSeen_, weatherReceiving_, gf_board().weatherReader);
}

void RtLink::stopForClosingDown() {
    queue_.setMainCycleRuns(false);
    traffic_.requestStop();
    qnh_.requestStop();
}

void RtLink::closeForClosingDown() {
    server_.closeDown();
    traffic_.requestStop();
    qnh_.requestStop();
    traffic_.join();
    qnh_.join();
}

void RtLink::resetReaderState() {
    currentQnh_.store(1013);
    gf_board().qnh.store(1013);
    traffic_.resetShared();
    qnh_.resetShared();
    traffic_.clearStop();
    qnh_.clearStop();
    trafficSeen_ = traffic_.datagramCount();
    weatherSeen_ = qnh_.datagramCount();
    trafficReceiving_ = false;
    weatherReceiving_ = false;
}

void RtLink::reset() {
    resetReaderState();
    traffic_.setCallsignCollection(false);
    queue_.setMainCycleRuns(false);
    queue_.clear();
    server_.clearConnectedThisRun();
}

RtLink& gf_rtLink() {
    static NoDestructor<RtLink> link;
    return *link;
}

}  // namespace wnd
