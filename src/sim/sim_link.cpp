#include "sim/sim_link.h"

#include <fmt/format.h>

#include "board/run_control.h"
#include "board/status_board.h"
#include "util/log.h"
#include "util/no_destructor.h"

namespace wnd {

namespace {
constexpr std::size_t kReserved = 256;
}  // namespace

SimLink::SimLink() = default;

SimLink::~SimLink() {
    // The process-wide object never dies; a test's own instance stops its thread here.
    stopClient();
}

void SimLink::prepare(int p3dMajor) {
    p3dMajor_.store(p3dMajor);
    commandFailure_.store(false);
    userObjectId_.store(2);
    running_.store(false);
    paused_.store(false);
    onGround_.store(false);
    onGroundKnown_.store(false);
    closingDown_.store(false);
    simTime_.store(0);
    handle_.store(nullptr);
    queues_.prepare();
    pacing_.clear();
    sending_.clear();
    {
        MutexLock lock(stateMu_);
        added_.clear();
        pending_.clear();
        added_.reserve(kReserved);
        pending_.reserve(kReserved);
        previousUser_ = {};
        user_ = {};
    }
}

void SimLink::reset() {
    prepare(p3dMajor_.load());
    connected_.store(false);
    noAircraft_.store(false);
    framesSent_.store(0);
    framesBusy_.store(0);
    {
        MutexLock lock(stateMu_);
        simName_.clear();
        title_.clear();
        stand_.clear();
        model_.reset();
        standCachePos_.reset();
        standCache_.clear();
    }
    clearNotices();
    MutexLock lock(failMu_);
    failedLiveries_.clear();
    failedCombinations_.clear();
    noLivery_.clear();
}

void SimLink::setHooks(SimHooks hooks) {
    MutexLock lock(hooksMu_);
    hooks_ = std::move(hooks);
}

void SimLink::startClient() {
    if (client_.joinable()) {
        gf_logWarning("SimClient: the previous thread was still held, stopping it first");
        stopClient();
    }
    closingDown_.store(false);
    clientRunning_.store(true);
    client_ = std::jthread([this](std::stop_token stop) { clientBody(stop); });
}

void SimLink::requestClientStop() {
    closingDown_.store(true);
    if (client_.joinable()) {
        client_.request_stop();
    }
}

void SimLink::joinClient() {
    if (client_.joinable()) {
        client_.join();
    }
}

std::string SimLink::simulatorName() const {
    MutexLock lock(stateMu_);
    return simName_;
}

UserAircraftData SimLink::userAircraft() const {
    MutexLock lock(stateMu_);
    return user_;
}

std::optional<bool> SimLink::userOnGround() const {
    if (!onGroundKnown_.load()) {
        return std::nullopt;
    }
    return onGround_.load();
}

std::string SimLink::userTitle() const {
    MutexLock lock(stateMu_);
    return title_;
}

std::string SimLink::userStand() const {
    MutexLock lock(stateMu_);
    return stand_;
}

std::optional<UserModelInfo> SimLink::userModel() const {
    MutexLock lock(stateMu_);
    return model_;
}

void SimLink::handleRequestError() {
    showStatus("SimConnect request error");
    commandFailure_.store(true);
    if (!gf_runControl().ending()) {
        gf_runControl().requestStop(ExitReason::SimConnectError, 9);
    }
}

void SimLink::pacingStep() {
    PacingQueues::Due due = pacing_.step();
    if (due.creation) {
        queues_.addCreation(std::move(*due.creation));
    }
    if (due.removal) {
        queues_.addRemoval(*due.removal);
    }
}

// ---- Notices ----

void SimLink::queueNotice(const SimNotice& notice) {
    MutexLock lock(noticeMu_);
    notices_.push_back(notice);
}

void SimLink::takeNotices(std::vector<SimNotice>& out) {
    MutexLock lock(noticeMu_);
    out.insert(out.end(), notices_.begin(), notices_.end());
    notices_.clear();
}

void SimLink::clearNotices() {
    MutexLock lock(noticeMu_);
    notices_.clear();
}

std::size_t SimLink::noticeCount() const {
    MutexLock lock(noticeMu_);
    return notices_.size();
}

SimLink& gf_simLink() {
    static NoDestructor<SimLink> link;
    return *link;
}

}  // namespace wnd
