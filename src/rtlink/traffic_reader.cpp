#include "rtlink/traffic_reader.h"

#include <cmath>
#include <exception>
#include <stdexcept>

#include "board/status_board.h"
#include "rtlink/line_fields.h"
#include "settings/settings.h"
#include "util/log.h"
#include "util/strings.h"

namespace wnd {

namespace {

// Field numbers of a traffic line as this reader reads them.
enum Field : std::size_t {
    kId = 1,
    kLat = 2,
    kLon = 3,
    kAltitude = 4,
    kVerticalRate = 5,
    kTrack = 7,
    kGroundSpeed = 8,
    kCallsign = 9,
    kModel = 10,
    kRegistration = 11,
    kOrigin = 12,
    kDestination = 13,
    kTimestamp = 14,
    kMessageType = 17,
    kTrueAirspeed = 20,
    kRoll = 23,
    kTrueHeading = 25,
    kCategory = 28,
};

constexpr double kNoParkAirportReferenceFt = -1000.0;
constexpr double kGroundSearchNm = 5.0;
constexpr std::size_t kMaxRegistrationLength = 12;

[[noreturn]] void lf_fail(std::string message) {
    throw std::runtime_error(std::move(message));
}

// A finite number or the error "{name}:{field}". Infinity and not-a-number read as
// numbers but would poison the engine's arithmetic, so they count as bad fields too.
double lf_parse(std::string_view field, std::string_view name) {
    const auto v = gf_readLeadingNumber(field);
    if (!v || !std::isfinite(*v)) {
        lf_fail(fmt::format("{}:{}", name, field));
    }
    return *v;
}

std::string_view lf_nullToEmpty(std::string_view s) {
    return s == "null" ? std::string_view() : s;
}

bool lf_hasAt(std::string_view s) {
    return s.find('@') != std::string_view::npos;
}

double lf_estimatedTas(double altitudeFt) {
    if (altitudeFt <= 2000.0) {
        return 180.0;
    }
    if (altitudeFt <= 5000.0) {
        return 220.0;
    }
    if (altitudeFt <= 10000.0) {
        return 250.0;
    }
    if (altitudeFt <= 20000.0) {
        return 350.0;
    }
    return 430.0;
}

}  // namespace

TrafficReader::TrafficReader(TrafficQueue& queue)
    : UdpReader("Traffic Reader", {&gf_board().trafficReader, &gf_board().weatherReader}),
      queue_(queue) {
    fields_.reserve(64);
}

void TrafficReader::setUserPosition(LatLon position) {
    MutexLock lock(inputsMu_);
    inputs_.user = position;
}

LatLon TrafficReader::userPosition() const {
    MutexLock lock(inputsMu_);
    return inputs_.user;
}

void TrafficReader::setParkAirport(std::optional<ParkAirportRef> airport) {
    MutexLock lock(inputsMu_);
    inputs_.park = airport;
}

void TrafficReader::setTrafficRadius(double nm) {
    MutexLock lock(inputsMu_);
    inputs_.radiusNm = nm;
}

double TrafficReader::trafficRadius() const {
    MutexLock lock(inputsMu_);
    return inputs_.radiusNm;
}

TrafficReader::Inputs TrafficReader::inputs() const {
    MutexLock lock(inputsMu_);
    return inputs_;
}

void TrafficReader::setCycleSource(std::function<std::int32_t()> source) {
    cycleSource_ = std::move(source);
}

void TrafficReader::clearCallsigns() {
    MutexLock lock(callsignsMu_);
    callsigns_.clear();
}

std::set<std::string> TrafficReader::callsigns() const {
    MutexLock lock(callsignsMu_);
    return callsigns_;
}

void TrafficReader::resetShared() {
    qnh_.store(1013);
    lastTraffic_.store(0.0);
    clearCallsigns();
}

void TrafficReader::onStopped() {
    gf_board().trafficReader.store(LinkState::Hidden);
    gf_requestRepaint();
    badLines_.flush();
    gf_logLine("Traffic Reader has stopped");
}

void TrafficReader::onDatagram(std::string_view datagram) {
    try {
        if (datagram.find(" VEH") != std::string_view::npos) {
            return;  // a ground vehicle
        }
        // A line end after the last field is no part of it.
        while (!datagram.empty() && (datagram.back() == '\n' || datagram.back() == '\r')) {
            datagram.remove_suffix(1);
        }
        gf_splitFields(datagram, fields_);
        processLineSub(fields_, datagram);
    } catch (const std::exception& e) {
        try {
            if (badLines_.admit()) {
                gf_logLine("exception in processLineSub: {}", e.what());
            }
        } catch (...) {
        }
    } catch (...) {
        try {
            if (badLines_.admit()) {
                gf_logLine("exception in processLineSub: {}", "Unknown exception");
            }
        } catch (...) {
        }
    }
}

bool TrafficReader::processLineSub(std::span<const std::string_view> f, std::string_view datagram) {
    if (f.size() < kFieldsRead) {
        lf_fail(fmt::format("too few fields: {}", f.size()));
    }
    // The order of the checks matters: each one may end the line, and some only hold
    // for what passed the ones before (the ground rules need the ground speed).
    const Inputs in = inputs();

    // Counts as traffic even when the line is dropped below.
    const double timestamp = lf_parse(f[kTimestamp], "timestamp");
    lastTraffic_.store(timestamp);

    const LatLon pos{lf_parse(f[kLat], "lat"), lf_parse(f[kLon], "lon")};
    if (!(pos.lat >= -90.0 && pos.lat <= 90.0 && pos.lon >= -180.0 && pos.lon <= 180.0) ||
        (std::abs(pos.lat) <= 0.0001 && std::abs(pos.lon) <= 0.0001)) {
        lf_fail(fmt::format("invalid lalo: {:.6f},{:.6f}", pos.lat, pos.lon));
    }

    if (gf_distanceNm(in.user, pos) > in.radiusNm) {
        return false;
    }

    const std::string_view registration = lf_nullToEmpty(f[kRegistration]);
    if (registration.size() > kMaxRegistrationLength) {
        return false;
    }

    if (collecting_.load()) {
        const std::string_view cs = f[kCallsign];
        if (!cs.empty() && cs != "null" && !lf_hasAt(cs)) {
            MutexLock lock(callsignsMu_);
            if (callsigns_.size() < kMaxCallsigns) {
                callsigns_.emplace(cs);
            }
        }
    }

    std::string_view model = f[kModel];
    if (model == "null" || model == "0" || model == "ZZZZ") {
        model = {};
    }
    if (model.empty()) {
        return false;
    }

    const std::string_view category = f[kCategory];
    if (!category.empty() && category != "null") {
        if (category == "B1" || category == "B2" || category == "B4" || category == "C1" ||
            category == "C2" || gf_isNonAircraftType(model)) {
            return false;
        }
    }

    bool headingValid = false;
    double headingDeg = 0.0;
    if (f[kMessageType] == "adsb_icao") {
        double th = lf_parse(f[kTrueHeading], "trueheading");
        if (th == 0.0) {
            th = 360.0;
        }
        if (th > 360.0) {
            lf_fail(fmt::format("trueheading: {:.2f}", th));
        }
        if (th > 0.0) {
            headingValid = true;
            headingDeg = th;
        }
    }

    const auto id = gf_readLeadingDigits(f[kId]);
    if (!id) {
        lf_fail(fmt::format("hexid incorrect {}", f[kId]));
    }
    if (*id <= 10000) {
        return false;
    }

    const double groundSpeed = lf_parse(f[kGroundSpeed], "gs");

    const auto altRead = gf_readLeadingNumber(f[kAltitude]);
    if (!altRead || !std::isfinite(*altRead)) {
        lf_fail(fmt::format("altitude {} incorrect, from: {}", f[kAltitude], datagram));
    }
    double altitude = *altRead;
    if (altitude <= 0.0 || groundSpeed <= 35.0) {
        altitude = 0.0;
    } else if (altitude < 14000.0) {
        const double reference = in.park ? in.park->elevationFt : kNoParkAirportReferenceFt;
        const double height = altitude - reference;
        if (height <= 0.0 || (height <= 42.0 && groundSpeed <= 120.0) ||
            (height <= 84.0 && groundSpeed <= 80.0) || (height <= 108.0 && groundSpeed <= 43.0)) {
            altitude = 0.0;
        }
    }
    if (gs().AIRBORNE_ONLY.value()) {
        if (altitude == 0.0) {
            return false;
        }
        const double parkElevation = in.park ? in.park->elevationFt : 0.0;
        if (!(std::abs(altitude - parkElevation) > 300.0)) {
            return false;
        }
    }

    const bool airborne = altitude > 0.0;

    std::string_view callsign = lf_nullToEmpty(f[kCallsign]);
    if (lf_hasAt(callsign)) {
        callsign = {};
    }
    if (callsign == "ERARMTR1" || callsign == "AIRPORT1" || callsign == "00000000") {
        return false;
    }

    if (callsign.empty() && registration.empty()) {
        return false;
    }

    if (!airborne && (!in.park || gf_distanceNm(in.park->position, pos) > kGroundSearchNm)) {
        return false;
    }

    double track = headingValid ? headingDeg : 0.0;
    if (!f[kTrack].empty()) {
        const auto t = gf_readLeadingNumber(f[kTrack]);
        if (!t || !std::isfinite(*t)) {
            lf_fail(fmt::format("track incorrect {}", f[kTrack]));
        }
        track = (*t == 0.0 && headingValid) ? headingDeg : *t;
    }

    const double verticalRate = lf_parse(f[kVerticalRate], "vs");

    const std::string_view origin = lf_nullToEmpty(f[kOrigin]);
    const std::string_view destination = lf_nullToEmpty(f[kDestination]);

    // RealTraffic's roll is positive to the left.
    bool bankValid = false;
    double bank = 0.0;
    if (airborne) {
        const double roll = lf_parse(f[kRoll], "roll");
        if (roll != -1.0 && roll != 0.0) {
            bankValid = true;
            bank = -roll * kDeg2Rad;
        }
    }

    const auto tasRead = gf_readLeadingNumber(f[kTrueAirspeed]);
    if (!tasRead || !std::isfinite(*tasRead)) {
        lf_fail(fmt::format("TAS incorrect {}", f[kTrueAirspeed]));
    }
    const double tas = *tasRead == -1.0 ? lf_estimatedTas(altitude) : *tasRead;

    // Unsigned arithmetic: the cycle counter may wrap without undefined behaviour.
    const std::int32_t now = cycleSource_ ? cycleSource_() : 0;
    const auto due = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) +
                                               static_cast<std::uint32_t>(kDueDelayCycles));

    TrafficRecord r;
    r.model.assign(model);
    r.origin.assign(origin);
    r.destination.assign(destination);
    r.callsign.assign(callsign);
    r.registration.assign(registration);
    r.lat = pos.lat;
    r.lon = pos.lon;
    r.altitude = altitude;
    r.groundSpeed = groundSpeed;
    r.track = track;
    r.verticalRate = verticalRate;
    r.trueAirspeed = tas;
    r.dueCycle = due;
    r.airborne = airborne;
    r.bankValid = bankValid;
    r.bank = bank;
    r.trueHeadingValid = headingValid;
    r.trueHeading = headingDeg * kDeg2Rad;
    r.timestamp = timestamp;
    r.id = *id;

    return queue_.appendIfRunning(std::move(r));
}

}  // namespace wnd
