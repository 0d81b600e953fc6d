// Keeps the log readable under a flood of one kind of warning (bad datagrams from the
// network): the first lines of each minute are written, the rest only counted, and the
// count goes to the log in one line once that minute is over.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace wnd {

class LogThrottle {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kLinesPerWindow = 20;
    static constexpr std::chrono::seconds kWindow{60};

    explicit LogThrottle(std::string kind) : kind_(std::move(kind)) {}

    // True when this line may be written. The first call after a window with suppressed
    // lines logs their count first.
    bool admit(Clock::time_point now = Clock::now());
    // Logs the count of a window still open (the reader stops).
    void flush();

    std::uint64_t suppressedInWindow() const { return suppressed_; }

  private:
    void logSuppressed();

    const std::string kind_;
    Clock::time_point windowStart_{};
    bool started_ = false;
    int written_ = 0;
    std::uint64_t suppressed_ = 0;
};

}  // namespace wnd
