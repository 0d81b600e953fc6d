#include "sim/commands.h"

#include <array>

#include "settings/settings.h"
#include "util/log.h"

namespace wnd {

namespace {

constexpr std::uint32_t kRotorcraft = 5;  // TypeCategory of refdata/dbase.h

constexpr std::array<DWORD, 4> kFlapsData = {0, 3072, 10240, 16383};
constexpr std::array<DWORD, 5> kThrottleData = {0, 4914, 8191, 11468, 16383};
constexpr DWORD kSpoilersExtended = 16383;

DWORD lf_onOff(bool on) {
    return on ? 1u : 0u;
}

}  // namespace

void AiCommands::setLights(const AiControls& ac, const Lights& l) {
    const std::uint32_t o = ac.objectId;
    queue({{o, simid::kEvNavLights, lf_onOff(l.nav)},
           {o, simid::kEvBeaconLights, lf_onOff(l.beacon)},
           {o, simid::kEvLandingLights, lf_onOff(l.landing)},
           {o, simid::kEvTaxiLights, lf_onOff(l.taxi)},
           {o, simid::kEvStrobes, lf_onOff(l.strobes)},
           {o, simid::kEvLogoLights, lf_onOff(l.logo)},
           {o, simid::kEvCabinLights, lf_onOff(l.cabin)}});
}

void AiCommands::setNavLight(const AiControls& ac, bool on) {
    queue({{ac.objectId, simid::kEvNavLights, lf_onOff(on)}});
}

void AiCommands::setCabinLight(const AiControls& ac, bool on) {
    queue({{ac.objectId, simid::kEvCabinLights, lf_onOff(on)}});
}

void AiCommands::toggleAllLights(const AiControls& ac) {
    queue({{ac.objectId, simid::kEvAllLightsToggle, 0}});
}

void AiCommands::startEngines(const AiControls& ac) {
    queue({{ac.objectId, simid::kEvEngineStart, 0}});
}

void AiCommands::shutdownEngines(const AiControls& ac) {
    queue({{ac.objectId, simid::kEvEngineShutdown, 0}});
}

void AiCommands::setGear(const AiControls& ac, bool down) {
    if (ac.category != kRotorcraft) {
        queue({{ac.objectId, simid::kEvGear, lf_onOff(down)}});
    }
}

void AiCommands::setSpoilers(const AiControls& ac, bool extended) {
    if (ac.category != kRotorcraft) {
        queue({{ac.objectId, simid::kEvSpoilers, extended ? kSpoilersExtended : 0u}});
    }
}

void AiCommands::setFlaps(AiControls& ac, std::uint32_t step) {
    if (ac.category == kRotorcraft) {
        return;
    }
    if (step >= kFlapsData.size()) {
        gf_logWarning("gf_setFlaps: invalid flaps index");
        return;
    }
    if (step == ac.flapsStep) {
        return;
    }
    queue({{ac.objectId, simid::kEvFlaps, kFlapsData[step]}});
    ac.flapsStep = step;
}

void AiCommands::setThrottle(AiControls& ac, std::uint32_t step) {
    if (step >= kThrottleData.size() || step == ac.throttleStep) {
        return;
    }
    queue({{ac.objectId, simid::kEvThrottle, kThrottleData[step]}});
    ac.throttleStep = step;
}

void AiCommands::setParkedConfiguration(AiControls& ac, bool standFlag) {
    setThrottle(ac, 0);
    setFlaps(ac, 0);
    shutdownEngines(ac);
    bool cabin = !standFlag;
    if (cabin && gs().RANDOM.value()) {
        cabin = std::uniform_int_distribution<int>(0, 9)(rng_) < 9;
    }
    Lights l;
    l.nav = gs().NAV_LIGHTS_WHILE_PARKED.value();
    l.logo = true;
    l.cabin = cabin;
    setLights(ac, l);
}

bool AiCommands::respawnRemoval(const AiControls& ac, std::string_view ident) {
    if (ac.objectId == 0) {
        gf_logWarning("{} removing act {} with objectid=0 ?", "liveryRespawn", ident);
        return false;
    }
    pacing_.queueRemoval(ac.objectId);
    return true;
}

}  // namespace wnd
