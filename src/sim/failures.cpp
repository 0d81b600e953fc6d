// The bookkeeping of creations that did not happen: liveries and model-airline combinations
// the simulator refused, and aircraft for which no livery was found.
#include <fmt/format.h>

#include <algorithm>

#include "board/run_control.h"
#include "board/status_board.h"
#include "sim/sim_link.h"
#include "util/log.h"
#include "util/user_error.h"

namespace wnd {

namespace {
constexpr std::size_t kRefusedLiveryLimit = 20;
}  // namespace

void SimLink::creationRefused(std::string_view callsign, std::string_view liveryTitle,
                              std::string_view model, std::string_view airline) {
    if (!gf_runControl().ending()) {
        showStatus(fmt::format("{} '{}' could not be created by your Sim!", callsign, liveryTitle));
    }
    bool isNew = false;
    std::size_t count = 0;
    {
        MutexLock lock(failMu_);
        isNew = failedLiveries_.emplace(liveryTitle).second;
        failedCombinations_.insert(fmt::format("{} {}", model, airline));
        count = failedLiveries_.size();
    }
    if (isNew) {
        std::function<void(const std::string&)> hook;
        {
            MutexLock lock(hooksMu_);
            hook = hooks_.liveryRefused;
        }
        if (hook) {
            hook(std::string(liveryTitle));
        }
    }
    if (isNew && count >= kRefusedLiveryLimit) {
        constexpr std::string_view kSentence =
            "There are too many liveries that could not be created!";
        gf_logLine(fmt::format("\n{}Error 81, {}\n", "===> ", kSentence));
        throw UserErrorException(81, fmt::format("{}, see Log.txt", kSentence));
    }
}

bool SimLink::isFailedLivery(std::string_view title) const {
    MutexLock lock(failMu_);
    return failedLiveries_.contains(title);
}

bool SimLink::isFailedCombination(std::string_view model, std::string_view airline) const {
    MutexLock lock(failMu_);
    return failedCombinations_.contains(fmt::format("{} {}", model, airline));
}

std::size_t SimLink::failedLiveryCount() const {
    MutexLock lock(failMu_);
    return failedLiveries_.size();
}

std::string SimLink::noLiveryKey(std::string_view airline, std::string_view model,
                                 std::string_view registration) {
    return fmt::format("{:3} {:4} {}", airline, model, registration);
}

void SimLink::addNoLivery(std::string key) {
    MutexLock lock(failMu_);
    noLivery_.insert(std::move(key));
}

bool SimLink::isNoLivery(std::string_view key) const {
    MutexLock lock(failMu_);
    return noLivery_.contains(key);
}

void SimLink::writeNoLiveryReport() const {
    std::vector<std::string> keys;
    {
        MutexLock lock(failMu_);
        keys.assign(noLivery_.begin(), noLivery_.end());
    }
    if (keys.empty()) {
        return;
    }
    std::sort(keys.begin(), keys.end());
    gf_logLine("\nNo match found for:");
    for (const std::string& k : keys) {
        gf_logLine(k);
    }
    gf_logLine(std::string(48, '-'));
}

}  // namespace wnd
