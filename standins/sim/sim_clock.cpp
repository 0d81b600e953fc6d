// SimCore's time: frames (movement, the Frame and 1sec events, periodic data, trace
// samples), the simulator's state and the scenario's timeline.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "standins/sim/sim_core.h"
#include "util/geodesy.h"

namespace wnd::simstandin {

namespace {

constexpr double kFeetPerSecondPerKnot = 1.6878098571011957;

nlohmann::ordered_json positionFields(const SimObject& o) {
    return {{"oid", o.id},
            {"lat", o.lat},
            {"lon", o.lon},
            {"alt_ft", o.altFt},
            {"pitch_deg", o.pitchRad * kRad2Deg},
            {"bank_deg", o.bankRad * kRad2Deg},
            {"hdg_deg", o.headingDeg()},
            {"vs_fps", o.vsFps},
            {"tas_kt", o.tasKt},
            {"on_ground", o.onGround()}};
}

const char* stateName(SimState s) {
    switch (s) {
        case SimState::Running:
            return "running";
        case SimState::Paused:
            return "paused";
        case SimState::Quit:
            return "quit";
    }
    return "?";
}

}  // namespace

void SimCore::markStarted() {
    MutexLock lock(mu_);
    trace("state", {{"sim", stateName(state_)}});
    if (trace_) {
        trace_->flush();
    }
}

void SimCore::sendSystemEvent(SysEvent kind, DWORD data) {
    for (auto& [id, c] : clients_) {
        if (!c.opened || c.closing) {
            continue;
        }
        for (const auto& [ev, sub] : c.subscriptions) {
            if (sub.kind != kind || !sub.on) {
                continue;
            }
            switch (kind) {
                case SysEvent::ObjectAdded:
                case SysEvent::ObjectRemoved:
                    scwire::gf_encodeRecvEventAddRemove(
                        c.pending, ev, data, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT, c.protocol);
                    break;
                case SysEvent::FlightLoaded:
                    scwire::gf_encodeRecvEventFilename(c.pending, ev, "Flights\\Wendle-sim.fxml", 0,
                                                       c.protocol);
                    break;
                case SysEvent::Frame:
                    scwire::gf_encodeRecvEventFrame(
                        c.pending, ev, static_cast<float>(scenario_.frameRate), 1.0f, c.protocol);
                    break;
                default:
                    scwire::gf_encodeRecvEvent(c.pending, SIMCONNECT_UNUSED, ev, data, c.protocol);
                    break;
            }
        }
    }
}

void SimCore::setStateLocked(SimState s) {
    if (s == state_ || state_ == SimState::Quit) {
        return;
    }
    state_ = s;
    trace("state", {{"sim", stateName(s)}});
    log(fmt::format("simulator {}", stateName(s)));
    switch (s) {
        case SimState::Running:
            sendSystemEvent(SysEvent::Sim, 1);
            sendSystemEvent(SysEvent::SimStart, 0);
            sendSystemEvent(SysEvent::Pause, 0);
            sendSystemEvent(SysEvent::Unpaused, 0);
            break;
        case SimState::Paused:
            sendSystemEvent(SysEvent::Sim, 0);
            sendSystemEvent(SysEvent::SimStop, 0);
            sendSystemEvent(SysEvent::Pause, 1);
            sendSystemEvent(SysEvent::Paused, 0);
            break;
        case SimState::Quit:
            for (auto& [id, c] : clients_) {
                scwire::gf_encodeRecvQuit(c.pending, c.protocol);
                c.closing = true;
            }
            quit_ = true;
            break;
    }
}

void SimCore::perform(const TimelineEntry& entry) {
    MutexLock lock(mu_);
    performLocked(entry);
    flushLocked();
    if (trace_) {
        trace_->flush();
    }
}

void SimCore::performLocked(const TimelineEntry& e) {
    if (state_ == SimState::Quit) {
        return;
    }
    trace("timeline", {{"do", gf_actionName(e.action)}});
    switch (e.action) {
        case Action::Pause:
            setStateLocked(SimState::Paused);
            break;
        case Action::Resume:
            setStateLocked(SimState::Running);
            break;
        case Action::FlightLoaded:
            sendSystemEvent(SysEvent::FlightLoaded, 0);
            break;
        case Action::PositionChanged:
            sendSystemEvent(SysEvent::PositionChanged, 0);
            break;
        case Action::Quit:
            setStateLocked(SimState::Quit);
            break;
        case Action::FailRequests:
            // The link breaks under every client, as if the server had lost them.
            for (auto& [id, c] : clients_) {
                c.closing = true;
                c.closeRequested = true;
                c.pending.clear();
                c.out->drop();
            }
            log("dropped every client");
            break;
        case Action::MoveUser:
            user_.lat = e.lat.value_or(user_.lat);
            user_.lon = e.lon.value_or(user_.lon);
            user_.userOnGround = e.onGround.value_or(user_.userOnGround);
            if (e.altFt) {
                user_.altFt = *e.altFt;
            } else if (e.onGround.value_or(false)) {
                user_.altFt = user_.groundAltFt + kRestHeightFt;
            }
            if (e.headingDeg) {
                user_.headingRad = *e.headingDeg * kDeg2Rad;
            }
            if (e.groundSpeedKt) {
                user_.gsKt = user_.tasKt = *e.groundSpeedKt;
            }
            break;
    }
}

void SimCore::advance(double dt) {
    simSeconds_ += dt;
    if (user_.gsKt > 0.0) {
        const LatLon p = gf_destinationPoint({user_.lat, user_.lon}, user_.headingRad,
                                             user_.gsKt * kFeetPerSecondPerKnot * dt);
        user_.lat = p.lat;
        user_.lon = p.lon;
    }
    // Only what nobody holds still moves by itself: straight on at its speed.
    for (auto& [id, o] : objects_) {
        if (!o.freezeLatLon && o.tasKt > 0.0) {
            const LatLon p = gf_destinationPoint({o.lat, o.lon}, o.headingRad,
                                                 o.tasKt * kFeetPerSecondPerKnot * dt);
            o.lat = p.lat;
            o.lon = p.lon;
        }
        if (!o.freezeAlt && o.vsFps != 0.0) {
            o.altFt = std::max(o.altFt + o.vsFps * dt, o.groundAltFt + kRestHeightFt);
        }
    }
}

void SimCore::sample(double t) {
    if (!trace_) {
        return;
    }
    trace_->write(t, "user",
                  {{"lat", user_.lat},
                   {"lon", user_.lon},
                   {"alt_ft", user_.altFt},
                   {"hdg_deg", user_.headingDeg()},
                   {"gs_kt", user_.gsKt},
                   {"on_ground", user_.onGround()}});
    for (auto& [id, o] : objects_) {
        if (o.positionSet) {
            o.positionSet = false;
            trace_->write(t, "pos", positionFields(o));
        }
    }
}

void SimCore::frame() {
    MutexLock lock(mu_);
    const double t = elapsedSeconds();
    while (nextTimeline_ < scenario_.timeline.size() && scenario_.timeline[nextTimeline_].t <= t &&
           state_ != SimState::Quit) {
        performLocked(scenario_.timeline[nextTimeline_++]);
    }
    // A stalled frame does not make the world jump.
    const double dt = std::clamp(t - lastFrame_, 0.0, 1.0);
    lastFrame_ = t;
    if (state_ == SimState::Running) {
        advance(dt);
        sendSystemEvent(SysEvent::Frame, 0);
        const auto second = static_cast<std::int64_t>(std::floor(simSeconds_));
        const bool tick = second > lastSecond_;
        lastSecond_ = second;
        serviceRequests(tick);
        if (tick) {
            sendSystemEvent(SysEvent::OneSec, 0);
        }
    }
    if (trace_ && t >= nextSample_) {
        sample(t);
        nextSample_ += scenario_.traceIntervalS;
        if (nextSample_ < t) {
            nextSample_ = t + scenario_.traceIntervalS;
        }
    }
    flushLocked();
    if (trace_) {
        trace_->flush();
    }
}

}  // namespace wnd::simstandin
