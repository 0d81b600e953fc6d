#include "board/status_board.h"

#include <algorithm>

#include "util/log.h"
#include "util/no_destructor.h"

namespace wnd {

void StatusBoard::showStatus(std::string_view text, bool alsoLog) {
    {
        MutexLock lock(mu_);
        if (!error_.empty()) {
            return;
        }
        status_ = std::string(text);
        statusShownAt_ = text.empty() ? 0 : std::max(1, displaySeconds.load());
    }
    if (alsoLog && !text.empty()) {
        gf_logLine(text);
    }
    notify('s', std::string(text));
    gf_requestRepaint();
}

void StatusBoard::showError(std::string_view text) {
    {
        MutexLock lock(mu_);
        status_.clear();
        statusShownAt_ = 0;
        error_ = std::string(text);
    }
    gf_logLine("Error {}", text);
    notify('e', std::string(text));
    gf_requestRepaint();
}

void StatusBoard::clearError() {
    {
        MutexLock lock(mu_);
        if (error_.empty()) {
            return;
        }
        error_.clear();
    }
    notify('e', {});
    gf_requestRepaint();
}

std::string StatusBoard::status() const {
    MutexLock lock(mu_);
    return status_;
}

std::string StatusBoard::error() const {
    MutexLock lock(mu_);
    return error_;
}

int StatusBoard::statusShownAt() const {
    MutexLock lock(mu_);
    return statusShownAt_;
}

void StatusBoard::setEditionText(std::string text) {
    MutexLock lock(mu_);
    edition_ = std::move(text);
}

std::string StatusBoard::editionText() const {
    MutexLock lock(mu_);
    return edition_;
}

void StatusBoard::setListener(Listener l) {
    MutexLock lock(mu_);
    listener_ = std::move(l);
}

void StatusBoard::setParkAirportText(std::string code) {
    MutexLock lock(mu_);
    parkAirport_ = std::move(code);
}

std::string StatusBoard::parkAirportText() const {
    MutexLock lock(mu_);
    return parkAirport_;
}

void StatusBoard::setUserAircraft(std::string title, std::string stand) {
    MutexLock lock(mu_);
    userTitle_ = std::move(title);
    userStand_ = std::move(stand);
}

void StatusBoard::setTbloRequest(std::string text) {
    {
        MutexLock lock(mu_);
        tbloRequest_ = std::move(text);
    }
    requestRepaint();
}

std::string StatusBoard::tbloRequest() const {
    MutexLock lock(mu_);
    return tbloRequest_;
}

std::string StatusBoard::userTitle() const {
    MutexLock lock(mu_);
    return userTitle_;
}

std::string StatusBoard::userStand() const {
    MutexLock lock(mu_);
    return userStand_;
}

void StatusBoard::setRepaintHook(std::function<void()> hook) {
    MutexLock lock(mu_);
    repaint_ = std::move(hook);
}

void StatusBoard::requestRepaint() {
    std::function<void()> hook;
    {
        MutexLock lock(mu_);
        hook = repaint_;
    }
    if (hook) {
        hook();
    }
}

void StatusBoard::notify(char kind, const std::string& text) {
    Listener l;
    {
        MutexLock lock(mu_);
        l = listener_;
    }
    if (l) {
        l(kind, text);
    }
}

void StatusBoard::reset() {
    {
        MutexLock lock(mu_);
        status_.clear();
        error_.clear();
        statusShownAt_ = 0;
        edition_.clear();
        userTitle_.clear();
        userStand_.clear();
        parkAirport_.clear();
    }
    qnh = 1013;
    displaySeconds = 0;
    liveCount = 0;
    liveriesCount = -1;
    simaddonCount = -1;
    thirdpartyCount = 0;
    orbxCount = 0;
    simLink = LinkState::Off;
    rtLink = LinkState::Off;
    trafficReader = LinkState::Hidden;
    weatherReader = LinkState::Hidden;
    trafficNotStarted = true;
    staticParkingActive = false;
    parking.reset();
}

void StatusBoard::ParkingFigures::reset() {
    wanted = 0;
    wantedPercent = 0;
    staticCount = 0;
    liveParked = 0;
    realFitHours = -1.0;
    softFitHours = -1.0;
    learnedUpdates = 0;
    enlargedStands = 0;
    renewalMinutes = 0;
}

StatusBoard& gf_board() {
    static NoDestructor<StatusBoard> d;
    return *d;
}

}  // namespace wnd
