// The engine's commands to its AI aircraft: client events (lights, engines, gear, spoilers,
// flaps, throttle) with each aircraft's flaps and throttle memory, the parked configuration,
// and the removal of a respawning aircraft. All of them queue; the next simulator frame
// sends the events (see command_queues.h), the pacing lets the removals through.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string_view>

#include "sim/command_queues.h"
#include "sim/pacing.h"
#include "sim/sim_types.h"

namespace wnd {

class AiCommands {
  public:
    AiCommands(CommandQueues& queues, PacingQueues& pacing) : queues_(queues), pacing_(pacing) {}

    void setLights(const AiControls& ac, const Lights& lights);
    void setNavLight(const AiControls& ac, bool on);
    void setCabinLight(const AiControls& ac, bool on);
    void toggleAllLights(const AiControls& ac);
    void startEngines(const AiControls& ac);
    void shutdownEngines(const AiControls& ac);
    // Rotorcraft get no gear, spoilers or flaps events.
    void setGear(const AiControls& ac, bool down);
    void setSpoilers(const AiControls& ac, bool extended);
    // Steps 0..3 ("gf_setFlaps: invalid flaps index" above); an unchanged step sends nothing.
    void setFlaps(AiControls& ac, std::uint32_t step);
    // Steps 0..4; an unchanged or invalid step sends nothing.
    void setThrottle(AiControls& ac, std::uint32_t step);
    // An aircraft at its stand: throttle 0, flaps 0, engines off, lights for parking (the
    // cabin dark at a stand with the stand flag, else lit: with RANDOM on, nine times in ten).
    void setParkedConfiguration(AiControls& ac, bool standFlag);

    // Livery respawn: queues the removal of the object, to create it again with another
    // livery; without an object the warning "liveryRespawn removing act {ident} with
    // objectid=0 ?". When the simulator confirms the removal, call ac.afterRespawnRemoval().
    bool respawnRemoval(const AiControls& ac, std::string_view ident);

  private:
    void queue(std::initializer_list<ClientEventCommand> events) { queues_.addEvents(events); }

    CommandQueues& queues_;
    PacingQueues& pacing_;  // traffic worker only, as are these commands
    std::mt19937 rng_{std::random_device{}()};
};

}  // namespace wnd
