// Everything the live engine does to the world outside its records goes through this one
// narrow interface: the simulator link's queues and requests, RealTraffic, the user
// aircraft, the livery matching and the park airport. The program uses the linked world of
// engine_world.cpp; tests drive the rules cycle by cycle against a world of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rtlink/traffic_record.h"
#include "sim/command_queues.h"
#include "sim/commands.h"
#include "sim/pacing.h"
#include "sim/sim_types.h"
#include "util/geodesy.h"

namespace wnd {

struct MatchAircraft;

struct AirportFileData;

// The park airport as the engine needs it: where it is, how high, and its stands when its
// file is loaded (owned by the park airports; it changes with the generation).
struct EngineParkAirport {
    std::string code;
    LatLon position;
    double elevationFt = 0.0;
    AirportFileData* file = nullptr;
    std::uint64_t generation = 0;
};

class EngineWorld {
  public:
    virtual ~EngineWorld() = default;

    // The simulator link's command side (no socket behind these: they only queue).
    virtual PacingQueues& pacing() = 0;
    virtual AiCommands& commands() = 0;
    virtual CommandQueues& queues() = 0;
    virtual void pacingStep() = 0;
    virtual void takeNotices(std::vector<SimNotice>& out) = 0;

    // Requests that go to the simulator at once.
    virtual void requestAircraftInRange() = 0;
    virtual void requestStaticCg(std::uint32_t objectId) = 0;
    virtual void setSpoilersAndThrust(std::uint32_t objectId, double spoilers, double t1,
                                      double t2) = 0;
    virtual bool setFlightPlan(std::uint32_t objectId, int category, std::string_view origin,
                               std::string_view destination, std::string_view ident) = 0;
    virtual void removeFlightPlan(std::uint32_t objectId) = 0;
    // A creation the simulator refused: status and the failed livery and combination.
    virtual void creationRefused(std::string_view callsign, std::string_view title,
                                 std::string_view model, std::string_view airline) = 0;
    // True after a request failed (the run is ending).
    virtual bool requestFailed() = 0;

    // The user aircraft: the refresh asks for the next reply and answers the latest data.
    virtual UserAircraftData refreshUserAircraft() = 0;
    virtual bool userOnGround() = 0;
    virtual double userHalfWingspanNm() = 0;

    // RealTraffic.
    virtual void sendPositionToRealTraffic() = 0;
    virtual int currentQnh() = 0;
    virtual std::size_t takeTraffic(std::size_t n, std::vector<TrafficRecord>& out) = 0;

    // Liveries and the aircraft without one.
    virtual bool matchLivery(MatchAircraft& ac) = 0;
    virtual bool isNoLivery(std::string_view key) = 0;
    virtual void addNoLivery(std::string key) = 0;

    // The program's time in seconds (the parked time of a stand).
    virtual std::int64_t now() = 0;
};

// The world of the running program: the process-wide simulator and RealTraffic links.
EngineWorld& gf_linkedWorld();

}  // namespace wnd
