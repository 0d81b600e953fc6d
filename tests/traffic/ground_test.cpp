// Ground movement and parking at a small airport of the tests' own: an arrival taxis round
// a corner and parks on its stand, a departure pushes back or pulls out, and the stand
// rules decide who stands where. Judged on every position the engine sends, sampled once a
// second as the trace report samples wendle-sim's trace.
#include "traffic/ground.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "airports/stand_learning.h"
#include "engine_harness.h"

namespace wnd::enginetest {
namespace {

constexpr LatLon kOrigin{47.4500, 8.5500};
constexpr double kElevationFt = 1416.0;

LatLon at(double northM, double eastM) {
    return gf_fromLocal(kOrigin, {northM, eastM});
}

StandRecord stand(std::uint32_t number, const char* id, LatLon p, double headingDeg,
                  double radiusM) {
    StandRecord s;
    s.number = number;
    s.id = id;
    s.lat = p.lat;
    s.lon = p.lon;
    s.heading = headingDeg * kDeg2Rad;
    s.radiusNm = radiusM / kMetresPerNm;
    return s;
}

Report reportAt(LatLon p, double kt, double trackDeg, double t) {
    return {.lat = p.lat,
            .lon = p.lon,
            .groundSpeed = kt,
            .track = trackDeg,
            .timestamp = 1700000000.0 + t};
}

struct GroundFigures {
    double worstTurnDegS = 0.0;
    double worstStepRatio = 0.0;
    std::vector<char> moves;  // 'F' forwards, 'B' backwards, one per second that moved
};

GroundFigures lf_judgeGround(const std::vector<AiPosition>& track) {
    GroundFigures f;
    for (std::size_t i = 100; i < track.size(); i += 100) {
        const AiPosition& a = track[i - 100];
        const AiPosition& b = track[i];
        const LatLon pa{a.latitude, a.longitude};
        const LatLon pb{b.latitude, b.longitude};
        f.worstTurnDegS =
            std::max(f.worstTurnDegS, std::abs(gf_wrapPi(b.heading - a.heading)) * kRad2Deg);
        f.worstStepRatio = std::max(f.worstStepRatio, gf_stepRatio(a, b));
        if (gf_metresApart(a, b) > 0.3) {
            const double off = std::abs(gf_wrapPi(gf_bearing(pa, pb) - a.heading));
            const char c = off > kPi / 2.0 ? 'B' : 'F';
            if (f.moves.empty() || f.moves.back() != c) {
                f.moves.push_back(c);
            }
        }
    }
    return f;
}

class Ground : public EngineHarness {
  protected:
    void SetUp() override {
        EngineHarness::SetUp();
        world.groundFt = kElevationFt;
        file.stands = {stand(1, "A1", at(0, 0), 0.0, 20.0), stand(2, "A2", at(0, 45), 0.0, 20.0),
                       stand(3, "H1", at(-150, -100), 90.0, 10.0),
                       stand(4, "B1", at(0, 200), 180.0, 28.6)};
        file.stands[2].heli = true;
        file.stands[0].neighbours = {2};
        file.stands[1].neighbours = {1};
        engine.setParkAirport(EngineParkAirport{"LSZH", kOrigin, kElevationFt, &file, 1});
        world.user.latitude = 47.46;  // the user stands elsewhere
    }
    // Reports of an aircraft standing at p, one every 5 s for a minute.
    void standAt(LatLon p, Report like = {}) {
        for (int i = 0; i < 12; ++i) {
            Report r = like;
            r.lat = p.lat;
            r.lon = p.lon;
            r.groundSpeed = 0.0;
            r.timestamp = 1700000000.0 + 5.0 * i;
            feed(r);
            run(500);
        }
        run(3500);
    }
    AirportFileData file;
};

TEST_F(Ground, AnArrivalTaxisRoundTheCornerAndParksOnItsStand) {
    // West along a taxiway 120 m south of the stands at 15 kt, a right turn to the north,
    // slowing to 5 kt, and the reports end standing 30 m short of stand A1.
    std::vector<Report> reports;
    double t = 0.0;
    for (double east = 200.0; east > 0.0; east -= 7.7) {
        reports.push_back(reportAt(at(-120, east), 15.0, 270.0, t++));
    }
    for (double north = -112.0; north <= -30.0; north += 4.0) {
        reports.push_back(reportAt(at(north, 0), 8.0, 0.0, t++));
    }
    for (int i = 0; i < 5; ++i) {
        reports.push_back(reportAt(at(-30, 0), 0.0, 0.0, t++));
    }
    for (const Report& r : reports) {
        feed(r);
        run(100);
    }
    run(9000);
    const LiveAircraft* ac = aircraft();
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->phase, FlightPhase::Parked);
    ASSERT_TRUE(ac->hasStand);
    EXPECT_EQ(ac->standIndex, 1u);
    const auto& track = trackOf();
    ASSERT_GT(track.size(), 3000u);
    const AiPosition& last = track.back();
    EXPECT_LT(gf_distanceNm({last.latitude, last.longitude}, at(0, 0)) * kMetresPerNm, 2.0);
    EXPECT_LT(std::abs(gf_wrapPi(last.heading)) * kRad2Deg, 3.0);
    const GroundFigures f = lf_judgeGround(track);
    EXPECT_LE(f.worstTurnDegS, 0.07 * 100 * 1.2);  // a large aircraft's turn rate
    EXPECT_LE(f.worstStepRatio, 1.5);
    EXPECT_EQ(std::string(f.moves.begin(), f.moves.end()), "F");
    // The stand learned the flight in this week slot.
    const WeekSlot slot = gf_weekSlotOf(world.now());
    ASSERT_EQ(file.stands[0].flights.size(), 1u);
    const FlightRecord& learned = file.stands[0].flights[0];
    EXPECT_EQ(learned.registration, "HB-JLP");
    EXPECT_EQ(learned.day, slot.day);
    EXPECT_TRUE(learned.bits.test(static_cast<std::size_t>(slot.halfHour)));
    EXPECT_TRUE(learned.updated);
}

TEST_F(Ground, ADeparturePushesBackThenTaxisForwards) {
    standAt(at(0, 45));
    const LiveAircraft* ac = aircraft();
    ASSERT_NE(ac, nullptr);
    ASSERT_EQ(ac->phase, FlightPhase::Parked);
    EXPECT_EQ(ac->standIndex, 2u);
    // Backwards (south) and swinging east, then away east along the taxiway.
    double t = 100.0;
    for (int i = 1; i <= 12; ++i) {
        feed(reportAt(at(-3.0 * i, 45 + (i > 6 ? 2.0 * (i - 6) : 0.0)), 3.0, 0.0, t++));
        run(200);
    }
    for (double east = 60.0; east < 400.0; east += 7.7) {
        feed(reportAt(at(-45, east), 15.0, 90.0, t++));
        run(100);
    }
    run(6000);
    EXPECT_EQ(ac->phase, FlightPhase::Taxi);
    EXPECT_FALSE(ac->hasStand);
    const GroundFigures f = lf_judgeGround(trackOf());
    EXPECT_EQ(std::string(f.moves.begin(), f.moves.end()), "BF");
    EXPECT_LE(f.worstTurnDegS, 0.07 * 100 * 1.2);
    EXPECT_LE(f.worstStepRatio, 1.5);
}

TEST_F(Ground, StraightPushBacksOnlyNeverTurnDuringThePush) {
    gs().STRAIGHT_PBS_ONLY.set(true);
    standAt(at(0, 45));
    const LiveAircraft* ac = aircraft();
    ASSERT_NE(ac, nullptr);
    const double parkedHeading = ac->heading;
    double t = 100.0;
    for (int i = 1; i <= 12; ++i) {
        feed(reportAt(at(-3.0 * i, 45 + 3.0 * i), 3.0, 135.0 + i * 3.0, t));
        t += 3.0;
        run(300);
    }
    EXPECT_NE(ac->phase, FlightPhase::Parked);
    run(3000);
    EXPECT_EQ(ac->phase, FlightPhase::PushedBack);
    EXPECT_LT(std::abs(gf_wrapPi(ac->heading - parkedHeading)), 1e-6);
}

TEST_F(Ground, AnAircraftFacingAwayPullsOut) {
    standAt(at(0, 45));
    const LiveAircraft* ac = aircraft();
    ASSERT_NE(ac, nullptr);
    double t = 100.0;
    for (int i = 1; i <= 30; ++i) {
        feed(reportAt(at(5.0 * i, 45), 10.0, 0.0, t++));
        run(100);
    }
    run(3000);
    EXPECT_EQ(ac->phase, FlightPhase::Taxi);
    const GroundFigures f = lf_judgeGround(trackOf());
    EXPECT_EQ(std::string(f.moves.begin(), f.moves.end()), "F");
}

TEST_F(Ground, StandsFitTheAircraftAndTheKindOfAircraft) {
    // An A333 (30 m half wingspan) fits stand B1 of 28.6 m: 1.4 m too wide is tolerated.
    standAt(at(15, 200), {.model = "A333"});
    ASSERT_NE(aircraft(), nullptr);
    EXPECT_EQ(aircraft()->standIndex, 4u);
    EXPECT_FALSE(file.stands[3].radiusChange);

    // A helicopter never takes an aircraft stand, and takes the helipad.
    standAt(at(0, 0), {.id = 0x4b1802, .callsign = "REGA1", .model = "EC35"});
    ASSERT_NE(aircraft(0x4b1802), nullptr);
    EXPECT_FALSE(aircraft(0x4b1802)->hasStand);
    standAt(at(-145, -100), {.id = 0x4b1803, .callsign = "REGA2", .model = "EC35"});
    ASSERT_NE(aircraft(0x4b1803), nullptr);
    EXPECT_EQ(aircraft(0x4b1803)->standIndex, 3u);
}

TEST_F(Ground, AStandTooSmallIsTakenOnlyFromCloseByAndThenEnlarged) {
    file.stands[3].radiusNm = 28.0 / kMetresPerNm;  // 2 m too small for an A333
    standAt(at(25, 200), {.model = "A333"});
    ASSERT_NE(aircraft(), nullptr);
    EXPECT_FALSE(aircraft()->hasStand);
    standAt(at(10, 200),
            {.id = 0x4b1802, .callsign = "SWR200", .model = "A333", .registration = "HB-JHA"});
    ASSERT_NE(aircraft(0x4b1802), nullptr);
    EXPECT_EQ(aircraft(0x4b1802)->standIndex, 4u);
    EXPECT_TRUE(file.stands[3].radiusChange);
    EXPECT_NEAR(file.stands[3].radiusNm * kMetresPerNm, 0.0162 * kMetresPerNm - 1.0, 0.01);
}

TEST_F(Ground, AGhostLeavesItsStandToTheFlightButNeverTakesOne) {
    standAt(at(0, 0), {.callsign = "SWR100_"});
    ASSERT_NE(aircraft(), nullptr);
    ASSERT_EQ(aircraft()->standIndex, 1u);
    standAt(at(0, 0), {.id = 0x4b1802});
    ASSERT_NE(aircraft(0x4b1802), nullptr);
    EXPECT_EQ(aircraft(0x4b1802)->standIndex, 1u);
    EXPECT_TRUE(aircraft() == nullptr || aircraft()->state == LiveState::RemovingFromSim);

    standAt(at(0, 0), {.id = 0x4b1803, .callsign = "SWR100_"});
    // The flight keeps its stand; the ghost is not put on it.
    EXPECT_EQ(aircraft(0x4b1802)->standIndex, 1u);
    EXPECT_TRUE(aircraft(0x4b1803) == nullptr || aircraft(0x4b1803)->standIndex != 1u);
}

}  // namespace
}  // namespace wnd::enginetest
