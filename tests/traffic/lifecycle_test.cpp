// The lives of live aircraft: birth, the buffer, creation, identification, activation,
// respawn and removal, driven by reports and the test world's simulator.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "testkit/log_capture.h"

namespace wnd::enginetest {
namespace {

class Lifecycle : public EngineHarness {
  protected:
    // Two reports of a taxiing aircraft 10 s apart: enough to spawn it.
    void feedPair(Report r) {
        r.groundSpeed = 12.0;
        r.track = 90.0;
        feed(r);
        r.lon += 0.0005;
        r.timestamp += 10.0;
        feed(r);
    }
};

TEST_F(Lifecycle, AReportedAircraftIsCreatedIdentifiedAndActivatedWithItsLights) {
    feedPair({});
    run(3);
    ASSERT_NE(aircraft(), nullptr);
    EXPECT_EQ(aircraft()->state, LiveState::Buffer);
    EXPECT_EQ(aircraft()->stream.size(), 2u);
    // It waits for its first point's due cycle less the lead of a moving ground point.
    run(2700 - 3 - 5);
    EXPECT_EQ(aircraft()->state, LiveState::Buffer);
    run(10);
    EXPECT_EQ(aircraft()->state, LiveState::Adding2Sim);
    EXPECT_EQ(aircraft()->phase, FlightPhase::Taxi);
    EXPECT_EQ(aircraft()->airline, "SWR");
    EXPECT_EQ(aircraft()->liveryTitle, "SWR A320 0");
    run(60);  // the creation pacing lets it through
    ASSERT_EQ(world.objects.size(), 1u);
    const SimObject& o = world.objects.begin()->second;
    EXPECT_EQ(o.tail, "SWR100");
    EXPECT_NE(aircraft()->objectId(), 0u);
    EXPECT_EQ(world.staticCgRequests, 1);
    EXPECT_EQ(aircraft()->state, LiveState::Adding2Sim);  // frozen for 200 cycles
    EXPECT_TRUE(o.track.empty());
    run(200);
    EXPECT_EQ(aircraft()->state, LiveState::Active);
    EXPECT_FALSE(world.objects.begin()->second.track.empty());
    // Its altitude is the ground's plus its resting height, never the report's 0 ft.
    EXPECT_NEAR(world.objects.begin()->second.pos.altitude, world.groundFt + world.restHeightFt,
                0.01);
    // The engine's own schedule: the aircraft in range and RealTraffic's position once a
    // second each.
    EXPECT_NEAR(world.inRangeRequests, engine.cycle() / 100, 1);
    EXPECT_NEAR(world.positionsToRealTraffic, engine.cycle() / 100, 1);
    EXPECT_NEAR(world.userPositionRequests, engine.cycle() / 100, 1);
}

TEST_F(Lifecycle, ReportsThatAddNothingAreNotTaken) {
    Report r;
    r.groundSpeed = 12.0;
    feed(r);
    r.timestamp += 0.5;  // less than a second later
    feed(r);
    r.timestamp += 0.5;  // the same time again as far as a second goes
    feed(r);
    run(3);
    ASSERT_NE(aircraft(), nullptr);
    EXPECT_EQ(aircraft()->stream.size(), 1u);
    // A second hex id for a flight already shown is not born.
    feed({.id = 0x4b1802, .groundSpeed = 12.0, .timestamp = r.timestamp});
    // Absurd speed changes are noise.
    r.timestamp += 10.0;
    r.groundSpeed = 200.0;
    feed(r);
    run(2);
    EXPECT_EQ(engine.findById(0x4b1802), nullptr);
    EXPECT_EQ(aircraft()->stream.size(), 1u);
    // Unknown types and switched-off kinds are never born.
    gs().HELICOPTERS.set(false);
    feed({.id = 0x4b1900, .callsign = "HBZXX", .model = "EC35"});
    feed({.id = 0x4b1901, .callsign = "HBZXX", .model = "XXXX"});
    run(2);
    EXPECT_EQ(engine.findById(0x4b1900), nullptr);
    EXPECT_EQ(engine.findById(0x4b1901), nullptr);
    // With a maximum of none, not even the first is created.
    gs().MAX_LIVE_SEL.set(0);
    feedPair({.id = 0x4b1805, .callsign = "EZY12"});
    run(3000);
    EXPECT_EQ(engine.findById(0x4b1805), nullptr);
    EXPECT_EQ(world.creationsSent, 0);
}

TEST_F(Lifecycle, AMixedStreamLosesItsOldestPointsUntilItIsUniform) {
    Report r;
    r.altitude = 3000.0;
    r.groundSpeed = 160.0;
    r.verticalRate = -700.0;
    feed(r);
    r.timestamp += 10.0;
    r.lon += 0.01;
    feed(r);
    r.timestamp += 10.0;
    r.altitude = 0.0;
    r.groundSpeed = 40.0;
    r.lon += 0.01;
    feed(r);
    r.timestamp += 10.0;
    r.lon += 0.001;
    feed(r);
    run(2905);
    ASSERT_NE(aircraft(), nullptr);
    EXPECT_EQ(aircraft()->stream.size(), 2u);
    EXPECT_FALSE(aircraft()->stream.front().airborne);
    EXPECT_EQ(aircraft()->state, LiveState::Adding2Sim);
}

TEST_F(Lifecycle, ARemovalBeforeTheCreationIsSentCostsTheSimulatorNothing) {
    feedPair({});
    run(1);
    for (int i = 0; i < 4000 && aircraft()->state == LiveState::Buffer; ++i) {
        run(1);
    }
    ASSERT_EQ(aircraft()->state, LiveState::Adding2Sim) << engine.cycle();
    // Still on the adding stack or in the pacing queue.
    engine.removeAircraftFromSim(*aircraft());
    run(200);
    EXPECT_EQ(aircraft(), nullptr);
    EXPECT_EQ(world.creationsSent, 0);
    EXPECT_TRUE(world.removalsSent.empty());

    // Once sent, the aircraft goes right after it is identified.
    feedPair({.id = 0x4b1805, .callsign = "EZY12"});
    run(2700);
    for (int i = 0; i < 1000 && world.creationsSent == 0; ++i) {
        run(1);
    }
    ASSERT_EQ(world.creationsSent, 1);
    LiveAircraft* ac = engine.findById(0x4b1805);
    ASSERT_NE(ac, nullptr);
    if (ac->objectId() == 0) {
        engine.removeAircraftFromSim(*ac);
        EXPECT_TRUE(ac->removeWhenIdentified);
    } else {
        engine.removeAircraftFromSim(*ac);
    }
    run(300);
    EXPECT_EQ(engine.findById(0x4b1805), nullptr);
    EXPECT_EQ(world.removalsSent.size(), 1u);
    EXPECT_TRUE(world.objects.empty());
}

// One type has no livery at all, another's first title is refused by the simulator: the
// first is never spawned again, the second comes back with the next title.
TEST_F(Lifecycle, NoLiveryMeansNoSpawnAndARefusedLiveryIsReplacedWhenBornAgain) {
    world.typesWithoutLivery = {"B738"};
    world.refuseTitles = {"SWR A320 0"};
    Report noLivery{.id = 0x4b1802, .callsign = "EZY12", .model = "B738"};
    feedPair({});
    feedPair(noLivery);
    run(2800);
    EXPECT_EQ(aircraft(), nullptr);
    EXPECT_EQ(world.noLivery, std::vector<std::string>{"EZY B738 HB-JLP"});
    EXPECT_EQ(world.refusedTitles, std::vector<std::string>{"SWR A320 0"});
    world.typesWithoutLivery.clear();
    feedPair({.timestamp = 1700000100.0});
    noLivery.timestamp += 100;
    feedPair(noLivery);
    run(3100);
    ASSERT_NE(aircraft(), nullptr);
    EXPECT_EQ(aircraft()->liveryTitle, "SWR A320 1");
    EXPECT_EQ(aircraft(0x4b1802), nullptr);
    EXPECT_EQ(world.objects.size(), 1u);
    EXPECT_EQ(world.creationsSent, 2);
}

TEST_F(Lifecycle, ACallsignChangeRespawnsOnlyWithGuidChanges) {
    for (const bool guidChanges : {false, true}) {
        SCOPED_TRACE(guidChanges);
        gf_prepareTestDatabase();
        gs().GUID_CHANGES.set(guidChanges);
        TestWorld w;
        LiveEngine e(w);
        Report r;
        r.groundSpeed = 12.0;
        r.track = 90.0;
        for (int i = 0; i < 4; ++i) {
            w.traffic.push_back(gf_record(r, e.cycle()));
            r.lon += 0.0005;
            r.timestamp += 10.0;
        }
        for (int i = 0; i < 3100; ++i) {
            e.lf_handleAddingStack();
        }
        ASSERT_EQ(e.findById(r.id)->state, LiveState::Active);
        r.callsign = "SWR200";
        w.traffic.push_back(gf_record(r, e.cycle()));
        for (int i = 0; i < 20; ++i) {
            e.lf_handleAddingStack();
        }
        EXPECT_EQ(e.findById(r.id)->callsign, guidChanges ? "SWR200" : "SWR100");
        EXPECT_EQ(w.removalsSent.size(), guidChanges ? 1u : 0u);
    }
}

TEST_F(Lifecycle, NoticesForUnknownObjectsAndOddRestingDataAreIgnored) {
    feedPair({});
    run(3000);
    ASSERT_EQ(aircraft()->state, LiveState::Active);
    const std::uint32_t oid = aircraft()->objectId();
    for (const NoticeKind k : {NoticeKind::ObjectRemoved, NoticeKind::InRange, NoticeKind::StaticCg,
                               NoticeKind::LiveIdentified}) {
        engine.handleNotice({9999, 0, k, 1.0, 2.0});
    }
    EXPECT_EQ(engine.live().size(), 1u);
    engine.handleNotice({oid, 0, NoticeKind::StaticCg, 40.0, 5.0 * kDeg2Rad});
    EXPECT_DOUBLE_EQ(aircraft()->staticCgFt, world.restHeightFt);
    EXPECT_DOUBLE_EQ(aircraft()->staticPitch, kDefaultStaticPitchRad);
    engine.handleNotice({oid, 0, NoticeKind::StaticCg, 12.0, 1.0 * kDeg2Rad});
    EXPECT_DOUBLE_EQ(aircraft()->staticCgFt, 12.0);
    EXPECT_DOUBLE_EQ(aircraft()->staticPitch, 1.0 * kDeg2Rad);
}

TEST_F(Lifecycle, TheUserAircraftClearsTheWay) {
    feedPair({});
    run(3000);
    ASSERT_EQ(aircraft()->state, LiveState::Active);
    const LatLon at{aircraft()->lat, aircraft()->lon};
    // The user on the ground, a wingspan away: the live aircraft goes.
    const LatLon near = gf_destinationPoint(at, 0.0, 60.0);
    world.user.latitude = near.lat;
    world.user.longitude = near.lon;
    run(100);
    engine.collisionChecks();
    EXPECT_EQ(aircraft()->state, LiveState::RemovingFromSim);

    // In the air: an aircraft 3 nm ahead on the user's line goes, one abeam stays.
    struct Case {
        double bearingFromUserDeg;
        double headingDeg;
        bool removed;
    };
    for (const Case c :
         {Case{90.0, 90.0, true}, Case{90.0, 0.0, false}, Case{90.0, 270.0, false}}) {
        SCOPED_TRACE(c.headingDeg);
        LiveAircraft ac;
        ac.state = LiveState::Active;
        ac.controls.objectId = 500;
        ac.heading = c.headingDeg * kDeg2Rad;
        ac.altitude = 5000.0;
        const LatLon p =
            gf_destinationPoint({47.0, 8.0}, c.bearingFromUserDeg * kDeg2Rad, 3.0 * kFeetPerNm);
        ac.lat = p.lat;
        ac.lon = p.lon;
        ac.stream.push_back(
            {.lat = p.lat, .lon = p.lon, .altitude = 5000.0, .dueCycle = 100000, .airborne = true});
        TestWorld w;
        w.user = {.latitude = 47.0, .longitude = 8.0, .altitude = 5200.0, .altAboveGround = 4000.0};
        w.userOnGroundFlag = false;
        LiveEngine e(w);
        e.live().push_back(ac);
        e.lf_handleAddingStack();  // takes the user's data
        e.collisionChecks();
        EXPECT_EQ(e.live()[0].state == LiveState::RemovingFromSim, c.removed);
    }
}

TEST_F(Lifecycle, AGhostGivesWayToTheFlightWithItsCallsign) {
    testkit::LogCapture log;
    feedPair({.id = 0x4b1810, .callsign = "SWR100_"});
    run(3000);
    ASSERT_EQ(engine.findById(0x4b1810)->state, LiveState::Active);
    feedPair({.lat = 47.46, .timestamp = 1700000050.0});
    run(3000);
    EXPECT_TRUE(log.contains("SWR100_  is a ghost and will be removed, continue with SWR100"))
        << log.text();
    EXPECT_EQ(engine.findById(0x4b1810), nullptr);
    ASSERT_EQ(engine.blockedCallsigns().size(), 1u);
    EXPECT_EQ(engine.blockedCallsigns()[0], "SWR100_");
}

}  // namespace
}  // namespace wnd::enginetest
