// The generated flights fly like the recordings: arrivals on the runway axis after a 3
// degree path, departures that push back and lift off on their axis, over-flights high and
// level, and no report further from the last than its speed allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "standins/rt/standin.h"

namespace wnd::rtstandin {
namespace {

constexpr LatLon kUser{47.45115, 8.55840};  // parked at Zurich, as in the demo
constexpr double kFeetPerMetre = 1.0 / 0.3048;

// Position along and across a runway's axis, metres from its landing threshold.
struct Axis {
    LatLon threshold;
    double headingDeg;
    double along(const Report& r) const { return dot(r, 0.0); }
    double across(const Report& r) const { return std::abs(dot(r, 90.0)); }
    double dot(const Report& r, double turn) const {
        const LocalXY p = gf_toLocal(threshold, {r.lat, r.lon});
        const double h = (headingDeg + turn) * kDeg2Rad;
        return p.north * std::cos(h) + p.east * std::sin(h);
    }
};

std::map<std::uint32_t, std::vector<Report>> lf_flights(const Scenario& sc) {
    std::map<std::uint32_t, std::vector<Report>> out;
    for (const Report& r : sc.reports) {
        out[r.id].push_back(r);
    }
    return out;
}

double lf_metres(const Report& a, const Report& b) {
    return gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}) * kMetresPerNm;
}

// What every flight shares: reports 2 s apart that never move further than their speed.
void lf_expectSteady(const std::vector<Report>& f, double slackM) {
    for (std::size_t i = 1; i < f.size(); ++i) {
        const double dt = f[i].t - f[i - 1].t;
        ASSERT_NEAR(dt, 2.0, 1e-9);
        const double kt = std::max(*f[i].gsKt, *f[i - 1].gsKt);
        ASSERT_LE(lf_metres(f[i - 1], f[i]), kt * 1852.0 / 3600.0 * dt * 1.1 + slackM)
            << f[i].callsign << " at t=" << f[i].t;
    }
}

struct Counts {
    int arrivals = 0, departures = 0, overflights = 0;
};

void lf_checkFlights(const Scenario& sc, const RunwaysInUse& use, double qnhOffsetFt, bool noisy,
                     Counts& n) {
    const Axis arrival{use.arrival.threshold, use.arrival.headingDeg};
    const Axis departure{use.departure.threshold, use.departure.headingDeg};
    for (const auto& [id, f] : lf_flights(sc)) {
        SCOPED_TRACE(f.front().callsign);
        lf_expectSteady(f, noisy ? 20.0 : 1.0);
        const auto ground =
            std::find_if(f.begin(), f.end(), [](const Report& r) { return r.onGround; });
        if (!f.front().onGround && ground != f.end()) {
            ++n.arrivals;
            // On the axis from 8 nm in, descending 3 degrees.
            std::vector<const Report*> fin;
            for (const Report& r : f) {
                if (!r.onGround && arrival.along(r) > -8 * kMetresPerNm &&
                    arrival.along(r) < -kMetresPerNm) {
                    fin.push_back(&r);
                    EXPECT_LT(arrival.across(r), 30.0);
                }
            }
            ASSERT_GT(fin.size(), 30u);
            const double climbFt = *fin.back()->altFt - *fin.front()->altFt;
            const double runFt =
                (arrival.along(*fin.back()) - arrival.along(*fin.front())) * kFeetPerMetre;
            EXPECT_NEAR(std::atan2(-climbFt, runFt) * kRad2Deg, 3.0, 0.1);
            // Threshold crossing near 50 ft, barometric for the QNH.
            EXPECT_NEAR(*fin.back()->altFt + qnhOffsetFt - use.elevationFt,
                        50.0 + kMetresPerNm * kFeetPerMetre * 0.0524, 40.0);
            // Touchdown on the axis past the threshold at landing speed and sink rate.
            const Report& td = *ground;
            const Report& flare = *(ground - 1);
            EXPECT_LT(arrival.across(td), 30.0);
            EXPECT_GT(arrival.along(td), 150.0);
            EXPECT_LT(arrival.along(td), 900.0);
            EXPECT_GE(*td.gsKt, 130.0);
            EXPECT_LE(*td.gsKt, 145.0);
            EXPECT_GE(-*flare.vsFpm, 100.0);
            EXPECT_LE(-*flare.vsFpm, 500.0);
            EXPECT_FALSE(td.altFt.has_value());  // ground reports carry no altitude
            // Never airborne again; off the runway only at taxi speed; parked at the end.
            for (auto it = ground; it != f.end(); ++it) {
                EXPECT_TRUE(it->onGround);
                if (arrival.across(*it) > 45.0) {
                    EXPECT_LE(*it->gsKt, 30.0);
                }
            }
            EXPECT_EQ(*f.back().gsKt, 0.0);
            EXPECT_GT(arrival.across(f.back()), 150.0);
        } else if (f.front().onGround) {
            ++n.departures;
            EXPECT_EQ(*f.front().gsKt, 0.0);
            EXPECT_TRUE(std::any_of(f.begin(), f.end(), [](const Report& r) {
                return r.gsKt > 0.0 && r.gsKt <= 5.0 &&
                       std::abs(std::remainder(*r.trackDeg - *r.headingDeg - 180.0, 360.0)) < 1.0;
            })) << "no push-back";
            const auto air =
                std::find_if(f.begin(), f.end(), [](const Report& r) { return !r.onGround; });
            ASSERT_NE(air, f.end());
            EXPECT_LT(departure.across(*(air - 1)), 30.0);
            EXPECT_GE(*(air - 1)->gsKt, 140.0);
            EXPECT_LE(*(air - 1)->gsKt, 160.0);
            EXPECT_GT(*f.back().altFt, use.elevationFt + 5000.0);
            EXPECT_LT(departure.across(f.back()), 100.0);
        } else {
            ++n.overflights;
            for (std::size_t i = 0; i < f.size(); ++i) {
                EXPECT_GE(*f[i].altFt + qnhOffsetFt, 24975.0);
                EXPECT_LE(*f[i].altFt + qnhOffsetFt, 37025.0);
                if (i > 0) {
                    EXPECT_LE(std::abs(std::remainder(*f[i].trackDeg - *f[i - 1].trackDeg, 360.0)),
                              4.0);
                }
            }
        }
    }
}

TEST(Generator, FlightsUseTheRunwaysOfTheAirportNearTheUser) {
    GeneratorOptions o;
    o.airport = kUser;
    o.runways = airportRunwaysNear(loadRunways(WENDLE_RUNWAYS_FILE), kUser, 8.0);
    o.flights = 12;
    const RunwaysInUse use = chooseRunways(o);
    EXPECT_EQ(use.icao, "LSZH");
    EXPECT_EQ(use.elevationFt, 1416.0);
    EXPECT_EQ(use.arrival.name, "28");  // the end closest to the default heading of 280
    EXPECT_EQ(use.departure.name, "32");
    Counts n;
    lf_checkFlights(generateScenario(o), use, 0.0, false, n);
    EXPECT_EQ(n.arrivals, 4);
    EXPECT_EQ(n.departures, 4);
    EXPECT_EQ(n.overflights, 4);
    // Altitudes are barometric: a higher QNH reads lower; noise stays within the limits.
    o.qnhHpa = 1033.25;
    o.noise = true;
    o.seed = 7;
    o.runwayHeadingDeg = 140.0;
    const RunwaysInUse other = chooseRunways(o);
    EXPECT_EQ(other.arrival.name, "14");
    lf_checkFlights(generateScenario(o), other, 540.0, true, n);
}

}  // namespace
}  // namespace wnd::rtstandin
