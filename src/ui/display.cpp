#include "ui/display.h"

#include <algorithm>

#include "ui/message_queue.h"
#include "util/log.h"
#include "util/no_destructor.h"

namespace wnd {

void Display::showStatus(std::string_view text, bool alsoLog) {
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
    gf_postMessage(kMsgRepaintStatus);
}

void Display::showError(std::string_view text) {
    {
        MutexLock lock(mu_);
        status_.clear();
        statusShownAt_ = 0;
        error_ = std::string(text);
    }
    gf_logLine("Error {}", text);
    notify('e', std::string(text));
    gf_postMessage(kMsgRepaintStatus);
}

void Display::clearError() {
    {
        MutexLock lock(mu_);
        if (error_.empty()) {
            return;
        }
        error_.clear();
    }
    notify('e', {});
    gf_postMessage(kMsgRepaintStatus);
}

std::string Display::status() const {
    MutexLock lock(mu_);
    return status_;
}

std::string Display::error() const {
    MutexLock lock(mu_);
    return error_;
}

int Display::statusShownAt() const {
    MutexLock lock(mu_);
    return statusShownAt_;
}

void Display::setEditionText(std::string text) {
    MutexLock lock(mu_);
    edition_ = std::move(text);
}

std::string Display::editionText() const {
    MutexLock lock(mu_);
    return edition_;
}

void Display::setListener(Listener l) {
    MutexLock lock(mu_);
    listener_ = std::move(l);
}

void Display::setUserAircraft(std::string title, std::string stand) {
    MutexLock lock(mu_);
    userTitle_ = std::move(title);
    userStand_ = std::move(stand);
}

std::string Display::userTitle() const {
    MutexLock lock(mu_);
    return userTitle_;
}

std::string Display::userStand() const {
    MutexLock lock(mu_);
    return userStand_;
}

void Display::notify(char kind, const std::string& text) {
    Listener l;
    {
        MutexLock lock(mu_);
        l = listener_;
    }
    if (l) {
        l(kind, text);
    }
}

void Display::reset() {
    {
        MutexLock lock(mu_);
        status_.clear();
        error_.clear();
        statusShownAt_ = 0;
        edition_.clear();
        userTitle_.clear();
        userStand_.clear();
    }
    qnh = 1013;
    displaySeconds = 0;
    liveCount = 0;
    liveriesCount = -1;
    simaddonCount = -1;
    thirdpartyCount = 0;
    orbxCount = 0;
    simLink = 0;
    rtLink = 0;
    trafficReader = 3;
    weatherReader = 3;
    trafficNotStarted = true;
    staticParkingActive = false;
}

Display& gf_display() {
    static NoDestructor<Display> d;
    return *d;
}

}  // namespace wnd

#include "ui/requests.h"

namespace wnd {

WorkerRequests& gf_workerRequests() {
    static NoDestructor<WorkerRequests> r;
    return *r;
}

}  // namespace wnd
