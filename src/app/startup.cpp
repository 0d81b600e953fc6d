#include "app/startup.h"

#include <fmt/format.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "app/duties.h"
#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "ui/control_table.h"
#include "ui/message_queue.h"
#include "ui/window.h"
#include "util/files.h"
#include "util/log.h"
#include "util/no_destructor.h"
#include "util/program.h"
#include "util/user_error.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace wnd {

namespace {

constexpr const char* kRegistryV5 = "SOFTWARE\\Lockheed Martin\\Prepar3D v5";
constexpr const char* kRegistryV6 = "SOFTWARE\\Lockheed Martin\\Prepar3D v6";

// Ends the run at once when a stop or close is requested; true when it did.
bool lf_checkStop() {
    RunControl& rc = gf_runControl();
    if (!rc.ending()) {
        return false;
    }
    rc.noteStopSeen();
    gf_flushLog();
    lf_closingDown();
    return true;
}

void lf_checkWorkingFolder() {
    std::error_code ec;
    const fs::file_status st = fs::status("docs", ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        throw fs::filesystem_error("docs", "docs", ec);
    }
    if (!fs::is_directory(st)) {
        throw UserErrorException(
            41, fmt::format("{} must be run from the {} folder!", kProductTitle, kProductTitle));
    }
}

void lf_createWorkingFolders() {
    for (const char* folder :
         {"input/my_regcodes", "output", "output/info", "output/errors", "airports",
          "airports/learned", "airports/learned/stock", "airports/learned/simaddon",
          "airports/learned/thirdparty", "airports/my_ORBX", "airports/my_thirdparty"}) {
        if (!fs::is_directory(folder)) {
            fs::create_directories(folder);
        }
    }
    std::error_code ec;
    fs::remove("input/AIG-regcodes0.xml", ec);
    fs::remove("input/AIG-regcodes00.xml", ec);
}

// Settings, data files and the update check; false when the updater asked to skip the
// rest of the preparation.
bool lf_prepare() {
    Settings& s = gs();
    if (gf_readAndMigrateParameters()) {
        s.SCAN_LIVERIES.set(true);
        gf_saveParameter(s.SCAN_LIVERIES);
        s.SCAN_AIRPORTS.set(true);
        gf_saveParameter(s.SCAN_AIRPORTS);
    }
    gf_postMessage(kMsgControlsAtStart);
    gf_requestRepaint();
    lf_createWorkingFolders();
    if (!gf_runControl().restartFlag() && !duty::checkForUpdates()) {
        return false;
    }
    duty::noteRunStart();
    duty::readDataFiles();
    return true;
}

}  // namespace

InstalledSimulators& gf_installedSimulators() {
    static NoDestructor<InstalledSimulators> s;
    return *s;
}

void gf_noteInstalledSimulators() {
    gf_installedSimulators().v5 = platform::registryKeyExists(kRegistryV5);
    gf_installedSimulators().v6 = platform::registryKeyExists(kRegistryV6);
}

void lf_detectSimulator() {
    Settings& s = gs();
    const InstalledSimulators& found = gf_installedSimulators();
    if (found.v5 && found.v6) {
        throw UserErrorException(153,
                                 "More than one P3D version detected. Type the full Install Path "
                                 "to the wanted version above, then press Enter");
    }
    if (!found.v5 && !found.v6) {
        showStatus("P3D not detected?");
        for (std::size_t i = 0; i < 10; ++i) {
            if (!s.lfolder[i].empty() || !s.afolder[i].empty()) {
                return;
            }
        }
        s.ALL_INSTALL_PATH.set("");
        throw UserErrorException(
            151,
            "No P3D install path detected. Type the full Install Path above, then press Enter");
    }
    gf_logLine("{} detected", found.v5 ? "P3Dv5" : "P3Dv6");
    const auto path =
        platform::registryReadString(found.v5 ? kRegistryV5 : kRegistryV6, "SetupPath");
    if (!path || path->empty()) {
        throw UserErrorException(
            151,
            "No P3D install path detected. Type the full Install Path above, then press Enter");
    }
    s.ALL_INSTALL_PATH.set(*path);
    s.SIM_INSTALL_PATH.set(*path);
    gf_saveParameter(s.SIM_INSTALL_PATH);
}

void lf_startUpWendle() {
    RunControl& rc = gf_runControl();
    Settings& s = gs();
    try {
        lf_checkWorkingFolder();
        if (lf_prepare()) {
            // The simulator: from the settings, else from the registry.
            s.ALL_INSTALL_PATH.set(s.SIM_INSTALL_PATH.value());
            gf_enableControl(ctl::kInstallPath, true);
            gf_refreshControl(ctl::kInstallPath);
            if (s.ALL_INSTALL_PATH.empty()) {
                lf_detectSimulator();
                gf_refreshControl(ctl::kInstallPath);
            }
            gf_requestRepaint();
            // A production run ends after the preparation.
            if (rc.production()) {
                rc.setExitCode(0);
                rc.requestStopAndClose();
                gf_flushLog();
                lf_closingDown();
                return;
            }
            // RealTraffic installed on this computer or not.
            const fs::path jar =
                platform::roamingAppDataFolder() / "InsideSystems" / "RealTraffic.jar";
            std::error_code ec;
            const bool realTraffic = fs::exists(jar, ec);
            duty::noteRealTraffic(realTraffic);
            showStatus(fmt::format("RealTraffic {}detected at this PC", realTraffic ? "" : "not "));
        }
        // The simulator's stock scenery.
        const fs::path stock = gf_textPath(s.SIM_INSTALL_PATH.value()) / "Scenery";
        std::error_code ec;
        if (!fs::exists(stock, ec)) {
            showStatus(fmt::format("Stock airports path does not exist: {}", gf_pathText(stock)));
        }
        duty::noteProcessors(platform::hardwareThreads() == 0 ? 2 : platform::hardwareThreads());
        // The liveries.
        if (s.SCAN_LIVERIES.value()) {
            duty::scanLiveries();
        }
        duty::processScannedLiveries();
        gf_refreshControl(0);  // the scan and the processing changed settings
        // The add-on airports.
        if (lf_checkStop()) {
            return;
        }
        if (s.SCAN_AIRPORTS.value()) {
            gf_board().simaddonCount = 0;
            gf_board().thirdpartyCount = 0;
            gf_requestRepaint();
            duty::scanAddonAirports();
            gf_refreshControl(0);
        }
        // The airport files the user added.
        if (lf_checkStop()) {
            return;
        }
        gf_board().thirdpartyCount =
            static_cast<int>(gf_countDirectoryEntries("airports/my_thirdparty"));
        gf_board().orbxCount = static_cast<int>(gf_countDirectoryEntries("airports/my_ORBX"));
        gf_requestRepaint();
        // Flight plans and the park airports.
        if (lf_checkStop()) {
            return;
        }
        duty::createFlightPlanFolder();
        duty::readParkAirports();
        gf_enableControl(ctl::kDestination, true);
        gf_enableControl(ctl::kReread, true);
        duty::setDestination();
        if (MainWindow* w = gf_mainWindow(); w != nullptr) {
            w->view().setTopMost(s.ALWAYS_ON_TOP.value());
        }
        // The traffic, until the run ends.
        if (duty::startTraffic()) {
            duty::runMainCycle();
        } else {
            rc.requestStopAndClose();
        }
    } catch (const fmt::format_error& e) {
        showError(fmt::format("std::format error: {}", e.what()));
        rc.requestStop(ExitReason::SystemError, 0);
    } catch (const std::exception& e) {
        showError(e.what());
        rc.requestStop(ExitReason::SystemError, 0);
    } catch (...) {
        showError("Unknown exception");
        rc.requestStop(ExitReason::SystemError, 0);
    }
    gf_flushLog();
    lf_closingDown();
}

bool lf_restartCountdown() {
    RunControl& rc = gf_runControl();
    const int delay = rc.restartDelay();
    if (delay < 1) {
        return !rc.userClosed();
    }
    gf_logLine("Restarting after {} seconds", delay);
    gf_logLine(std::string(48, '-'));
    gf_flushLog();
    for (int n = delay; n >= 1; --n) {
        showStatus(fmt::format("Restarting after {} second{}", n, n == 1 ? "" : "s"), false);
        // A close during the countdown ends the process instead of starting a new run.
        for (int tenth = 0; tenth < 10; ++tenth) {
            if (rc.userClosed()) {
                gf_logLine("Restart cancelled: {} closes", kProductTitle);
                return false;
            }
            std::this_thread::sleep_for(100ms);
        }
    }
    gf_logLine("Restart countdown finished");
    return !rc.userClosed();
}

void lf_runReset() {
    duty::resetRunState();
    gf_board().reset();
    gf_runControl().reset();
    gf_postMessage(kMsgRunReset);
}

void lf_closingDown() {
    RunControl& rc = gf_runControl();
    Settings& s = gs();
    bool restart = false;
    try {
        gf_logLine("Exiting: {}", gf_exitReasonText(rc.exitReason()));
        duty::stopLinks();
        std::this_thread::sleep_for(500ms);
        duty::joinLinks();
        duty::closeRealTrafficLink();
        if (rc.exitReason() == ExitReason::SystemError) {
            gf_flushLog();
            // Until the user closes, or types the install path the error asks for.
            while (!rc.closeRequested() && rc.exitReason() == ExitReason::SystemError) {
                std::this_thread::sleep_for(500ms);
            }
            if (rc.exitReason() == ExitReason::SystemError) {
                // The error text stays on screen, so the status line would not log it.
                gf_logLine("User closed {}", kProductTitle);
                showStatus(fmt::format("User closed {}", kProductTitle), false);
            }
        }
        duty::removeParkedAndLive();
        duty::removeFlightPlanFolder();
        s.DESTINATION.set("");
        gf_saveParameter(s.DESTINATION);
        s.BLOCK_CALLSIGN.set("");
        gf_saveParameter(s.BLOCK_CALLSIGN);
        duty::endOfRunReports();
        restart = gf_exitReasonRestarts(rc.exitReason());
        if (!restart) {
            rc.setRestartFlag(false);
            if (rc.exitReason() == ExitReason::NewFlight) {
                showStatus(
                    fmt::format("New flight detected, {} will close, please restart "
                                "manually ...",
                                kProductTitle));
                gf_flushLog();
                std::this_thread::sleep_for(10s);
            }
        } else {
            rc.setRestartFlag(true);
            gf_board().clearError();
            gf_board().clearStatus();
            showStatus("Prepare for a restart ...");
            if (rc.exitReason() != ExitReason::NewSettings) {
                s.SCAN_LIVERIES.set(false);
                gf_saveParameter(s.SCAN_LIVERIES);
                s.SCAN_AIRPORTS.set(false);
                gf_saveParameter(s.SCAN_AIRPORTS);
                gf_refreshControl(0);
            }
            if (lf_restartCountdown()) {
                lf_runReset();
            } else {
                restart = false;
                rc.setRestartFlag(false);
            }
        }
    } catch (const std::exception& e) {
        showStatus(fmt::format("{} exception {}", "lf_closingDown", e.what()));
    }
    gf_postMessage(restart ? kMsgStartRun : kMsgEndProcess);
    gf_flushLog();
}

}  // namespace wnd
