// The live engine on a world of its own: a small simulator that creates, identifies,
// places and removes objects as the link's notices would say, and a RealTraffic that hands
// over the reports a test queues. The engine runs cycle by cycle; every position it sends
// is kept, so a test can judge the motion the simulator would show.
#pragma once

#include <cmath>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "liveries/matching.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "traffic/engine.h"
#include "traffic/motion.h"

namespace wnd::enginetest {

struct SimObject {
    std::uint32_t aircraftId = 0;
    std::string title;
    std::string tail;
    AiPosition pos{};
    bool positioned = false;
    std::vector<AiPosition> track;  // one entry per engine cycle that sent a position
};

class TestWorld : public EngineWorld {
  public:
    // The simulator.
    double groundFt = 1416.0;
    double restHeightFt = 5.0;
    std::uint32_t nextObject = 100;
    std::map<std::uint32_t, SimObject> objects;
    bool keepTracks = true;
    std::vector<std::string> refuseTitles;
    std::vector<SimNotice> pending;
    int inRangeRequests = 0;
    int staticCgRequests = 0;
    int userPositionRequests = 0;
    int positionsToRealTraffic = 0;
    int creationsSent = 0;
    std::vector<std::uint32_t> removalsSent;
    UserAircraftData user{};
    bool userOnGroundFlag = true;
    int qnh = 1013;
    // RealTraffic.
    std::deque<TrafficRecord> traffic;
    // Liveries: a title for every aircraft unless its type is listed here.
    std::vector<std::string> typesWithoutLivery;
    std::vector<std::string> noLivery;
    std::vector<std::string> refusedTitles;

    PacingQueues pacingQueues;
    CommandQueues commandQueues;
    AiCommands aiCommands{commandQueues, pacingQueues};

    TestWorld() {
        commandQueues.prepare();
        user.latitude = 47.45115;
        user.longitude = 8.5584;
        user.altitude = groundFt + restHeightFt;
    }

    PacingQueues& pacing() override { return pacingQueues; }
    AiCommands& commands() override { return aiCommands; }
    CommandQueues& queues() override { return commandQueues; }
    void takeNotices(std::vector<SimNotice>& out) override {
        out.insert(out.end(), pending.begin(), pending.end());
        pending.clear();
    }
    // What the simulator does with one frame: creations identified, removals confirmed,
    // positions taken.
    void pacingStep() override {
        PacingQueues::Due due = pacingQueues.step();
        if (due.creation) {
            ++creationsSent;
            const CreateRequest& r = *due.creation;
            if (std::find(refuseTitles.begin(), refuseTitles.end(), r.liveryTitle) !=
                refuseTitles.end()) {
                pending.push_back({0, r.aircraftId, NoticeKind::CreationRefused, 0, 0});
            } else {
                const std::uint32_t oid = nextObject++;
                SimObject o;
                o.aircraftId = r.aircraftId;
                o.title = r.liveryTitle;
                o.tail = r.tailNumber;
                o.pos.latitude = r.initPosition.Latitude;
                o.pos.longitude = r.initPosition.Longitude;
                o.pos.altitude = r.initPosition.OnGround != 0 ? groundFt + restHeightFt
                                                              : r.initPosition.Altitude;
                objects[oid] = o;
                pending.push_back(
                    {oid, r.aircraftId, NoticeKind::LiveIdentified, 0, o.pos.altitude - groundFt});
            }
        }
        if (due.removal) {
            removalsSent.push_back(*due.removal);
            objects.erase(*due.removal);
            pending.push_back({*due.removal, 0, NoticeKind::ObjectRemoved, 0, 0});
        }
        CommandBatch batch;
        if (commandQueues.tryTake(batch)) {
            for (const PositionCommand& c : batch.positions) {
                auto it = objects.find(c.objectId);
                if (it != objects.end()) {
                    it->second.pos = c.position;
                    it->second.positioned = true;
                    if (keepTracks) {
                        it->second.track.push_back(c.position);
                    }
                }
            }
        }
    }
    void requestAircraftInRange() override {
        ++inRangeRequests;
        for (const auto& [oid, o] : objects) {
            const double agl = o.pos.altitude - groundFt;
            const bool onGround = agl <= restHeightFt + 1.0;
            pending.push_back({oid, onGround ? 1U : 0U, NoticeKind::InRange, groundFt, agl});
        }
    }
    void requestStaticCg(std::uint32_t objectId) override {
        ++staticCgRequests;
        pending.push_back({objectId, 0, NoticeKind::StaticCg, restHeightFt, 0.0});
    }
    void setSpoilersAndThrust(std::uint32_t, double, double, double) override {}
    bool setFlightPlan(std::uint32_t, int, std::string_view, std::string_view,
                       std::string_view) override {
        return true;
    }
    void removeFlightPlan(std::uint32_t) override {}
    void creationRefused(std::string_view, std::string_view title, std::string_view,
                         std::string_view) override {
        refusedTitles.emplace_back(title);
    }
    bool requestFailed() override { return false; }
    UserAircraftData refreshUserAircraft() override {
        ++userPositionRequests;
        return user;
    }
    bool userOnGround() override { return userOnGroundFlag; }
    double userHalfWingspanNm() override { return 0.0097; }
    void sendPositionToRealTraffic() override { ++positionsToRealTraffic; }
    int currentQnh() override { return qnh; }
    std::size_t takeTraffic(std::size_t n, std::vector<TrafficRecord>& out) override {
        std::size_t taken = 0;
        while (taken < n && !traffic.empty()) {
            out.push_back(std::move(traffic.front()));
            traffic.pop_front();
            ++taken;
        }
        return taken;
    }
    bool matchLivery(MatchAircraft& ac) override {
        if (std::find(typesWithoutLivery.begin(), typesWithoutLivery.end(), ac.type) !=
            typesWithoutLivery.end()) {
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            const std::string t = ac.airline + " " + ac.type + " " + std::to_string(i);
            if (std::find(refusedTitles.begin(), refusedTitles.end(), t) == refusedTitles.end()) {
                ac.title = t;
                return true;
            }
        }
        return false;
    }
    bool isNoLivery(std::string_view key) override {
        return std::find(noLivery.begin(), noLivery.end(), key) != noLivery.end();
    }
    void addNoLivery(std::string key) override { noLivery.push_back(std::move(key)); }
    std::int64_t now() override { return 1700000000; }

    const SimObject* objectOf(std::uint32_t aircraftId) const {
        for (const auto& [oid, o] : objects) {
            if (o.aircraftId == aircraftId) {
                return &o;
            }
        }
        return nullptr;
    }
};

// The database entries the tests use, and the settings back to their defaults.
inline void gf_prepareTestDatabase() {
    Dbase& d = gf_dbase();
    d.reset();
    for (const char* t : {"A320", "B738", "A333", "C172", "EC35", "F16"}) {
        d.knownTypes.insert(t);
    }
    d.categories[kLarge] = {"A320", "B738"};
    d.categories[kHeavy] = {"A333"};
    d.categories[kRotorcraft] = {"EC35"};
    d.categories[kHighPerf] = {"F16"};
    d.halfWingspans = {{"A320", 0.0097}, {"B738", 0.0097}, {"A333", 0.0162}, {"C172", 0.0030}};
    d.largestHalfWingspan = 0.0429;
    d.airlines = {"SWR", "EZY", "DLH"};
    gs().resetValues();
}

// A report as the Traffic Reader hands it over, due 30 s after the cycle it is fed at.
struct Report {
    std::uint32_t id = 0x4b1801;
    std::string callsign = "SWR100";
    std::string model = "A320";
    std::string registration = "HB-JLP";
    double lat = 47.45;
    double lon = 8.55;
    double altitude = 0.0;
    double groundSpeed = 0.0;
    double track = 0.0;
    double verticalRate = 0.0;
    double timestamp = 1700000000.0;
};

inline TrafficRecord gf_record(const Report& r, std::int32_t cycle) {
    TrafficRecord t;
    t.model = r.model;
    t.callsign = r.callsign;
    t.registration = r.registration;
    t.lat = r.lat;
    t.lon = r.lon;
    t.altitude = r.altitude;
    t.groundSpeed = r.groundSpeed;
    t.track = r.track;
    t.verticalRate = r.verticalRate;
    t.trueAirspeed = r.groundSpeed;
    t.airborne = r.altitude > 0.0;
    t.dueCycle = cycle + 3000;
    t.timestamp = r.timestamp;
    t.id = r.id;
    return t;
}

}  // namespace wnd::enginetest
