// The world of the running program: the park airports, the live engine, the simulator and
// RealTraffic links, the livery matching and the database.
#include <algorithm>

#include "airports/park_airport.h"
#include "liveries/matching.h"
#include "parking/static_parking.h"
#include "refdata/dbase.h"
#include "rtlink/rt_link.h"
#include "sim/sim_link.h"
#include "traffic/engine.h"
#include "traffic/engine_world.h"
#include "util/no_destructor.h"

namespace wnd {

namespace {

class LinkedParkingWorld final : public ParkingWorld {
  public:
    void saveLearned() override { gf_parkAirports().saveLearned(); }
    ParkSite parkSite() override {
        ParkAirports& park = gf_parkAirports();
        ParkSite site;
        site.code = park.code();
        site.generation = park.generation();
        site.reservedStand = park.reservedStand();
        site.elevationFt = park.file().altitudeFt;
        if (park.isSet() && !park.readNow() && !park.filePath().empty()) {
            site.file = &park.file();
            site.filePath = park.filePath();
        }
        return site;
    }
    std::string userStand() override {
        if (!gf_simLink().userOnGround().value_or(false)) {
            return {};
        }
        return gf_parkAirports().standNear(userPosition());
    }
    LatLon userPosition() override {
        const UserAircraftData u = gf_simLink().userAircraft();
        return {u.latitude, u.longitude};
    }
    WeekSlot weekSlot() override { return gf_weekSlot(); }
    std::int64_t now() override { return gf_programTime(); }
    PacingQueues& pacing() override { return gf_linkedWorld().pacing(); }
    AiCommands& commands() override { return gf_linkedWorld().commands(); }
    std::vector<LiveHolder> liveHolders() override {
        std::vector<LiveHolder> out;
        for (const LiveAircraft& ac : gf_liveEngine().live()) {
            if (!ac.hasStand || ac.standIndex == 0 || ac.removeNow || ac.dropped ||
                ac.state == LiveState::RemovingFromSim) {
                continue;
            }
            out.push_back({ac.aircraftId, ac.standIndex, ac.callsign, ac.registration,
                           ac.state == LiveState::Active && ac.phase == FlightPhase::Parked,
                           ac.timeParked, ac.model});
        }
        return out;
    }
    std::vector<std::string> liveNames() override {
        std::vector<std::string> out;
        for (const LiveAircraft& ac : gf_liveEngine().live()) {
            out.push_back(ac.callsign);
            if (!ac.registration.empty()) {
                out.push_back(ac.registration);
            }
        }
        return out;
    }
    std::set<std::string> heardCallsigns() override {
        return gf_rtLink().trafficReader().callsigns();
    }
    void removeLive(std::uint32_t aircraftId) override {
        if (LiveAircraft* ac = gf_liveEngine().findById(aircraftId)) {
            gf_liveEngine().removeAircraftFromSim(*ac);
        }
    }
    bool matchLivery(MatchAircraft& ac) override { return gf_matchLiveryForParked(ac); }
    double halfWingspanNm(std::string_view type) override { return gf_halfWingspan(type); }
    std::uint32_t category(std::string_view type) override {
        return static_cast<std::uint32_t>(std::max(0, static_cast<int>(gf_typeCategory(type))));
    }
    void creationRefused(const std::string& callsign, const std::string& title,
                         const std::string& model, const std::string& airline) override {
        gf_linkedWorld().creationRefused(callsign, title, model, airline);
    }
};

}  // namespace

StaticParking& gf_staticParking() {
    static NoDestructor<LinkedParkingWorld> world;
    static NoDestructor<StaticParking> parking{*world};
    return *parking;
}

}  // namespace wnd
