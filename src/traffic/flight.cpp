// The flight logic: airborne segments (altitude, pitch, heading, bank), the configuration
// in the air, lift-off and the flare.
#include <algorithm>
#include <cmath>

#include "traffic/engine.h"
#include "traffic/ground.h"
#include "traffic/motion.h"

namespace wnd {

namespace {
constexpr int kMinSegmentCycles = 25;
constexpr double kCloseToParkNm = 10.0;
constexpr double kGravity = 9.80665;
constexpr double kMpsPerKt = 0.514444;
// Cycles over which the nose comes up in the flare and down after touchdown.
constexpr double kFlarePitchCycles = 150.0;
constexpr double kFlarePitch = -4.0 * kDeg2Rad;
// Below this height a descent ends in a touchdown, not a dive: the sink stays believable.
constexpr double kLowHeightFt = 150.0;
constexpr double kLowSinkStep = 0.1;  // feet per cycle, 600 fpm
constexpr double kMaxNoseUp = -20.0 * kDeg2Rad;
constexpr double kMaxNoseDown = 10.0 * kDeg2Rad;
}  // namespace

double LiveEngine::derivedRate(const LiveAircraft& ac, const StreamPoint& a,
                               const StreamPoint& b) const {
    const double g = groundLevel(ac);
    if (!std::isnan(g) && ac.altitude - g <= 100.0) {
        return -600.0;
    }
    const double qnh = world_.currentQnh();
    const double rate = (a.verticalRate + b.verticalRate) / 2.0 - (qnh - 1013.25) * 6.0;
    return std::min(rate, -601.0);
}

void LiveEngine::airborneSegment(LiveAircraft& ac, const StreamPoint& cur, StreamPoint& next) {
    if (ac.phase != FlightPhase::TakeOff && ac.phase != FlightPhase::Flying) {
        setPhase(ac, FlightPhase::Flying);
    }
    const CategoryLimits& lim = gf_limits(ac.categoryId());
    const std::int32_t n = std::max(kMinSegmentCycles, next.dueCycle - cycle());
    const double g = groundLevel(ac);
    const double height = std::isnan(g) ? ac.aboveGroundFt : ac.altitude - g;

    if (ac.flareStage == 0) {
        if (!cur.airborne && next.airborne) {
            liftOff(ac);
            ac.altitudeStep = std::clamp((next.altitude - ac.altitude) / n, 0.0, lim.maxAltStep);
        } else if (!cur.airborne && !next.airborne) {
            // Both reports on the ground while the aircraft is still in the air.
            next.verticalRate = derivedRate(ac, cur, next);
            ac.altitudeStep = next.verticalRate / 6000.0;
        } else if (cur.airborne && !next.airborne) {
            const int qnh = world_.currentQnh();
            if (qnh > 1013 || !park_) {
                next.verticalRate = qnh <= 1013 ? -601.0 : derivedRate(ac, cur, next);
                ac.altitudeStep = next.verticalRate / 6000.0;
            } else {
                ac.altitudeStep = (park_->elevationFt + ac.staticCgFt - ac.altitude) / n;
            }
        } else if (!ac.landingSequence || next.altitude != cur.altitude || height > 1000.0 ||
                   cur.verticalRate + next.verticalRate > 100.0) {
            double step = (next.altitude - ac.altitude) / n;
            if (height < 1000.0 && std::abs(step) <= 0.2 && step > 0.0) {
                step = 0.2;
            }
            ac.altitudeStep = std::clamp(step, -lim.maxAltStep, lim.maxAltStep);
        } else {
            ac.altitudeStep = derivedRate(ac, cur, next) / 6000.0;
        }
        // Near the ground a descent is a believable approach, whatever the data say.
        if (!std::isnan(height) && height < kLowHeightFt) {
            ac.altitudeStep = std::max(ac.altitudeStep, -kLowSinkStep);
        }
        ac.altitudeStep = std::clamp(ac.altitudeStep, -lim.maxAltStep, lim.maxAltStep);
        next.verticalRate = ac.altitudeStep * 6000.0;
    }

    if (ac.phase != FlightPhase::TakeOff) {
        const double v = std::clamp(next.verticalRate, -3000.0, 2400.0);
        const double target = (-3.0 - (v < 0.0 ? v / 2.0 : v) / 600.0 * 2.2) * kDeg2Rad;
        ac.pitchStep = std::clamp((target - ac.pitch) / n, -lim.maxPitchStep, lim.maxPitchStep);
    }

    const double limitFt = ac.landingSequence ? 2000.0 : 1000.0;
    double turn = gf_wrapPi(ac.targetBearing - ac.heading);
    if (next.headingGiven && !std::isnan(height) && height < limitFt) {
        turn = gf_wrapPi(next.heading - ac.heading);
    }
    ac.headingStep = std::clamp(turn / n, -lim.maxAirTurn, lim.maxAirTurn);
    ac.steering = false;

    if (next.bankGiven) {
        ac.targetBank = std::clamp(next.bank, -lim.maxBank, lim.maxBank);
    } else {
        // The bank of a coordinated turn at this speed and turn rate.
        const double rate = ac.headingStep * 100.0;
        ac.targetBank = std::clamp(std::atan(ac.trueAirspeed * kMpsPerKt * rate / kGravity),
                                   -lim.maxBank, lim.maxBank);
    }
    ac.bankStep = std::max(std::abs(ac.targetBank - ac.bank) / n, 0.0002);

    configureInAir(ac, next);
}

void LiveEngine::configureInAir(LiveAircraft& ac, const StreamPoint& next) {
    AiCommands& cmd = world_.commands();
    AiControls& ctl = ac.controls;
    const bool rotor = ac.categoryId() == category::kRotorcraft;
    const double g = groundLevel(ac);
    const double height = std::isnan(g) ? ac.aboveGroundFt : ac.altitude - g;
    const double vr = next.verticalRate;
    if (ac.altitude >= 10000.0) {
        if (!ac.highConfigured) {
            ac.highConfigured = true;
            cmd.setLights(ctl, {.nav = true,
                                .beacon = true,
                                .landing = false,
                                .taxi = false,
                                .strobes = false,
                                .logo = false,
                                .cabin = true});
            cmd.setThrottle(ctl, rotor ? 4 : 3);
            cmd.setGear(ctl, false);
            cmd.setFlaps(ctl, 0);
        }
        return;
    }
    ac.highConfigured = false;
    if (!ac.firstAirborneDone) {
        ac.firstAirborneDone = true;
        cmd.setLights(ctl, {true, true, true, true, true, true, true});
    }
    const auto cat = ac.categoryId();
    const double cabinHeight =
        (cat == category::kBuzjets || cat == category::kLarge || cat == category::kHeavy) ? 2050.0
                                                                                          : 625.0;
    const bool close = park_ && gf_distanceNm(park_->position, {ac.lat, ac.lon}) <= kCloseToParkNm;
    if (std::isnan(height) || height > cabinHeight) {
        cmd.setCabinLight(ctl, true);
        ac.takeOffRoll = false;
        ac.landingSequence = false;
        if (ac.phase == FlightPhase::TakeOff) {
            setPhase(ac, FlightPhase::Flying);
        }
        if (rotor) {
            cmd.setThrottle(ctl, 4);
        } else if (ctl.throttleStep == 3 && vr <= -250.0) {
            cmd.setThrottle(ctl, 2);
        } else if (ctl.throttleStep == 4 && vr > 400.0) {
            cmd.setThrottle(ctl, 3);
        }
        if (ac.altitude < 2400.0 && vr <= 100.0) {
            if (ac.altitude < 2000.0) {
                if (ctl.flapsStep < 2) {
                    cmd.setFlaps(ctl, ctl.flapsStep + 1);
                } else if (ctl.flapsStep > 3) {
                    cmd.setFlaps(ctl, 1);
                }
            } else if (ctl.flapsStep == 0 || ctl.flapsStep > 3) {
                cmd.setFlaps(ctl, 1);
            }
        } else if (ac.altitude >= 2400.0) {
            cmd.setGear(ctl, false);
            cmd.setFlaps(ctl, 0);
        }
        return;
    }
    cmd.setCabinLight(ctl, false);
    if (vr <= -250.0 && close && !ac.landingSequence) {
        cmd.setThrottle(ctl, rotor ? 4 : 1);
        cmd.setFlaps(ctl, 3);
        cmd.setGear(ctl, true);
        ac.landingSequence = true;
        ac.climbConfigured = false;
        freeStand(ac);
        ac.groundStage = 1;
        ac.timerA = 3000;
        ac.timerB = ac.takeOffRoll ? 5000 : 3000;
    } else if ((vr > 600.0 || (ac.landingSequence && !close)) && !ac.climbConfigured) {
        ac.climbConfigured = true;
        ac.timerA = std::max(1000, ac.timerA - 100);
        ac.timerB = std::max(1000, ac.timerB - 100);
        cmd.setThrottle(ctl, 4);
        cmd.setGear(ctl, false);
        cmd.setFlaps(ctl, 0);
        ac.landingSequence = false;
        ac.rollOutPending = false;
        ac.pitchLowering = false;
    }
}

void LiveEngine::liftOff(LiveAircraft& ac) {
    setPhase(ac, FlightPhase::TakeOff);
    const CategoryLimits& lim = gf_limits(ac.categoryId());
    ac.pitchStep = std::clamp((lim.takeOffPitch - ac.pitch) / 300.0, -lim.maxPitchStep * 4,
                              lim.maxPitchStep * 4);
    ac.targetBank = 0.0;
    ac.headingStep = 0.0;
    ac.steering = false;
    if (!ac.takeOffRoll) {
        takeOffStart(ac);
    }
    if (ac.rollOutPending || ac.rollOut) {
        ac.rollOutPending = false;
        ac.rollOut = false;
        world_.commands().setThrottle(ac.controls, 4);
        world_.commands().setSpoilers(ac.controls, false);
        world_.commands().setFlaps(ac.controls, 1);
    }
    ac.touchdown = false;
    ac.groundStage = 0;
    ac.pitchLowering = false;
    ++figures_.tookOff;
}

void LiveEngine::flare(LiveAircraft& ac) {
    if (ac.pitchLowering) {
        ac.pitch += ac.pitchStep;
        if ((ac.pitchStep >= 0.0 && ac.pitch >= ac.staticPitch) ||
            (ac.pitchStep < 0.0 && ac.pitch <= ac.staticPitch)) {
            ac.pitch = ac.staticPitch;
            ac.pitchLowering = false;
            ac.pitchStep = 0.0;
            ac.flareStage = 0;
        }
        ac.bank += ac.bankStep;
        if (std::abs(ac.bank) < std::abs(ac.bankStep)) {
            ac.bank = 0.0;
        }
        return;
    }
    if (ac.touchdown) {
        return;
    }
    const double g = groundLevel(ac);
    const double height = std::isnan(g) ? ac.aboveGroundFt : ac.altitude - g;
    if (ac.phase != FlightPhase::TakeOff && ac.landingSequence && !std::isnan(height) &&
        height <= 400.0) {
        const double cg = ac.staticCgFt;
        double vr = 0.0;
        if (ac.flareStage == 0 && height <= cg + 30.0) {
            ac.pitchStep = (kFlarePitch - ac.pitch) / kFlarePitchCycles;
            ac.altitudeStep = -0.1;
            vr = -601.0;
            ac.flareStage = 1;
        } else if (ac.flareStage == 1 && height <= cg + 20.0) {
            ac.altitudeStep = -0.075;
            vr = -450.0;
            ac.flareStage = 2;
        } else if (ac.flareStage == 2 && height <= cg + 10.0) {
            world_.commands().setThrottle(ac.controls, 0);
            ac.altitudeStep = -0.05;
            vr = -300.0;
            ac.flareStage = 3;
        } else if (ac.flareStage == 3 && height <= cg + 3.0) {
            ac.altitudeStep = -0.025;
            vr = -150.0;
            ac.flareStage = 4;
        }
        if (vr != 0.0 && !ac.stream.empty()) {
            ac.stream.front().verticalRate = vr;
            ac.verticalSpeed = vr / 60.0;
        }
    }
    if (ac.flareStage > 0) {
        ac.pitch = std::max(ac.pitch + ac.pitchStep, kFlarePitch);
    } else {
        ac.pitch += ac.pitchStep;
    }
    if (ac.phase == FlightPhase::TakeOff) {
        ac.pitch = std::max(ac.pitch, gf_limits(ac.categoryId()).takeOffPitch);
    }
    ac.pitch = std::clamp(ac.pitch, kMaxNoseUp, kMaxNoseDown);
    ac.altitude += ac.altitudeStep;
    if (ac.flareStage == 0 && !ac.stream.empty() && ac.altitudeStep != 0.0) {
        ac.verticalSpeed = ac.altitudeStep * 100.0;
    }
}

}  // namespace wnd
