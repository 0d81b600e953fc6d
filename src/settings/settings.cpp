#include "settings/settings.h"

#include <mutex>

#include "util/no_destructor.h"

namespace wnd {

Settings::Settings() {
    plainBools = {&RANDOM};
    checkBoxBools = {&AEROWINX,
                     &COLLISION_USER_AIR,
                     &COLLISION_USER_GND,
                     &COLLISION_LIVE_PARKED_GND,
                     &ALWAYS_ON_TOP,
                     &SCAN_LIVERIES,
                     &LIG_PRIORITIZE,
                     &AIRBORNE_ONLY,
                     &SCAN_AIRPORTS,
                     &LIGHT_AIRCRAFT,
                     &HELICOPTERS,
                     &HIGH_PERF_AIRCRAFT,
                     &NAV_LIGHTS_WHILE_PARKED,
                     &AUTO_RANGE,
                     &STRAIGHT_PBS_ONLY,
                     &PARK_SOFT,
                     &WEEK,
                     &INITIAL_LOAD_ONLY,
                     &GUID_CHANGES};
    plainInts = {&CUSTOM_PARKING_PERCENTAGE,
                 &MAIN_WINDOW_X,
                 &MAIN_WINDOW_Y,
                 &AIRP_HEIGHT,
                 &LAST_EPOCH_TIME,
                 &HOLDING_THRESHOLD_METERS,
                 &MAX_HOLDING_MINUTES,
                 &MAX_FIT,
                 &P3D_VERSION};
    dropdownInts = {&MATCHING_DEPTH, &RANGE,      &AR_ABOVE_HEIGHT, &MAX_PARK_SEL,
                    &MAX_LIVE_SEL,   &AIRP_RANGE, &AIRP_HEIGHT};
    plainStrings = {&PROGRAM_VERSION, &SIM_INSTALL_PATH, &PORT_NUMBER};
    for (auto& p : lfolder) {
        plainStrings.push_back(&p);
    }
    for (auto& p : afolder) {
        plainStrings.push_back(&p);
    }
    for (StringParameter* p : {&AIG_VERSION, &DBASE_VERSION, &AIRPORTS_VERSION, &LIV_SCAN_VERSION,
                               &ADDONS_SCAN_VERSION, &DESTINATION}) {
        plainStrings.push_back(p);
    }
    editStrings = {&BLOCK_CALLSIGN};
}

std::vector<Parameter*> Settings::registryOrder() const {
    std::vector<Parameter*> all;
    all.insert(all.end(), plainBools.begin(), plainBools.end());
    all.insert(all.end(), checkBoxBools.begin(), checkBoxBools.end());
    all.insert(all.end(), plainInts.begin(), plainInts.end());
    all.insert(all.end(), dropdownInts.begin(), dropdownInts.end());
    all.insert(all.end(), plainStrings.begin(), plainStrings.end());
    all.insert(all.end(), editStrings.begin(), editStrings.end());
    return all;
}

Parameter* Settings::find(std::string_view key) const {
    for (Parameter* p : registryOrder()) {
        if (p->key() == key) {
            return p;
        }
    }
    auto* self = const_cast<Settings*>(this);
    for (Parameter* p :
         std::initializer_list<Parameter*>{&self->ALL_INSTALL_PATH, &self->AFG_AUTOMATIC,
                                           &self->parking_percentage, &self->MAX_FIT_FL}) {
        if (p->key() == key) {
            return p;
        }
    }
    return nullptr;
}

void Settings::resetValues() {
    for (Parameter* p : registryOrder()) {
        p->resetToDefault();
    }
    ALL_INSTALL_PATH.resetToDefault();
    AFG_AUTOMATIC.resetToDefault();
    parking_percentage.resetToDefault();
    MAX_FIT_FL.resetToDefault();
    PROGRAM_VERSION.setDefault("");
    PROGRAM_VERSION.set("");
}

Settings& gs() {
    static NoDestructor<Settings> s;
    return *s;
}

}  // namespace wnd
