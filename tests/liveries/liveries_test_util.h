// Helpers of the livery tests: a working folder with its log, a small aircraft database,
// and packages written the way AI packages lie on disk.
#pragma once

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "board/run_control.h"
#include "board/status_board.h"
#include "liveries/liveries.h"
#include "liveries/liveries_state.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "updater/open_for_user.h"

namespace wnd::livtest {

// A small database: the types, categories, airlines, fixes and registrations tests use.
inline void fillSmallDbase() {
    Dbase& d = gf_dbase();
    d.reset();
    for (const char* t : {"A320", "A321", "B738", "B739", "B744", "B748", "B77W", "C172", "C182",
                          "C56X", "C25A", "GLF5", "EC35", "F16", "DH8D"}) {
        d.knownTypes.insert(t);
    }
    d.categories[kLarge] = {"A320", "A321", "B738", "B739", "DH8D"};
    d.categories[kHeavy] = {"B744", "B748", "B77W"};
    d.categories[kBuzjet] = {"C56X", "C25A", "GLF5"};
    d.categories[kRotorcraft] = {"EC35"};
    d.categories[kHighPerf] = {"F16"};
    d.similarGroups = {{"A320", "A321"},
                       {"B738", "B739"},
                       {"B744", "B748"},
                       {"C25A", "C56X", "GLF5"},
                       {"C172", "C182"}};
    for (const char* a : {"DLH", "BAW", "UPS", "ZZZ", "NJE", "GEC", "CLH"}) {
        d.airlines.insert(a);
    }
    d.fixes = {{"B747", "B744"}, {"Q400", "DH8D"}};
    d.registrations = {
        {"D-ABYA", "DLH", "B748", "DLH", false}, {"D-AIPX", "DLH", "A320", "DLH", false},
        {"D-ALCA", "GEC", "B77W", "GEC", true},  {"N123UP", "UPS", "B744", "UPS", true},
        {"G-EUPA", "BAW", "A320", "", false},    {"D-EABC", "", "C172", "", false},
        {"N77", "", "C172", "", false},
    };
    std::sort(d.registrations.begin(), d.registrations.end(),
              [](const DbaseRecord& a, const DbaseRecord& b) { return a.reg < b.reg; });
    for (std::size_t i = 0; i < d.registrations.size(); ++i) {
        if (d.registrations[i].reg.size() < 6) {
            d.shortRegistrations.push_back(i);
        }
    }
    d.read = true;
}

// A working folder (input, output, parameters.xml), a log and the small database for one
// test; the process-wide objects are brought back to a fresh state around it.
class WorkFolder {
  public:
    WorkFolder() {
        fillSmallDbase();
        gs().resetValues();
        gs().filePath = dir_ / "parameters.xml";
        gf_liveries().reset();
        gf_updater().openFolder = [this](const std::filesystem::path& p) {
            opened.push_back(p);
            return true;
        };
        gf_updater().warningBox = [](std::string_view, std::string_view) {};
        gf_setLiveryWorkFolder(dir_.path());
        gf_runControl().reset();
        gf_board().reset();
        std::filesystem::create_directories(dir_ / "input" / "my_regcodes");
    }
    ~WorkFolder() {
        gf_dbase().reset();
        gf_liveries().reset();
        gf_updater().reset();
        gf_setLiveryWorkFolder({});
        gf_runControl().reset();
        gs().resetValues();
        gs().filePath = "parameters.xml";
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    std::filesystem::path operator/(const std::filesystem::path& p) const { return dir_ / p; }
    const std::filesystem::path& path() const { return dir_.path(); }
    std::string log() const { return log_.text(); }
    bool logHas(const std::string& s) const { return log_.contains(s); }
    // Lines of an information or error list; none when the file is absent.
    std::vector<std::string> report(LiveryReport r) const {
        std::istringstream text(testkit::readFile(gf_liveries().paths.report(r)));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::vector<std::filesystem::path> opened;

  private:
    testkit::TempDir dir_;
    testkit::LogCapture log_;
};

// One package folder: the cfg text and the folders and files its sections need.
inline std::filesystem::path writePackage(const std::filesystem::path& folder,
                                          const std::string& cfg,
                                          std::initializer_list<const char*> needed,
                                          const std::string& name = "aircraft.cfg") {
    std::filesystem::create_directories(folder);
    testkit::writeFile(folder / name, cfg);
    for (const char* n : needed) {
        const std::filesystem::path p = folder / n;
        if (p.extension() == ".air") {
            testkit::writeFile(p, "air");
        } else {
            std::filesystem::create_directories(p);
        }
    }
    return folder / name;
}

// One [fltsim.N] section with the usual keys; extra lines are appended as given.
inline std::string section(int n, const std::string& title, const std::string& texture,
                           const std::string& parkingCodes, const std::string& extra = "") {
    std::string s = "[fltsim." + std::to_string(n) + "]\ntitle=" + title +
                    "\nsim=ai\nmodel=\ntexture=" + texture + "\n";
    if (!parkingCodes.empty()) {
        s += "atc_parking_codes=" + parkingCodes + "\n";
    }
    return s + extra + "\n";
}

inline std::string general(const std::string& atcModel) {
    return "[General]\natc_type=TEST\natc_model=" + atcModel + "\n";
}

}  // namespace wnd::livtest
