// The window's display fields: written by any thread, read when the window paints.
// The status and error texts are guarded by the display lock; counters and states are
// plain atomics.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "util/mutex.h"

namespace wnd {

// Display state of a link or reader: 0 off/red, 1 good/green, 2 waiting/yellow, 3 hidden.
using LinkState = int;

class Display {
  public:
    // Unless an error is shown: sets the status (empty clears it), notes the display
    // second, logs it when asked, asks for a repaint.
    void showStatus(std::string_view text, bool alsoLog = true);
    // Clears the status, sets the error, logs "Error {}", asks for a repaint.
    void showError(std::string_view text);
    void clearStatus() { showStatus({}, false); }
    void clearError();

    std::string status() const;
    std::string error() const;
    // Display second at which the status was shown (at least 1; 0 when cleared).
    int statusShownAt() const;

    void setEditionText(std::string text);
    std::string editionText() const;

    // Called (outside the lock) with every status or error change; the headless view
    // prints them. kind is 's' for status, 'e' for error.
    using Listener = std::function<void(char kind, const std::string& text)>;
    void setListener(Listener l);

    // Seconds the display has been running in this run (the age of a status message).
    std::atomic<int> displaySeconds{0};
    // Counters and states shown in the window.
    std::atomic<int> qnh{1013};
    std::atomic<int> liveCount{0};
    std::atomic<int> liveriesCount{-1};  // -1: not yet known
    std::atomic<int> simaddonCount{-1};
    std::atomic<int> thirdpartyCount{0};
    std::atomic<int> orbxCount{0};
    std::atomic<LinkState> simLink{0};
    std::atomic<LinkState> rtLink{0};
    std::atomic<LinkState> trafficReader{3};
    std::atomic<LinkState> weatherReader{3};
    std::atomic<bool> trafficNotStarted{true};
    std::atomic<bool> staticParkingActive{false};

    void setUserAircraft(std::string title, std::string stand);
    std::string userTitle() const;
    std::string userStand() const;

    // Run reset: every text empty, counters and marks back to their initial values.
    void reset();

  private:
    void notify(char kind, const std::string& text);

    mutable Mutex mu_;
    std::string status_ GUARDED_BY(mu_);
    std::string error_ GUARDED_BY(mu_);
    int statusShownAt_ GUARDED_BY(mu_) = 0;
    std::string edition_ GUARDED_BY(mu_);
    std::string userTitle_ GUARDED_BY(mu_);
    std::string userStand_ GUARDED_BY(mu_);
    Listener listener_ GUARDED_BY(mu_);
};

Display& gf_display();

// Shorthands used all over the program.
inline void showStatus(std::string_view text, bool alsoLog = true) {
    gf_display().showStatus(text, alsoLog);
}
inline void showError(std::string_view text) {
    gf_display().showError(text);
}

}  // namespace wnd
