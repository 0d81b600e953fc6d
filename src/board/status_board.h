// The status board: what the lower layers publish for the window to show. Status and
// error lines sit under the board lock; counters and link lamps are plain atomics. The
// window reads the board and installs the repaint hook; nothing here knows the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "util/mutex.h"

namespace wnd {

// The lamp of a link or reader.
enum class LinkState : std::int8_t {
    Off = 0,      // red
    Good = 1,     // green
    Waiting = 2,  // yellow: connected but not complete, or no data for a while
    Hidden = 3,   // not shown: the reader is not running
};

class StatusBoard {
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

    // The window's repaint of the status area; without a hook a repaint request is dropped.
    void setRepaintHook(std::function<void()> hook);
    void requestRepaint();

    // Seconds the display has been running in this run (the age of a status message).
    std::atomic<int> displaySeconds{0};
    // Counters and lamps shown in the window.
    std::atomic<int> qnh{1013};
    std::atomic<int> liveCount{0};
    std::atomic<int> liveriesCount{-1};  // -1: not yet known
    std::atomic<int> simaddonCount{-1};
    std::atomic<int> thirdpartyCount{0};
    std::atomic<int> orbxCount{0};
    std::atomic<LinkState> simLink{LinkState::Off};
    std::atomic<LinkState> rtLink{LinkState::Off};
    std::atomic<LinkState> trafficReader{LinkState::Hidden};
    std::atomic<LinkState> weatherReader{LinkState::Hidden};
    std::atomic<bool> trafficNotStarted{true};
    std::atomic<bool> staticParkingActive{false};

    // The parking figures of the park airport (static parking and the learning of stands).
    struct ParkingFigures {
        std::atomic<int> wanted{0};              // static aircraft wanted
        std::atomic<int> wantedPercent{0};       // the share of stands that number is
        std::atomic<int> staticCount{0};         // static aircraft placed
        std::atomic<int> liveParked{0};          // live aircraft standing at stands
        std::atomic<double> realFitHours{-1.0};  // fit reached with real data; -1 none yet
        std::atomic<double> softFitHours{-1.0};  // the same with soft data
        std::atomic<int> learnedUpdates{0};      // flight records this run added or extended
        std::atomic<int> enlargedStands{0};      // stands made larger for an aircraft
        std::atomic<int> renewalMinutes{0};      // minutes to the next renewal (0: none)
        void reset();
    };
    ParkingFigures parking;

    // The park airport's code as the window shows it; empty for none.
    void setParkAirportText(std::string code);
    std::string parkAirportText() const;
    // The request to mail tblo.zip, painted in red beside the "tblo" button; set or cleared
    // by each airport scan, kept across run resets until the next scan.
    void setTbloRequest(std::string text);
    std::string tbloRequest() const;

    void setUserAircraft(std::string title, std::string stand);
    std::string userTitle() const;
    std::string userStand() const;

    // Run reset: every text empty, counters and lamps back to their initial values (the
    // listener and the repaint hook stay).
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
    std::string parkAirport_ GUARDED_BY(mu_);
    std::string tbloRequest_ GUARDED_BY(mu_);
    Listener listener_ GUARDED_BY(mu_);
    std::function<void()> repaint_ GUARDED_BY(mu_);
};

StatusBoard& gf_board();

// Shorthands used all over the program.
inline void showStatus(std::string_view text, bool alsoLog = true) {
    gf_board().showStatus(text, alsoLog);
}
inline void showError(std::string_view text) {
    gf_board().showError(text);
}
inline void gf_requestRepaint() {
    gf_board().requestRepaint();
}

}  // namespace wnd
