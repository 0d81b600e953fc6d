// The static parking: the park airport's free stands filled with the aircraft its file
// records there at this hour of the week. It sits above the live engine: it reads the live
// aircraft that hold stands, removes live parked ones it must, and is the engine's
// StaticSide. Traffic worker thread only. README.md explains the decisions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "airports/airport_file.h"
#include "parking/calculation.h"
#include "sim/commands.h"
#include "sim/pacing.h"
#include "traffic/static_side.h"
#include "util/geodesy.h"
#include "util/program_time.h"

namespace wnd {

struct MatchAircraft;

// The park airport as static parking sees it.
struct ParkSite {
    std::string code;
    AirportFileData* file = nullptr;  // nullptr until its file has been read
    std::filesystem::path filePath;
    std::string reservedStand;
    double elevationFt = 0.0;
    std::uint64_t generation = 0;  // changes when the park airport is set, read or left
};

// A live aircraft that holds a stand of the park airport.
struct LiveHolder {
    std::uint32_t aircraftId = 0;
    std::uint32_t stand = 0;
    std::string callsign;
    std::string registration;
    bool parked = false;  // active and in phase "parked"
    std::int64_t timeParked = 0;
    std::string model;
};

// Everything static parking does outside its own records; tests bring their own.
class ParkingWorld {
  public:
    virtual ~ParkingWorld() = default;
    virtual ParkSite parkSite() = 0;
    // The stand the user aircraft stands on now ("" for none).
    virtual std::string userStand() = 0;
    virtual LatLon userPosition() = 0;
    virtual WeekSlot weekSlot() = 0;
    virtual std::int64_t now() = 0;
    virtual PacingQueues& pacing() = 0;
    virtual AiCommands& commands() = 0;
    // Live aircraft holding stands, and the callsigns and registrations of all live ones.
    virtual std::vector<LiveHolder> liveHolders() = 0;
    virtual std::vector<std::string> liveNames() = 0;
    // The callsigns the Traffic Reader heard before a renewal.
    virtual std::set<std::string> heardCallsigns() = 0;
    virtual void removeLive(std::uint32_t aircraftId) = 0;
    virtual bool matchLivery(MatchAircraft& ac) = 0;
    virtual double halfWingspanNm(std::string_view type) = 0;
    virtual std::uint32_t category(std::string_view type) = 0;
    virtual void creationRefused(const std::string& callsign, const std::string& title,
                                 const std::string& model, const std::string& airline) = 0;
    // Writes the park airport's learned file when learning changed something.
    virtual void saveLearned() = 0;
};

// Aircraft ids 1..10000, never one that is in use.
class StaticIds {
  public:
    // 0 when all are in use.
    std::uint32_t allocate();
    void release(std::uint32_t id);
    bool inUse(std::uint32_t id) const;
    void clear();

  private:
    std::vector<bool> used_ = std::vector<bool>(kLastStaticAircraftId + 1, false);
    std::uint32_t last_ = 0;
    std::uint32_t count_ = 0;
};

class StaticParking final : public StaticSide {
  public:
    static constexpr int kRenewalMinutes = 20;

    explicit StaticParking(ParkingWorld& world);

    // ---- The traffic worker ----
    // Once a second after the park cycle step: a park airport whose file was read gets its
    // static set; one that was left takes its static aircraft along. True when a new set
    // was calculated (the renewal countdown starts again).
    bool follow();
    // The calculation of the static set at a park airport whose file was read.
    void calculate();
    // Every 16 s: stands that lost their static aircraft get new ones, up to the wanted
    // number (not under INITIAL_LOAD_ONLY).
    void update();
    // The renewal every 20 minutes (and on "Now").
    void renew();
    // Each engine cycle: when the creation queue is free, places the next chosen entry.
    void placeNext();
    bool lf_detcs();
    // Removes every static aircraft (flush, leaving the park airport).
    void removeAll();
    // The flight stopped and the simulator's notices were dropped: an aircraft whose creation
    // went out will never be reported; its stand is free again (its id stays taken).
    void flightStopped();
    // The navigation lights of every active static aircraft.
    void setNavLights(bool on);
    // Once a second: a changed NAV_LIGHTS_WHILE_PARKED applies at once.
    void followNavLightSetting(bool on);
    // Writes the learned file when flights were added or extended since the last save.
    void saveLearned();
    bool hasStands();
    // The figures on the status board.
    void publishFigures();
    void reset();

    // ---- StaticSide (the live engine) ----
    std::optional<StaticOnStand> staticOnStand(std::uint32_t stand) override;
    void removeStaticOnStand(std::uint32_t stand) override;
    void standTakenByLive(std::uint32_t stand) override;
    int parkLimit() override { return wanted_; }
    int staticCount() override;
    std::optional<std::pair<std::string, std::string>> removeEarliestStatic() override;
    void staticActivated(const SimNotice& n) override;
    bool staticRemoved(std::uint32_t objectId) override;
    void staticCreationRefused(std::uint32_t aircraftId) override;

    // ---- Read access (tests, figures) ----
    const std::vector<StaticEntry>& chosen() const { return new_; }
    const std::vector<StaticEntry>& aircraft() const { return aircraft_; }
    int wanted() const { return wanted_; }
    double realFitHours() const { return realFit_; }
    const StaticIds& ids() const { return ids_; }

  private:
    struct Prepared {
        ParkingRules rules;
        std::vector<StandRecord>* stands = nullptr;
        WeekSlot slot;
    };
    // The day line, both flags cleared, the reserved and the user's stand kept free.
    std::optional<Prepared> prepare(bool renumber);
    void logDayLine(WeekSlot slot) const;
    // Marks the stands of the live holders and of the static aircraft taken; the count.
    int markOccupied(std::vector<StandRecord>& stands, const std::vector<LiveHolder>& live);
    std::unordered_set<std::string> busyNames(bool heard) const;
    void fill(Prepared& p, int present, bool keepers);
    void removeEntry(StaticEntry& e);
    void freeStand(std::uint32_t stand);
    void dropFinished();
    StaticEntry* findAircraft(std::uint32_t aircraftId);

    ParkingWorld& world_;
    std::vector<StaticEntry> new_;       // chosen, waiting to be placed (last first)
    std::vector<StaticEntry> aircraft_;  // queued, active or being removed
    StaticIds ids_;
    int wanted_ = 0;
    double realFit_ = -1.0;
    double softFit_ = -1.0;
    bool followed_ = false;
    bool navLights_ = true;
    std::uint64_t generation_ = 0;
    std::mt19937 rng_{std::random_device{}()};
};

// The static parking of the running program, on the live engine and the links.
StaticParking& gf_staticParking();

}  // namespace wnd
