// The motion the simulator shows: flights fed as RealTraffic reports them, clean and made
// worse on purpose, judged on every position the engine sends, as the trace report judges
// wendle-sim's trace. Arrivals (a flare, one touchdown, the roll-out) are judged by the trace
// report itself in the live-traffic e2e run; a departure's lift-off comes too late there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine_harness.h"

namespace wnd::enginetest {
namespace {

// Zurich, runway 14: threshold and the far end (runway 32's start).
constexpr LatLon kThreshold{47.483081, 8.534725};
constexpr LatLon kRunwayEnd{47.461294, 8.564456};
constexpr double kElevationFt = 1416.0;

struct Figures {
    double worstStepRatio = 0.0;    // metres moved in a second over what the speed allows
    double worstAirTurnDegS = 0.0;  // airborne heading rate
    double lowestAboveGroundFt = 1e9;
    int airToGround = 0;
    int groundToAir = 0;
};

// Samples once a second, as the trace of the simulator stand-in does.
Figures lf_judge(const std::vector<AiPosition>& track, double groundFt, double restFt) {
    Figures f;
    bool wasOnGround = true;
    bool first = true;
    for (std::size_t i = 100; i < track.size(); i += 100) {
        const AiPosition& a = track[i - 100];
        const AiPosition& b = track[i];
        f.worstStepRatio = std::max(f.worstStepRatio, gf_stepRatio(a, b));
        const double above = b.altitude - groundFt - restFt;
        f.lowestAboveGroundFt = std::min(f.lowestAboveGroundFt, above);
        const bool onGround = above <= 1.0;
        if (!onGround) {
            const double turn = std::abs(gf_wrapPi(b.heading - a.heading)) * kRad2Deg;
            f.worstAirTurnDegS = std::max(f.worstAirTurnDegS, turn);
        }
        if (!first && onGround && !wasOnGround) {
            ++f.airToGround;
        }
        if (!first && !onGround && wasOnGround) {
            ++f.groundToAir;
        }
        wasOnGround = onGround;
        first = false;
    }
    return f;
}

class Motion : public EngineHarness {
  protected:
    void SetUp() override {
        EngineHarness::SetUp();
        world.groundFt = kElevationFt;
        engine.setParkAirport(EngineParkAirport{"LSZH", {47.458, 8.548}, kElevationFt});
    }
    // Feeds the reports of a flight as they would arrive: one every `every` seconds of
    // engine time.
    void fly(const std::vector<Report>& reports, double every, int tailCycles) {
        const int step = static_cast<int>(every * 100.0);
        for (const Report& r : reports) {
            feed(r);
            run(step);
        }
        run(tailCycles);
    }
};

// A departure from runway 32: lining up at 15 kt, the take-off run from 20 to 160 kt, and
// a climb at 2000 fpm along the axis.
std::vector<Report> lf_departure(double every) {
    std::vector<Report> out;
    const double axis = gf_bearing(kRunwayEnd, kThreshold);
    Report r;
    r.track = axis * kRad2Deg;
    double along = 0.0;
    double height = 0.0;
    const auto add = [&](double speed, double climbFpm) {
        along += speed * 0.5144 * every;
        height += climbFpm / 60.0 * every;
        const LatLon p = gf_destinationPoint(kRunwayEnd, axis, along * 3.28084);
        r.lat = p.lat;
        r.lon = p.lon;
        r.groundSpeed = speed;
        r.altitude = height > 0.0 ? kElevationFt + height : 0.0;
        r.verticalRate = climbFpm;
        r.timestamp += every;
        out.push_back(r);
    };
    for (int i = 0; i < 6; ++i) {
        add(15.0, 0.0);
    }
    for (double speed = 15.0; speed < 160.0;) {
        speed = std::min(160.0, speed + 5.0 * every);
        add(speed, 0.0);
    }
    for (int i = 1; i <= 40; ++i) {
        add(std::min(220.0, 160.0 + 2.0 * every * i), 2000.0);
    }
    return out;
}

// Never a jump, a sharp turn in the air or a point below the ground.
void lf_expectSmooth(const Figures& f) {
    EXPECT_LE(f.worstStepRatio, 1.5);
    EXPECT_LE(f.worstAirTurnDegS, 15.0);
    EXPECT_GE(f.lowestAboveGroundFt, -0.01);
}

// Smooth, one lift-off, a climb, and an airliner's speeds from the lift-off on.
void lf_expectDeparture(const std::vector<AiPosition>& track, const TestWorld& world,
                        std::uint64_t tookOff) {
    ASSERT_GT(track.size(), 5000u);
    const Figures f = lf_judge(track, world.groundFt, world.restHeightFt);
    lf_expectSmooth(f);
    EXPECT_EQ(f.groundToAir, 1);
    EXPECT_EQ(f.airToGround, 0);
    EXPECT_GE(tookOff, 1u);
    EXPECT_GT(track.back().altitude, kElevationFt + 1000.0);
    double slowestInAir = 1e9;
    for (const AiPosition& a : track) {
        if (a.altitude > world.groundFt + world.restHeightFt + 1.0) {
            slowestInAir = std::min(slowestInAir, a.trueAirspeed);
        }
    }
    EXPECT_GE(slowestInAir, 110.0);
}

TEST_F(Motion, ADepartureRollsLiftsOffOnceAndClimbs) {
    fly(lf_departure(2.0), 2.0, 4000);
    lf_expectDeparture(trackOf(), world, engine.figures().tookOff);
}

TEST_F(Motion, ADepartureWhoseGroundReportsHaveNoSpeedStillTakesOff) {
    // Surface positions often come without a speed, the take-off run too; the first airborne
    // report then says 100 kt or more after a string of 0 kt.
    std::vector<Report> reports = lf_departure(1.0);
    for (Report& r : reports) {
        if (r.altitude <= 0.0) {
            r.groundSpeed = 0.0;
        }
    }
    fly(reports, 1.0, 6000);
    lf_expectDeparture(trackOf(), world, engine.figures().tookOff);
}

TEST_F(Motion, AStandingAircraftNeitherWandersNorDashes) {
    // At 0 kt the reported position wanders by a few metres; after a minute without reports
    // it jumps 40 m ahead, still at 0 kt. Reports of a standing aircraft are taken every 15 s.
    std::vector<Report> reports;
    const Report r{.lat = 47.4560, .lon = 8.5600};
    for (int i = 0; i < 8; ++i) {
        Report w = r;
        w.lat += (i % 2) * 0.00004;  // 4.4 m north and back
        w.timestamp = r.timestamp + 16.0 * i;
        reports.push_back(w);
    }
    fly(reports, 16.0, 6000);  // the reports run out: the aircraft holds
    Report jump = reports.back();
    jump.lat = r.lat + 0.00036;  // 40 m north
    jump.timestamp += 76.0;
    fly({jump}, 1.0, 4000);
    const auto& track = trackOf();
    ASSERT_GT(track.size(), 2000u);
    double worst = 0.0;  // metres in a second
    for (std::size_t i = 100; i < track.size(); i += 100) {
        worst = std::max(worst, gf_metresApart(track[i - 100], track[i]));
    }
    EXPECT_GT(gf_distanceNm({track.back().latitude, track.back().longitude}, {r.lat, r.lon}) *
                  kMetresPerNm,
              30.0);                                             // it went there
    EXPECT_LT(worst, 5.0 * kMetresPerNm / 3600.0 * 1.25 + 0.1);  // as a creep, at most 5 kt
}

TEST_F(Motion, ATaxiReportedWithoutSpeedKeepsPaceWithItsReports) {
    // Ground reports at 0 kt, a second apart, 2 m of noise: 20 s standing, then two minutes
    // east at 9 kt. The aircraft must neither creep behind nor stop and go.
    std::vector<Report> reports;
    Report r;
    r.lat = 47.4560;
    r.lon = 8.5600;
    const LatLon start{r.lat, r.lon};
    for (int i = 0; i < 140; ++i) {
        const double metres = i < 20 ? 0.0 : (i - 20) * 9.0 * kMetresPerNm / 3600.0;
        const LatLon p = gf_destinationPoint(start, kPi / 2.0, metres / kMetresPerNm * kFeetPerNm);
        r.lat = p.lat + ((i * 7) % 5 - 2) * 0.000009;  // up to 2 m either way
        r.lon = p.lon;
        r.timestamp = 1700000000.0 + i;
        reports.push_back(r);
    }
    fly(reports, 1.0, 4500);
    const auto& track = trackOf();
    ASSERT_GT(track.size(), 10000u);
    lf_expectSmooth(lf_judge(track, world.groundFt, world.restHeightFt));
    // Reports within 20 m of the last one taken are repeats: it stops within that of the end.
    const LatLon last{reports.back().lat, reports.back().lon};
    EXPECT_LT(gf_distanceNm({track.back().latitude, track.back().longitude}, last) * kMetresPerNm,
              25.0);
    // Rolling through the middle of the taxi (150 to 450 m from the start): every second
    // moves it.
    double slowest = 1e9;
    for (std::size_t i = 100; i < track.size(); i += 100) {
        const LatLon a{track[i - 100].latitude, track[i - 100].longitude};
        const double fromStart = gf_distanceNm(start, a) * kMetresPerNm;
        if (fromStart > 150.0 && fromStart < 450.0) {
            const LatLon b{track[i].latitude, track[i].longitude};
            slowest = std::min(slowest, gf_distanceNm(a, b) * kMetresPerNm);
        }
    }
    EXPECT_GT(slowest, 2.0);
}

TEST_F(Motion, ABadFeedNeverMakesAnAircraftJumpOrSink) {
    // Cruise at 450 kt, then the same position for 60 s, then a jump of 15 nm; reports
    // with 2000 kt, a track of -90 degrees and -1000 ft among them.
    std::vector<Report> reports;
    Report r{.lat = 47.2, .lon = 8.3, .altitude = 12000.0, .groundSpeed = 450.0, .track = 45.0};
    double t = 1700000000.0;
    auto ahead = [&](double nm) {
        const LatLon p = gf_destinationPoint({r.lat, r.lon}, r.track * kDeg2Rad, nm * kFeetPerNm);
        r.lat = p.lat;
        r.lon = p.lon;
    };
    for (int i = 0; i < 15; ++i) {
        ahead(450.0 / 3600.0 * 4.0);
        r.timestamp = (t += 4.0);
        reports.push_back(r);
    }
    for (int i = 0; i < 15; ++i) {  // stale: the same position for a minute
        r.timestamp = (t += 4.0);
        reports.push_back(r);
    }
    ahead(15.0);
    r.timestamp = (t += 4.0);
    reports.push_back(r);
    Report wild = r;
    wild.groundSpeed = 2000.0;
    wild.timestamp = (t += 4.0);
    reports.push_back(wild);
    for (int i = 0; i < 10; ++i) {
        ahead(450.0 / 3600.0 * 4.0);
        r.track = i == 3 ? -315.0 : 45.0;  // the same direction written as a negative angle
        r.altitude = i == 5 ? -1000.0 : 12000.0;
        r.timestamp = (t += 4.0);
        reports.push_back(r);
    }
    fly(reports, 4.0, 3000);
    const auto& track = trackOf();
    ASSERT_GT(track.size(), 5000u);
    const Figures f = lf_judge(track, world.groundFt, world.restHeightFt);
    lf_expectSmooth(f);
    EXPECT_GE(f.lowestAboveGroundFt, 5000.0);
}

}  // namespace
}  // namespace wnd::enginetest
