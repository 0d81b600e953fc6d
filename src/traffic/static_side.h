// The static parked aircraft as the live engine meets them. Static parking sits above the
// engine (it reads the live aircraft to keep its stands free); the engine reaches it only
// through this interface: a live aircraft that takes a stand makes the static one there give
// way, the live park limit counts both kinds, and the simulator's notices about static
// objects pass through the engine's notice queue. Traffic worker thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "sim/sim_types.h"

namespace wnd {

// A static aircraft standing on (or being created for) a stand.
struct StaticOnStand {
    std::string callsign;
    std::string registration;
    std::string model;
    double halfWingspanNm = 0.0;
    bool active = false;  // in the simulator
    bool queued = false;  // still being created
};

class StaticSide {
  public:
    virtual ~StaticSide() = default;

    // The static aircraft on a stand (stand number from 1), if any.
    virtual std::optional<StaticOnStand> staticOnStand(std::uint32_t stand) = 0;
    // Removes it (a queued one is dropped, or removed once identified).
    virtual void removeStaticOnStand(std::uint32_t stand) = 0;
    // A live aircraft took the stand: the static set no longer fills it.
    virtual void standTakenByLive(std::uint32_t stand) = 0;

    // The live park limit: the number of parked aircraft static parking computed for the
    // park airport (below 1: no limit).
    virtual int parkLimit() = 0;
    // Static aircraft active or being removed.
    virtual int staticCount() = 0;
    // Removes the active static aircraft with the earliest occupancy slot; its stand name
    // and callsign for the log, or nothing.
    virtual std::optional<std::pair<std::string, std::string>> removeEarliestStatic() = 0;

    // Notices about static objects (aircraft ids 1..10000): identified and frozen for the
    // activation time (the engine counts it), removed, refused.
    virtual void staticActivated(const SimNotice& n) = 0;
    // False when the object is no static aircraft.
    virtual bool staticRemoved(std::uint32_t objectId) = 0;
    virtual void staticCreationRefused(std::uint32_t aircraftId) = 0;
};

}  // namespace wnd
