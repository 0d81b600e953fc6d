// The program's settings: the process-wide parameter objects, their registry and
// parameters.xml in the per-user folder.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "settings/parameter.h"

namespace wnd {

struct Settings {
    Settings();

    // Group 1: plain booleans.
    BoolParameter RANDOM{"RANDOM", true};
    // Group 2: booleans with a check box.
    BoolParameter AEROWINX{"AEROWINX", false, 32774};
    BoolParameter COLLISION_USER_AIR{"COLLISION_USER_AIR", true, 32833};
    BoolParameter COLLISION_USER_GND{"COLLISION_USER_GND", true, 32834};
    BoolParameter COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", false, 32835};
    BoolParameter ALWAYS_ON_TOP{"ALWAYS_ON_TOP", false, 32771};
    BoolParameter SCAN_LIVERIES{"SCAN_LIVERIES", true, 32798};
    BoolParameter LIG_PRIORITIZE{"LIG_PRIORITIZE", true, 32800};
    BoolParameter AIRBORNE_ONLY{"AIRBORNE_ONLY", false, 32821};
    BoolParameter SCAN_AIRPORTS{"SCAN_AIRPORTS", true, 32802};
    BoolParameter LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", true, 32809};
    BoolParameter HELICOPTERS{"HELICOPTERS", true, 32810};
    BoolParameter HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", true, 32811};
    BoolParameter NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", true, 32776};
    BoolParameter AUTO_RANGE{"AUTO_RANGE", true, 32819};
    BoolParameter STRAIGHT_PBS_ONLY{"STRAIGHT_PBS_ONLY", false, 32855};
    BoolParameter PARK_SOFT{"PARK_SOFT", false, 32852};
    BoolParameter WEEK{"WEEK", false, 32853};
    BoolParameter INITIAL_LOAD_ONLY{"INITIAL_LOAD_ONLY", false, 32851};
    BoolParameter GUID_CHANGES{"GUID_CHANGES", true, 32773};
    // Group 3: plain integers (AIRP_HEIGHT, a dropdown, is in groups 3 and 4).
    IntParameter CUSTOM_PARKING_PERCENTAGE{"CUSTOM_PARKING_PERCENTAGE", -1, -1, 100};
    IntParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};
    IntParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};
    IntParameter LAST_EPOCH_TIME{"LAST_EPOCH_TIME:", 0, 0, 2147483647};
    IntParameter HOLDING_THRESHOLD_METERS{"HOLDING_THRESHOLD_METERS", 250, 10, 4000};
    IntParameter MAX_HOLDING_MINUTES{"MAX_HOLDING_MINUTES", 20, 1, 60};
    IntParameter MAX_FIT{"MAX_FIT", 47, 0, 47};
    IntParameter P3D_VERSION{"P3D_VERSION", 5, 5, 6};
    // Group 4: integers with a dropdown list.
    IntParameter MATCHING_DEPTH{"MATCHING_DEPTH", 4, {1, 2, 3, 4}, 32808};
    IntParameter RANGE{"RANGE",
                       40,
                       {2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100},
                       32818};
    IntParameter AR_ABOVE_HEIGHT{
        "AR_ABOVE_HEIGHT",
        48000,
        {18000, 21000, 24000, 27000, 30000, 33000, 36000, 39000, 42000, 45000, 48000},
        32820};
    IntParameter MAX_PARK_SEL{"MAX_PARK_SEL", 500, {0, 10, 25, 50, 75, 100, 500}, 32848};
    IntParameter MAX_LIVE_SEL{"MAX_LIVE_SEL", 500, {0, 10, 25, 50, 75, 100, 500}, 32849};
    IntParameter AIRP_RANGE{"AIRP_RANGE", 20, {5, 10, 15, 20, 25, 30}, 32840};
    IntParameter AIRP_HEIGHT{
        "AIRP_HEIGHT",
        18000,
        {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000},
        32841};
    // Group 5: plain strings.
    StringParameter PROGRAM_VERSION{"PROGRAM_VERSION", ""};
    StringParameter SIM_INSTALL_PATH{"SIM_INSTALL_PATH", ""};
    StringParameter PORT_NUMBER{"PORT_NUMBER", "10747"};
    std::array<StringParameter, 10> lfolder{
        StringParameter{"lfolder0", ""}, StringParameter{"lfolder1", ""},
        StringParameter{"lfolder2", ""}, StringParameter{"lfolder3", ""},
        StringParameter{"lfolder4", ""}, StringParameter{"lfolder5", ""},
        StringParameter{"lfolder6", ""}, StringParameter{"lfolder7", ""},
        StringParameter{"lfolder8", ""}, StringParameter{"lfolder9", ""}};
    std::array<StringParameter, 10> afolder{
        StringParameter{"afolder0", ""}, StringParameter{"afolder1", ""},
        StringParameter{"afolder2", ""}, StringParameter{"afolder3", ""},
        StringParameter{"afolder4", ""}, StringParameter{"afolder5", ""},
        StringParameter{"afolder6", ""}, StringParameter{"afolder7", ""},
        StringParameter{"afolder8", ""}, StringParameter{"afolder9", ""}};
    StringParameter AIG_VERSION{"AIG_VERSION", ""};
    StringParameter DBASE_VERSION{"DBASE_VERSION", ""};
    StringParameter AIRPORTS_VERSION{"AIRPORTS_VERSION", ""};
    StringParameter LIV_SCAN_VERSION{"LIV_SCAN_VERSION", ""};
    StringParameter ADDONS_SCAN_VERSION{"ADDONS_SCAN_VERSION", ""};
    StringParameter DESTINATION{"DESTINATION", "", 32839};
    // Group 6: strings with an edit field.
    StringParameter BLOCK_CALLSIGN{"BLOCK_CALLSIGN", "", 32828};

    // Window-only settings: in no group, so read all and save all pass them by.
    StringParameter ALL_INSTALL_PATH{"ALL_INSTALL_PATH", "", 32788};
    BoolParameter AFG_AUTOMATIC{"AFG_AUTOMATIC", true};
    IntParameter parking_percentage{
        "parking_percentage",
        30,
        {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100},
        32850};
    FloatListParameter MAX_FIT_FL{
        "MAX_FIT_FL",
        24.0,
        {0.5, 1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5, 6, 7, 8, 9, 10, 12, 15, 18, 21, 24},
        32854};

    // The six groups in file order.
    std::vector<BoolParameter*> plainBools;
    std::vector<BoolParameter*> checkBoxBools;
    std::vector<IntParameter*> plainInts;
    std::vector<IntParameter*> dropdownInts;
    std::vector<StringParameter*> plainStrings;
    std::vector<StringParameter*> editStrings;

    // Every stored parameter in registry order (AIRP_HEIGHT twice).
    std::vector<Parameter*> registryOrder() const;
    // Any stored or window-only parameter by key; nullptr when unknown.
    Parameter* find(std::string_view key) const;

    // Values back to their defaults (tests; the program never resets values in memory).
    void resetValues();

    // Where parameters.xml lives; set at process entry.
    std::filesystem::path filePath = "parameters.xml";
};

Settings& gs();

// Called after a parameter's value changed through read all or save all, so the window
// can tick its box or refresh its control. Installed by the user interface.
using ParameterRefresh = std::function<void(Parameter&)>;
void gf_setParameterRefresh(ParameterRefresh refresh);

// parameters.xml. Read all returns true when the file had to be created.
bool gf_readAllParameters();
void gf_saveAllParameters(bool resetToDefaults);
void gf_saveParameter(const Parameter& p);
void gf_removeParameterKey(std::string_view name);
// True when the stored version is too old to convert (the caller rewrites with defaults).
bool gf_migrateParameters();
// Read all, then migrate as start-up does; returns whether the file was new.
bool gf_readAndMigrateParameters();

// Reads one parameter's value from the file, if the file and the key are there (the
// window position at window creation). False when it was not found.
bool gf_readParameterFromFile(Parameter& p);

// Copies an unparsable parameters.xml aside and removes it (at window creation).
// Returns false when the file exists but could not be parsed.
bool gf_checkParametersFileParses();

}  // namespace wnd
