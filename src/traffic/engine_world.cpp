#include "traffic/engine_world.h"

#include "liveries/matching.h"
#include "rtlink/rt_link.h"
#include "sim/flight_plan.h"
#include "sim/sim_link.h"
#include "util/program_time.h"

namespace wnd {

namespace {

class LinkedWorld final : public EngineWorld {
  public:
    PacingQueues& pacing() override { return gf_simLink().pacing(); }
    AiCommands& commands() override { return gf_simLink().commands(); }
    CommandQueues& queues() override { return gf_simLink().queues(); }
    void pacingStep() override { gf_simLink().pacingStep(); }
    void takeNotices(std::vector<SimNotice>& out) override { gf_simLink().takeNotices(out); }

    void requestAircraftInRange() override { gf_simLink().requestAircraftInRange(); }
    void requestStaticCg(std::uint32_t objectId) override {
        gf_simLink().requestStaticCg(objectId);
    }
    void setSpoilersAndThrust(std::uint32_t objectId, double spoilers, double t1,
                              double t2) override {
        gf_simLink().setSpoilersAndThrust(objectId, spoilers, t1, t2);
    }
    bool setFlightPlan(std::uint32_t objectId, int category, std::string_view origin,
                       std::string_view destination, std::string_view ident) override {
        return gf_simLink().setFlightPlan(objectId, category, origin, destination, ident);
    }
    void removeFlightPlan(std::uint32_t objectId) override { gf_removeFlightPlan(objectId); }
    void creationRefused(std::string_view callsign, std::string_view title, std::string_view model,
                         std::string_view airline) override {
        gf_simLink().creationRefused(callsign, title, model, airline);
    }
    bool requestFailed() override { return gf_simLink().commandFailure(); }

    UserAircraftData refreshUserAircraft() override { return gf_simLink().requestUserPosition(); }
    bool userOnGround() override { return gf_simLink().userOnGround().value_or(false); }
    double userHalfWingspanNm() override {
        const auto model = gf_simLink().userModel();
        return model ? model->halfWingspanNm : 0.0;
    }

    void sendPositionToRealTraffic() override { gf_rtLink().sendPosition(); }
    int currentQnh() override { return gf_rtLink().currentQnh(); }
    std::size_t takeTraffic(std::size_t n, std::vector<TrafficRecord>& out) override {
        return gf_rtLink().queue().takeUpTo(n, out);
    }

    bool matchLivery(MatchAircraft& ac) override { return gf_matchLivery(ac); }
    bool isNoLivery(std::string_view key) override { return gf_simLink().isNoLivery(key); }
    void addNoLivery(std::string key) override { gf_simLink().addNoLivery(std::move(key)); }

    std::int64_t now() override { return gf_programTime(); }
};

}  // namespace

EngineWorld& gf_linkedWorld() {
    static LinkedWorld world;
    return world;
}

}  // namespace wnd
