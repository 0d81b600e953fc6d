// What the window asks of the traffic worker: atomic flags the worker takes with an exchange.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "util/mutex.h"

namespace wnd {

struct WorkerRequests {
    std::atomic<bool> flushStatic{false};
    std::atomic<bool> fillCallsignList{false};
    std::atomic<bool> blockCallsign{false};
    std::atomic<bool> rereadParkAirports{false};
    std::atomic<bool> renewMatching{false};
    // BLOCK_CALLSIGN was cleared: aircraft of that callsign may come again.
    std::atomic<bool> unblockCallsign{false};
    // NAV_LIGHTS_WHILE_PARKED changed: switch the lights of every parked aircraft now.
    std::atomic<bool> applyNavLights{false};
    // MAX_LIVE_SEL changed: remove the active live aircraft above the new limit.
    std::atomic<bool> removeSurplusLive{false};
    // AUTO_RANGE was ticked: compute the automatic range from the user's situation now.
    std::atomic<bool> applyAutoRange{false};
    // The "Now" button: renew static parking at the next 15-second duty.
    std::atomic<bool> renewStaticNow{false};
    // The user is editing the park-airport list: renewals and re-reads wait.
    std::atomic<bool> parkListEditing{false};

    void reset() {
        flushStatic = false;
        fillCallsignList = false;
        blockCallsign = false;
        rereadParkAirports = false;
        renewMatching = false;
        unblockCallsign = false;
        applyNavLights = false;
        removeSurplusLive = false;
        applyAutoRange = false;
        renewStaticNow = false;
    }
};

WorkerRequests& gf_workerRequests();

// The worker's answer to "cs->oid:": "callsign objectid" lines, handed to the window thread.
class CallsignListBox {
  public:
    void put(std::vector<std::string> lines) {
        MutexLock lock(mu_);
        lines_ = std::move(lines);
    }
    std::vector<std::string> take() {
        MutexLock lock(mu_);
        return std::move(lines_);
    }

  private:
    Mutex mu_;
    std::vector<std::string> lines_ GUARDED_BY(mu_);
};

CallsignListBox& gf_callsignListBox();

}  // namespace wnd
