#include "traffic/engine.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>

#include "util/log.h"
#include "util/no_destructor.h"

namespace wnd {

std::string_view gf_liveStateName(LiveState s) {
    switch (s) {
        case LiveState::Buffer:
            return "buffer";
        case LiveState::Adding2Sim:
            return "adding2sim";
        case LiveState::Active:
            return "active";
        case LiveState::LiveryRespawn:
            return "liveryrespawn";
        case LiveState::RemovingFromSim:
            return "removingfromsim";
    }
    return "?";
}

std::string_view gf_flightPhaseName(FlightPhase p) {
    switch (p) {
        case FlightPhase::PushingBack:
            return "pushing_back";
        case FlightPhase::PushedBack:
            return "pushed_back";
        case FlightPhase::Taxi:
            return "taxi";
        case FlightPhase::TakeOff:
            return "take_off";
        case FlightPhase::Flying:
            return "flying";
        case FlightPhase::Parking:
            return "parking";
        case FlightPhase::Parked:
            return "parked";
        case FlightPhase::Birth:
            return "birth";
    }
    return "?";
}

std::string LiveAircraft::ident() const {
    return fmt::format("{} {} {} {}", callsign.empty() ? "-" : callsign,
                       registration.empty() ? "-" : registration, airline, model);
}

LiveEngine::LiveEngine(EngineWorld& world) : world_(world) {
    prepare();
}

void LiveEngine::prepare() {
    live_.clear();
    live_.reserve(kLiveCapacity);
    adding_.clear();
    adding_.reserve(kLiveCapacity);
    blocked_.clear();
    created_.clear();
    notices_.clear();
    records_.clear();
    cycle_.store(0);
    flares_ = 0;
    user_ = {};
    userOnGround_ = false;
    lastUserCheck_ = {};
    liveryRenewal_ = false;
    removeAllRequested_.store(false);
    unmatched_.clear();
    figures_ = {};
    MutexLock lock(destMu_);
    destQueue_.clear();
}

std::string LiveEngine::noLiveryKey(const LiveAircraft& ac) {
    return fmt::format("{:3} {:4} {}", ac.airline, ac.model, ac.registration);
}

LiveAircraft* LiveEngine::findById(std::uint32_t aircraftId) {
    const auto it = std::find_if(live_.begin(), live_.end(), [&](const LiveAircraft& ac) {
        return ac.aircraftId == aircraftId;
    });
    return it == live_.end() ? nullptr : &*it;
}

LiveAircraft* LiveEngine::findByObject(std::uint32_t objectId) {
    if (objectId == 0) {
        return nullptr;
    }
    const auto it = std::find_if(live_.begin(), live_.end(),
                                 [&](const LiveAircraft& ac) { return ac.objectId() == objectId; });
    return it == live_.end() ? nullptr : &*it;
}

void LiveEngine::setPhase(LiveAircraft& ac, FlightPhase p) {
    if (ac.phase != p) {
        ac.previousPhase = ac.phase;
        ac.phase = p;
    }
}

void LiveEngine::dropMarked() {
    std::erase_if(live_, [](const LiveAircraft& ac) { return ac.removeNow || ac.dropped; });
}

void LiveEngine::lf_handleAddingStack() {
    // Notices first: identifications, removals and touchdowns change what the update does.
    notices_.clear();
    world_.takeNotices(notices_);
    for (const SimNotice& n : notices_) {
        handleNotice(n);
    }
    activate();

    if (removeAllRequested_.exchange(false)) {
        removeAllLive();
    }
    bool drop = false;
    flares_ = 0;
    for (LiveAircraft& ac : live_) {
        drop = updateLiveAc(ac) || drop;
        flares_ += ac.flareStage > 0 ? 1 : 0;
    }
    if (drop) {
        dropMarked();
    }

    world_.queues().swapPositionBuffers();
    world_.pacingStep();

    records_.clear();
    world_.takeTraffic(2, records_);
    for (const TrafficRecord& r : records_) {
        feedTrafficRecord(r);
        ++figures_.recordsFed;
    }
    // A record born or dropped while feeding leaves at the end of the next update; records
    // marked by a removal rule here go now, so nothing stale is created.
    if (std::any_of(live_.begin(), live_.end(),
                    [](const LiveAircraft& ac) { return ac.removeNow || ac.dropped; })) {
        dropMarked();
    }

    createFromAddingStack();

    const std::int32_t c = cycle();
    const int every = flareInProgress() ? 20 : 100;
    if (c % every == 0) {
        world_.requestAircraftInRange();
    }
    if (c % 100 == 0) {
        world_.sendPositionToRealTraffic();
        user_ = world_.refreshUserAircraft();
        userOnGround_ = world_.userOnGround();
    }
    // Unsigned arithmetic: the counter may wrap after 248 days without undefined behaviour.
    cycle_.store(static_cast<std::int32_t>(static_cast<std::uint32_t>(c) + 1U),
                 std::memory_order_relaxed);
}

LiveEngine& gf_liveEngine() {
    static NoDestructor<LiveEngine> engine{gf_linkedWorld()};
    return *engine;
}

}  // namespace wnd
