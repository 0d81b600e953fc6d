#include "app/process_entry.h"

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <gsl/gsl>
#include <thread>

#include "airports/airports_db.h"
#include "app/startup.h"
#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "rtlink/rt_link.h"
#include "settings/settings.h"
#include "simconnect/library_backend.h"
#include "traffic/engine.h"
#include "ui/control_table.h"
#include "ui/message_queue.h"
#include "ui/window.h"
#include "ui/window_model.h"
#include "util/files.h"
#include "util/log.h"
#include "util/program.h"
#include "util/status_sink.h"
#include "util/strings.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {
void statusSink(std::string_view text) {
    showStatus(text);
}
}  // namespace

std::filesystem::path gf_snapshotSwitch(const std::vector<std::string>& args) {
    std::filesystem::path file;
    for (std::size_t i = 1; i + 1 < args.size(); ++i) {
        if (gf_toUpper(args[i]) == "--SNAPSHOT") {
            file = gf_textPath(args[i + 1]);
        }
    }
    return file;
}

namespace {
// What the window's handlers need of the subsystems below the window.
void lf_installWindowHooks() {
    WindowHooks h;
    h.setTrafficRadius = [](double nm) { gf_rtLink().trafficReader().setTrafficRadius(nm); };
    h.isAirport = [](const std::string& code) { return gf_findAirport(code) != nullptr; };
    h.realTrafficConnected = [] { return gf_rtLink().server().connectedThisRun(); };
    h.setDestination = [](const std::string& code) { gf_liveEngine().queueDestination(code); };
    h.openFolder = [](const std::string& folder) {
        return platform::shellOpen(fs::current_path() / gf_textPath(folder));
    };
    h.warningBox = [](std::string_view text, std::string_view title) {
        platform::showWarningBox(text, title);
    };
    gf_windowModel().setHooks(std::move(h));
    // Read all and save all change values behind the controls' backs.
    gf_setParameterRefresh([](Parameter& p) {
        if (p.controlId() != 0 && gf_findControl(p.controlId()) != nullptr) {
            gf_refreshControl(p.controlId());
        }
    });
}
}  // namespace

namespace {
[[maybe_unused]] bool lf_hasSwitch(const std::vector<std::string>& args, std::string_view name) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string a = gf_toUpper(args[i]);
        if (a == fmt::format("--{}", name) || a == fmt::format("/{}", name)) {
            return true;
        }
    }
    return false;
}

// Windows shows the window; the console view (status lines, commands on standard input)
// serves Linux, snapshots and, with --console, scripted runs on Windows.
std::unique_ptr<WindowView> lf_makeView(const std::vector<std::string>& args) {
    const std::filesystem::path snapshot = gf_snapshotSwitch(args);
#ifdef _WIN32
    if (snapshot.empty() && !lf_hasSwitch(args, "CONSOLE")) {
        return gf_makeWin32View();
    }
#endif
    return gf_makeHeadlessView({snapshot, true});
}
}  // namespace

bool gf_productionSwitch(const std::vector<std::string>& args) {
    bool production = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string a = gf_toUpper(args[i]);
        if (a == "--PRODUCTION" || a == "/PRODUCTION") {
            production = true;
        } else if (a == "--NO-PRODUCTION" || a == "/NO-PRODUCTION") {
            production = false;
        }
    }
    return production;
}

int gf_processEntry(const std::vector<std::string>& args) {
    const auto guard = platform::acquireInstanceGuard(kMutexName);
    if (!guard) {
        return -1;
    }
    // SIGINT/SIGTERM are the close button; set up before any other thread exists.
    platform::watchCloseRequests([] { gf_postMessage(kMsgClose); });

    std::string logError;
    try {
        gf_openLog("Log.txt");
    } catch (const std::exception& e) {
        logError = e.what();
        std::fprintf(stderr, "%s\n", logError.c_str());
    }
    // Every way out, early ones too, writes the log's buffered lines.
    const auto closeLog = gsl::finally([] { gf_closeLog(); });
    const bool production = gf_productionSwitch(args);
    gf_selectSimConnectBackend();

    const fs::path roaming = platform::roamingAppDataFolder();
    fs::path userFolder;
    if (roaming.empty()) {
        gf_logLine("Could not find the AppData path");
    } else {
        userFolder = roaming / kProductTitle;
        std::error_code ec;
        if (!fs::is_directory(userFolder, ec)) {
            fs::create_directories(userFolder, ec);
            if (ec) {
                gf_logLine("Failed to create directory: {}", ec.message());
                std::fprintf(stderr, "Failed to create directory: %s (%s)\n",
                             gf_pathText(userFolder).c_str(), ec.message().c_str());
                return 0;
            }
        }
    }
    gs().filePath = userFolder / "parameters.xml";
    gf_setStatusSink(&statusSink);
    gf_noteInstalledSimulators();

    lf_installWindowHooks();
    MainWindow window(lf_makeView(args));
    if (!window.create()) {
        gf_logLine("initInstance failed");
        return 0;
    }
    if (!logError.empty()) {
        showStatus(logError, false);
    }
    if (production) {
        gf_runControl().setProduction(true);
    }

    std::thread run;
    gf_postMessage(kMsgStartRun);
    const int code = window.runMessageLoop([&run] {
        if (run.joinable()) {
            run.join();  // the previous run has posted its last message
        }
        run = std::thread(lf_startUpWendle);
    });
    if (run.joinable()) {
        run.join();
    }
    return code;
}

}  // namespace wnd
