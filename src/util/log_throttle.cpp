#include "util/log_throttle.h"

#include "util/log.h"

namespace wnd {

bool LogThrottle::admit(Clock::time_point now) {
    if (!started_ || now - windowStart_ >= kWindow) {
        logSuppressed();
        started_ = true;
        windowStart_ = now;
        written_ = 0;
    }
    if (written_ < kLinesPerWindow) {
        ++written_;
        return true;
    }
    ++suppressed_;
    return false;
}

void LogThrottle::flush() {
    logSuppressed();
}

void LogThrottle::logSuppressed() {
    if (suppressed_ > 0) {
        gf_logLine("{} more \"{}\" lines suppressed in the last minute", suppressed_, kind_);
        suppressed_ = 0;
    }
}

}  // namespace wnd
