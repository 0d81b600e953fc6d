// What the window asks of the traffic worker: atomic flags the worker takes with an exchange.
#pragma once

#include <atomic>

namespace wnd {

struct WorkerRequests {
    std::atomic<bool> flushStatic{false};
    std::atomic<bool> fillCallsignList{false};
    std::atomic<bool> blockCallsign{false};
    std::atomic<bool> rereadParkAirports{false};
    std::atomic<bool> renewMatching{false};
    // "Now": renew static parking at the next 15-second duty.
    std::atomic<bool> renewStaticNow{false};
    // The user is editing the park-airport list: renewals and re-reads wait.
    std::atomic<bool> parkListEditing{false};

    void reset() {
        flushStatic = false;
        fillCallsignList = false;
        blockCallsign = false;
        rereadParkAirports = false;
        renewMatching = false;
        renewStaticNow = false;
    }
};

WorkerRequests& gf_workerRequests();

}  // namespace wnd
