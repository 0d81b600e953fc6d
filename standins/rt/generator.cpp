// The flights wendle-rt generates when no recording is given: each is flown second by
// second in a flat frame around the user position and reported every report interval.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>

#include "standins/rt/standin.h"

namespace wnd::rtstandin {

namespace {

constexpr double kMpsPerKt = 1852.0 / 3600.0;
constexpr double kFeetPerMetre = 1.0 / 0.3048;
constexpr double kTanGlide = 0.052407779283;  // tan(3 degrees)
constexpr double kThresholdCrossingFt = 50.0;
constexpr double kFlareFt = 30.0;
constexpr double kFeetPerHpa = 27.0;  // barometric altitude change per hPa near the ground

using Xy = LocalXY;

Xy lf_add(Xy a, Xy b, double scale = 1.0) {
    return {a.north + b.north * scale, a.east + b.east * scale};
}
Xy lf_sub(Xy a, Xy b) {
    return {a.north - b.north, a.east - b.east};
}
double lf_dot(Xy a, Xy b) {
    return a.north * b.north + a.east * b.east;
}
double lf_length(Xy a) {
    return std::hypot(a.north, a.east);
}
Xy lf_unit(double deg) {
    return {std::cos(deg * kDeg2Rad), std::sin(deg * kDeg2Rad)};
}
double lf_wrap360(double deg) {
    deg = std::fmod(deg, 360.0);
    return deg < 0.0 ? deg + 360.0 : deg;
}
double lf_headingOf(Xy v) {
    return lf_wrap360(std::atan2(v.east, v.north) * kRad2Deg);
}
// The signed turn from a to b, -180..180 (positive to the right).
double lf_turn(double a, double b) {
    return std::remainder(b - a, 360.0);
}

double lf_distanceToSegment(Xy p, Xy a, Xy b) {
    const Xy ab = lf_sub(b, a);
    const double len2 = lf_dot(ab, ab);
    const double s = len2 > 0.0 ? std::clamp(lf_dot(lf_sub(p, a), ab) / len2, 0.0, 1.0) : 0.0;
    return lf_length(lf_sub(p, lf_add(a, ab, s)));
}

// A runway end in the flat frame, as the flights use it.
struct Use {
    RunwayInUse named;
    std::size_t runway = 0;  // which of the airport's runways
    Xy start, threshold, far;
    double heading = 0.0;
    Xy u, right;  // along the runway, and to its right
    // A point `along` metres past the landing threshold and `side` metres to the right.
    Xy at(double along, double side) const {
        return lf_add(lf_add(threshold, u, along), right, side);
    }
    double alongOf(Xy p) const { return lf_dot(lf_sub(p, threshold), u); }
    double sideOf(Xy p) const { return lf_dot(lf_sub(p, threshold), right); }
    double landingLength() const { return alongOf(far); }
};

Use lf_use(const LatLon& origin, const std::string& name, LatLon start, LatLon far,
           double displacedM) {
    Use x;
    x.start = gf_toLocal(origin, start);
    x.far = gf_toLocal(origin, far);
    x.heading = lf_headingOf(lf_sub(x.far, x.start));
    x.u = lf_unit(x.heading);
    x.right = lf_unit(x.heading + 90.0);
    const double length = lf_length(lf_sub(x.far, x.start));
    x.threshold = lf_add(x.start, x.u, std::min(displacedM, length * 0.5));
    x.named = {name, start, gf_fromLocal(origin, x.threshold), far, x.heading};
    return x;
}

struct Field {
    LatLon origin;
    std::string icao;
    double elevationFt = 0.0;
    Use arrival, departure;
    std::vector<std::array<Xy, 2>> runways;  // centrelines the stands keep clear of
    Xy standCentre;
};

Field lf_field(const GeneratorOptions& o) {
    Field f;
    f.origin = o.airport;
    std::vector<Use> uses;
    const auto usable = [](const Runway& r) { return r.paved() && r.lengthM() >= 1500.0; };
    const bool anyUsable = std::any_of(o.runways.begin(), o.runways.end(), usable);
    for (const Runway& r : o.runways) {
        f.runways.push_back(
            {gf_toLocal(f.origin, r.ends[0].end), gf_toLocal(f.origin, r.ends[1].end)});
        if (anyUsable && !usable(r)) {
            continue;
        }
        for (std::size_t e = 0; e < 2; ++e) {
            uses.push_back(lf_use(f.origin, r.ends[e].name, r.ends[e].end, r.ends[1 - e].end,
                                  r.ends[e].displacedM));
            uses.back().runway = f.runways.size() - 1;
        }
        f.icao = r.icao;
        f.elevationFt = r.elevationFt;
    }
    if (uses.empty()) {
        // A runway of the given heading 500 m to the right of the user, 3000 m long.
        const Xy mid = lf_add({}, lf_unit(o.runwayHeadingDeg + 90.0), 500.0);
        const Xy half = lf_add({}, lf_unit(o.runwayHeadingDeg), 1500.0);
        const LatLon a = gf_fromLocal(f.origin, lf_sub(mid, half));
        const LatLon b = gf_fromLocal(f.origin, lf_add(mid, half));
        const auto name =
            fmt::format("{:02.0f}", std::round(lf_wrap360(o.runwayHeadingDeg) / 10.0));
        uses.push_back(lf_use(f.origin, name, a, b, 0.0));
        f.runways.push_back({uses.back().start, uses.back().far});
    }
    const auto off = [&o](const Use& x) {
        return std::abs(lf_turn(x.heading, o.runwayHeadingDeg));
    };
    f.arrival = *std::min_element(uses.begin(), uses.end(),
                                  [&](const Use& a, const Use& b) { return off(a) < off(b); });
    // Departures from another runway pointing the same way when there is one.
    f.departure = f.arrival;
    double best = 60.0;
    for (const Use& x : uses) {
        const double d = std::abs(lf_turn(x.heading, f.arrival.heading));
        if (x.runway != f.arrival.runway && d <= best) {
            best = d;
            f.departure = x;
        }
    }
    if (o.elevationFt) {
        f.elevationFt = *o.elevationFt;
    }
    // Stands near a user parked at the airport, else beside the arrival runway.
    double nearest = 1e12;
    for (const auto& r : f.runways) {
        nearest = std::min(nearest, lf_distanceToSegment({}, r[0], r[1]));
    }
    f.standCentre = nearest < 3000.0 ? Xy{} : f.arrival.at(f.arrival.landingLength() * 0.5, -450.0);
    return f;
}

// A stand for one flight: within 400 m of the stand centre and clear of every runway.
Xy lf_stand(const Field& f, std::mt19937& rng) {
    std::uniform_real_distribution<double> radius(80.0, 400.0);
    std::uniform_real_distribution<double> angle(0.0, 360.0);
    const auto clear = [&f](Xy p) {
        return std::all_of(f.runways.begin(), f.runways.end(), [p](const std::array<Xy, 2>& r) {
            return lf_distanceToSegment(p, r[0], r[1]) >= 200.0;
        });
    };
    for (int i = 0; i < 60; ++i) {
        const Xy p = lf_add(f.standCentre, lf_unit(angle(rng)), radius(rng));
        if (clear(p)) {
            return p;
        }
    }
    return f.arrival.at(f.arrival.landingLength() * 0.5, -450.0);
}

// The heading an aircraft parks with: nose away from the nearest runway.
double lf_standHeading(const Field& f, Xy stand) {
    Xy nearest = f.arrival.threshold;
    double best = 1e12;
    for (const auto& r : f.runways) {
        const Xy ab = lf_sub(r[1], r[0]);
        const double s = std::clamp(lf_dot(lf_sub(stand, r[0]), ab) / lf_dot(ab, ab), 0.0, 1.0);
        const Xy q = lf_add(r[0], ab, s);
        if (lf_length(lf_sub(stand, q)) < best) {
            best = lf_length(lf_sub(stand, q));
            nearest = q;
        }
    }
    return lf_headingOf(lf_sub(stand, nearest));
}

// One flight, flown second by second; every report-interval-th second is reported.
class Flight {
  public:
    Flight(Report identity, double startT, const GeneratorOptions& o, const Field& f,
           std::mt19937& rng)
        : id_(std::move(identity)),
          o_(o),
          f_(f),
          rng_(rng),
          t_(startT),
          start_(startT),
          every_(std::max(1.0, o.reportInterval)) {}

    Xy pos;
    double heading = 0.0;
    double track = 0.0;
    double gs = 0.0;
    double altFt = 0.0;  // above mean sea level
    double vs = 0.0;     // feet per minute
    double roll = 0.0;
    bool onGround = true;

    // One second at the current speed and track; the vertical speed changes the altitude.
    void step() {
        move();
        if (!onGround) {
            altFt += vs / 60.0;
        }
        tick();
    }
    void steps(int n) {
        for (int i = 0; i < n; ++i) {
            step();
        }
    }
    void move() { pos = lf_add(pos, lf_unit(track), gs * kMpsPerKt); }
    void tick() {
        t_ += 1.0;
        if (std::fmod(t_ - start_, every_) < 1.0) {
            report();
        }
    }
    // Stopped for this long.
    void wait(int seconds) {
        gs = 0.0;
        steps(seconds);
    }
    // Turns the nose toward `deg` by at most `rate` degrees.
    void turnToward(double deg, double rate) {
        heading = lf_wrap360(heading + std::clamp(lf_turn(heading, deg), -rate, rate));
    }
    // Taxis through the points at `kt`, slower in turns; stops at the last one.
    void taxi(const std::vector<Xy>& points, double kt) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            const bool last = i + 1 == points.size();
            for (int n = 0; n < 900; ++n) {
                const Xy to = lf_sub(points[i], pos);
                const double dist = lf_length(to);
                const double err = lf_turn(heading, lf_headingOf(to));
                if (dist < std::max(8.0, gs * kMpsPerKt) ||
                    (dist < 40.0 && std::abs(err) > 100.0)) {
                    break;
                }
                double target = std::abs(err) > 30.0 ? 8.0 : kt;
                if (last) {  // brake to stop at the point
                    target = std::min(target, std::max(3.0, std::sqrt(dist) * 1.4 / kMpsPerKt));
                }
                gs = target > gs ? std::min(target, gs + 1.5) : std::max(target, gs - 3.0);
                turnToward(lf_headingOf(to), gs > 10.0 ? 8.0 : 15.0);
                track = heading;
                step();
            }
        }
        gs = 0.0;
        step();
    }
    std::vector<Report> take() { return std::move(reports_); }

  private:
    void report() {
        Report r = id_;
        r.t = t_;
        Xy p = pos;
        double alt = altFt - (o_.qnhHpa - 1013.25) * kFeetPerHpa;
        double speed = gs;
        double trk = track;
        if (o_.noise) {
            std::normal_distribution<double> metres(0.0, 2.0);
            std::normal_distribution<double> small(0.0, 0.4);
            p = lf_add(p, {metres(rng_), metres(rng_)});
            alt = std::round(alt / 25.0) * 25.0;  // altitude is reported in 25 ft steps
            speed = std::max(0.0, speed + (gs > 0.0 ? small(rng_) : 0.0));
            trk += gs > 0.0 ? small(rng_) : 0.0;
        }
        const LatLon ll = gf_fromLocal(f_.origin, p);
        r.lat = ll.lat;
        r.lon = ll.lon;
        r.onGround = onGround;
        r.altFt = onGround ? std::nullopt : std::optional(alt);
        r.vsFpm = onGround ? 0.0 : std::round(vs);
        r.gsKt = speed;
        r.tasKt = onGround ? std::nullopt : std::optional(speed);
        r.trackDeg = lf_wrap360(trk);
        r.headingDeg = lf_wrap360(heading);
        r.rollDeg = onGround ? std::nullopt : std::optional(roll);
        reports_.push_back(std::move(r));
    }

    Report id_;
    const GeneratorOptions& o_;
    const Field& f_;
    std::mt19937& rng_;
    double t_;
    double start_;
    double every_;
    std::vector<Report> reports_;
};

double lf_uniform(std::mt19937& rng, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}

void lf_arrival(Flight& b, const Field& f, std::mt19937& rng, std::optional<double> fromNm) {
    const Use& rw = f.arrival;
    const double vApp = lf_uniform(rng, 137.0, 148.0);
    const double drawn = lf_uniform(rng, 12.0, 16.0);
    const double startNm = fromNm.value_or(drawn);
    b.pos = rw.at(-startNm * kMetresPerNm, 0.0);
    b.heading = b.track = rw.heading;
    b.gs = 180.0;
    b.onGround = false;
    const auto glideFt = [&](Xy p) {
        return kThresholdCrossingFt - rw.alongOf(p) * kFeetPerMetre * kTanGlide;
    };
    double height = glideFt(b.pos);
    b.altFt = f.elevationFt + height;
    b.vs = -b.gs * kMpsPerKt * 60.0 * kFeetPerMetre * kTanGlide;
    bool flare = false;
    for (int n = 0; n < 3600 && height > 0.0; ++n) {
        b.move();
        if (!flare) {
            b.gs = std::max(vApp, b.gs - 0.5);
            const double next = glideFt(b.pos);
            flare = next <= kFlareFt;
            b.vs = (next - height) * 60.0;
            height = next;
        } else {  // the flare: the sink rate falls with the height to a firm touchdown's
            b.gs -= 1.0;
            b.vs = -(150.0 + 20.0 * height);
            height += b.vs / 60.0;
        }
        b.onGround = height <= 0.0;
        b.altFt = f.elevationFt + std::max(0.0, height);
        b.tick();
    }
    b.onGround = true;
    b.vs = 0.0;
    // Roll-out: braking so as to leave the runway at taxi speed before its end.
    const double touchdown = rw.alongOf(b.pos);
    const double exitAt = std::clamp(touchdown + 1700.0, touchdown + 600.0,
                                     std::max(touchdown + 600.0, rw.landingLength() - 300.0));
    for (int i = 0; i < 3; ++i) {
        b.gs -= 1.0;
        b.step();
    }
    const double v0 = b.gs * kMpsPerKt;
    const double v1 = 25.0 * kMpsPerKt;
    const double room = std::max(100.0, exitAt - rw.alongOf(b.pos));
    const double braking = std::clamp((v0 * v0 - v1 * v1) / (2.0 * room), 0.8, 2.6) / kMpsPerKt;
    while (b.gs > 25.0) {
        b.gs = std::max(25.0, b.gs - braking);
        b.step();
    }
    while (rw.alongOf(b.pos) < exitAt - 60.0 && rw.alongOf(b.pos) < rw.landingLength() - 150.0) {
        b.gs = std::max(18.0, b.gs - 1.0);
        b.step();
    }
    // Off the runway on the side of the stand, and nose-in to the stand.
    const Xy stand = lf_stand(f, rng);
    const double standHeading = lf_standHeading(f, stand);
    const double side = rw.sideOf(stand) >= 0.0 ? 1.0 : -1.0;
    const double along = rw.alongOf(b.pos);
    b.taxi({rw.at(along + 90.0, 45.0 * side), rw.at(along + 170.0, 160.0 * side),
            lf_add(stand, lf_unit(standHeading), -70.0), stand},
           18.0);
    b.wait(120);  // parked, still reporting
}

void lf_departure(Flight& b, const Field& f, std::mt19937& rng) {
    const Use& rw = f.departure;
    b.pos = lf_stand(f, rng);
    b.heading = b.track = lf_standHeading(f, b.pos);
    b.onGround = true;
    b.altFt = f.elevationFt;
    b.wait(static_cast<int>(lf_uniform(rng, 30.0, 90.0)));
    // Push-back: tail first and slowly, the nose swinging round.
    const double swing = lf_uniform(rng, 0.0, 1.0) < 0.5 ? -2.0 : 2.0;
    for (int i = 0; i < 40; ++i) {
        b.gs = std::min(2.5, b.gs + 1.0);
        b.heading = lf_wrap360(b.heading + swing);
        b.track = b.heading + 180.0;
        b.step();
    }
    b.track = b.heading;
    b.wait(20);
    // Taxi to the holding point beside the runway's beginning, then line up.
    const double side = rw.sideOf(b.pos) >= 0.0 ? 1.0 : -1.0;
    const double begin = rw.alongOf(rw.start);
    b.taxi({rw.at(begin + 90.0, 100.0 * side)}, 18.0);
    b.wait(static_cast<int>(lf_uniform(rng, 15.0, 40.0)));
    b.taxi({rw.at(begin + 30.0, 45.0 * side), rw.at(begin + 70.0, 0.0)}, 8.0);
    for (int i = 0; i < 20 && std::abs(lf_turn(b.heading, rw.heading)) > 1.0; ++i) {
        const Xy ahead = rw.at(rw.alongOf(b.pos) + 150.0, 0.0);
        b.gs = 4.0;
        b.turnToward(lf_headingOf(lf_sub(ahead, b.pos)), 10.0);
        b.track = b.heading;
        b.step();
    }
    b.heading = b.track = rw.heading;
    b.wait(static_cast<int>(lf_uniform(rng, 8.0, 20.0)));
    // Take-off roll, rotation, lift-off and the climb along the runway's axis.
    const double vRotate = lf_uniform(rng, 140.0, 146.0);
    for (int i = 0; b.gs < vRotate; ++i) {
        b.gs += i < 4 ? 2.5 : 4.2;
        b.step();
    }
    b.gs += 3.5;
    b.steps(2);
    b.onGround = false;
    b.altFt = f.elevationFt;
    b.roll = 0.0;
    for (const double vs : {600.0, 1400.0, 2100.0}) {
        b.vs = vs;
        b.gs += 2.0;
        b.step();
    }
    b.vs = lf_uniform(rng, 2200.0, 2800.0);
    while (lf_length(b.pos) < 20.0 * kMetresPerNm) {
        b.gs = std::min(250.0, b.gs + (b.gs < 180.0 ? 1.5 : 0.7));
        if (b.altFt > f.elevationFt + 10000.0) {
            b.vs = 1500.0;
        }
        b.step();
    }
}

void lf_overflight(Flight& b, const Field& f, std::mt19937& rng) {
    (void)f;
    const double brg = lf_uniform(rng, 0.0, 360.0);
    b.pos = lf_add(lf_add({}, lf_unit(brg + 180.0), 30.0 * kMetresPerNm), lf_unit(brg + 90.0),
                   lf_uniform(rng, -10.0, 10.0) * kMetresPerNm);
    b.altFt = std::round(lf_uniform(rng, 25.0, 37.99) - 0.5) * 1000.0;
    b.onGround = false;
    b.vs = 0.0;
    b.gs = lf_uniform(rng, 430.0, 480.0);
    b.heading = b.track = brg;
    b.steps(200);
    // A gentle turn of 30 degrees, rolling in and out.
    const double dir = lf_uniform(rng, 0.0, 1.0) < 0.5 ? -1.0 : 1.0;
    for (int i = 0; i < 36; ++i) {
        const double rate = i < 3 ? 0.3 * (i + 1) : (i >= 33 ? 0.3 * (36 - i) : 0.95);
        b.roll = -dir * rate * 16.0;  // positive to the left, as RealTraffic sends it
        b.heading = b.track = lf_wrap360(b.heading + dir * rate);
        b.step();
    }
    b.roll = 0.0;
    b.steps(250);
}

}  // namespace

RunwaysInUse chooseRunways(const GeneratorOptions& o) {
    const Field f = lf_field(o);
    return {f.icao, f.elevationFt, f.arrival.named, f.departure.named};
}

Scenario generateScenario(const GeneratorOptions& o) {
    std::mt19937 rng(o.seed);
    struct Type {
        const char* code;
        const char* category;
    };
    static constexpr std::array<Type, 8> kTypes{{{"A320", "A3"},
                                                 {"A20N", "A3"},
                                                 {"B738", "A3"},
                                                 {"A333", "A5"},
                                                 {"B77W", "A5"},
                                                 {"E190", "A3"},
                                                 {"CRJ9", "A3"},
                                                 {"DH8D", "A2"}}};
    static constexpr std::array<const char*, 6> kAirlines{"SWR", "EZS", "DLH", "AUA", "BAW", "AFR"};
    static constexpr std::array<const char*, 8> kAirports{"LHR", "CDG", "FRA", "AMS",
                                                          "VIE", "JFK", "MAD", "BCN"};
    std::uniform_int_distribution<int> pick(0, 1 << 20);
    std::set<std::uint32_t> ids;
    const Field field = lf_field(o);
    Scenario sc;
    sc.name = fmt::format("generated at {} (arrivals {}, departures {})",
                          field.icao.empty() ? std::string("the user position") : field.icao,
                          field.arrival.named.name, field.departure.named.name);
    sc.center = o.airport;
    sc.elevationFt = field.elevationFt;
    for (int k = 0; k < o.flights; ++k) {
        Report id;
        do {
            id.id = 0x4B0000u + static_cast<std::uint32_t>(pick(rng) % 0xFFFF);
        } while (!ids.insert(id.id).second);
        const Type& type = kTypes[static_cast<std::size_t>(pick(rng)) % kTypes.size()];
        id.type = type.code;
        id.category = type.category;
        id.callsign = fmt::format("{}{}", kAirlines[static_cast<std::size_t>(pick(rng)) % 6],
                                  100 + pick(rng) % 900);
        id.registration = fmt::format("HB-J{}{}", static_cast<char>('A' + pick(rng) % 26),
                                      static_cast<char>('A' + pick(rng) % 26));
        id.origin = kAirports[static_cast<std::size_t>(pick(rng)) % 8];
        id.destination = kAirports[static_cast<std::size_t>(pick(rng)) % 8];
        const double start = o.flights > 0 ? o.spreadSeconds * k / o.flights : 0.0;
        Flight b(id, start, o, field, rng);
        switch (k % 3) {
            case 0:
                lf_arrival(b, field, rng, o.approachStartNm);
                break;
            case 1:
                lf_departure(b, field, rng);
                break;
            default:
                lf_overflight(b, field, rng);
                break;
        }
        auto reports = b.take();
        sc.reports.insert(sc.reports.end(), std::make_move_iterator(reports.begin()),
                          std::make_move_iterator(reports.end()));
    }
    std::stable_sort(sc.reports.begin(), sc.reports.end(),
                     [](const Report& a, const Report& b) { return a.t < b.t; });
    return sc;
}

}  // namespace wnd::rtstandin
