#include "scan/airport_scan.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "airports/airports_db.h"
#include "board/run_control.h"
#include "board/status_board.h"
#include "scan/bgl_reader.h"
#include "scan/scan_state.h"
#include "settings/settings.h"
#include "util/files.h"
#include "util/hash.h"
#include "util/log.h"
#include "util/program.h"
#include "util/strings.h"
#include "util/user_error.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace wnd {

namespace {

constexpr auto kFutureWait = 10s;
constexpr std::string_view kAddon = "addon";

// The path's components, upper-cased, for comparisons without regard to case.
std::vector<std::string> lf_folderParts(const fs::path& p) {
    std::vector<std::string> parts;
    for (const fs::path& part : p.lexically_normal()) {
        const std::string text = gf_pathText(part);
        if (!text.empty()) {
            parts.push_back(gf_toUpper(text));
        }
    }
    return parts;
}

bool lf_ending() {
    return gf_runControl().ending();
}

bool lf_isBglFile(const fs::path& p) {
    return gf_equalsUpper(".BGL", gf_pathText(p.extension()));
}

bool lf_skippedFolder(const fs::path& p) {
    const std::string text = gf_pathText(p);
    return text.find("statics") != std::string::npos ||
           text.find("_heliports") != std::string::npos;
}

// Depth first in name order; "statics" and "_heliports" folders are not entered, and a
// folder reached again through a link is walked once. Errors of the walk throw.
template <typename OnFile>
void lf_walkFolder(const fs::path& root, OnFile&& onFile) {
    std::vector<fs::path> pending{root};
    std::unordered_set<std::string, TextHash, std::equal_to<>> visited;
    while (!pending.empty() && !lf_ending()) {
        const fs::path dir = std::move(pending.back());
        pending.pop_back();
        std::error_code ec;
        const fs::path canonical = fs::canonical(dir, ec);
        if (!ec && !visited.insert(gf_pathText(canonical)).second) {
            continue;
        }
        std::vector<fs::directory_entry> entries;
        for (const fs::directory_entry& e :
             fs::directory_iterator(dir, fs::directory_options::skip_permission_denied)) {
            entries.push_back(e);
        }
        std::sort(entries.begin(), entries.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) {
                      return a.path().native() < b.path().native();
                  });
        std::vector<fs::path> subfolders;
        for (const fs::directory_entry& e : entries) {
            std::error_code typeEc;
            if (e.is_directory(typeEc)) {
                if (!lf_skippedFolder(e.path())) {
                    subfolders.push_back(e.path());
                }
            } else if (e.is_regular_file(typeEc) && lf_isBglFile(e.path())) {
                onFile(e.path());
            }
        }
        pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                       std::make_move_iterator(subfolders.rend()));
    }
}

struct PendingTask {
    std::future<void> future;
    fs::path file;
};

void lf_waitFor(PendingTask& t) {
    if (t.future.wait_for(kFutureWait) != std::future_status::ready) {
        throw std::runtime_error("Future wait timed out after 10 seconds");
    }
    t.future.get();
}

// Starts the task of one file on a thread of its own. The thread is detached and shares
// the session, so a task stuck on a dead drive holds up neither the scan nor the exit.
PendingTask lf_startTask(const std::shared_ptr<ScanSession>& session, const fs::path& file) {
    auto task = std::make_shared<std::packaged_task<void()>>([session, file] {
        ScanFileSink sink(*session, file);
        lf_processBGLfile(file, sink);
    });
    PendingTask pending{task->get_future(), file};
    auto body = [task] {
        struct Release {
            ~Release() { gf_airportScanState().releaseSlot(); }
        } release;
        (*task)();
    };
    try {
        std::thread(body).detach();
    } catch (const std::system_error& e) {
        gf_logWarning("{} exception: {}", "lf_searchAirportsInFolder", e.what());
        body();  // no thread to be had: read the file here
    }
    return pending;
}

void lf_searchFolder(const std::shared_ptr<ScanSession>& session, const fs::path& folder) {
    gf_logLine("Scanning for {} airports in {}", "addon ", gf_pathText(folder));
    AirportScanState& state = gf_airportScanState();
    const std::size_t limit = std::max(1U, state.taskLimit());
    std::deque<PendingTask> pending;
    try {
        lf_walkFolder(folder, [&](const fs::path& file) {
            if (lf_ending() || !gf_bglPreCheck(file)) {
                return;
            }
            if (!state.acquireSlot(kFutureWait)) {
                throw std::runtime_error("Future wait timed out after 10 seconds");
            }
            pending.push_back(lf_startTask(session, file));
            if (pending.size() > limit) {
                try {
                    lf_waitFor(pending.front());
                } catch (const std::exception& e) {
                    gf_logWarning("{} airports search aborted, futs inner,\n{}\n{}\n{}", kAddon,
                                  gf_pathText(folder), gf_pathText(pending.front().file), e.what());
                    throw;
                }
                pending.pop_front();
            }
        });
    } catch (const std::exception& e) {
        gf_logWarning("{} airports search in folder {} aborted, cause: {}", kAddon,
                      gf_pathText(folder), e.what());
    }
    try {
        for (PendingTask& t : pending) {
            lf_waitFor(t);
        }
    } catch (const std::exception& e) {
        gf_logWarning("{} airports search in {} aborted, futs outer error: {}", kAddon,
                      gf_pathText(folder), e.what());
    }
}

void lf_folderScan(const AirportScanOptions& o, const std::vector<fs::path>& folders) {
    gf_logLine("The scan will search {} folder{}", folders.size(), folders.size() == 1 ? "" : "s");
    const fs::path logFile = o.base / "AirportsScanLog.txt";
    std::error_code ec;
    fs::remove(logFile, ec);
    if (ec) {
        gf_logLine("problems with removing previous files (maybe still open?): {}", ec.message());
    }
    auto session = std::make_shared<ScanSession>();
    session->base = o.base;
    session->delivered = o.delivered;
    session->isRtAirport = o.isRtAirport;
    std::vector<std::vector<std::string>> searched;
    for (const fs::path& folder : folders) {
        if (lf_ending()) {
            break;
        }
        if (folder.empty()) {
            continue;
        }
        const std::vector<std::string> parts = lf_folderParts(folder);
        if (std::find(searched.begin(), searched.end(), parts) != searched.end()) {
            gf_logLine("{} is searched already, skipped!", gf_pathText(folder));
        } else if (!fs::exists(folder, ec)) {
            gf_logLine("{} does not exist, skipped!", gf_pathText(folder));
        } else if (!fs::is_directory(folder, ec)) {
            gf_logLine("{} is not a folder name, skipped!", gf_pathText(folder));
        } else if (!o.stockScenery.empty() && gf_isSameFolder(folder, o.stockScenery)) {
            gf_logLine("{} is the stock scenery folder, skipped!", gf_pathText(folder));
        } else {
            searched.push_back(parts);
            lf_searchFolder(session, folder);
        }
    }
    if (session->scanLog.write(logFile)) {
        gf_logLine("{} written", gf_pathText(logFile));
    }
    gf_packUnknownAirports(o.base, o.inAirportsDb);
}

}  // namespace

bool gf_isInsideFolder(const fs::path& folder, const fs::path& stock) {
    const std::vector<std::string> f = lf_folderParts(folder);
    const std::vector<std::string> s = lf_folderParts(stock);
    return !s.empty() && f.size() > s.size() && std::equal(s.begin(), s.end(), f.begin());
}

bool gf_isSameFolder(const fs::path& a, const fs::path& b) {
    return lf_folderParts(a) == lf_folderParts(b);
}

bool gf_runAirportScan(const AirportScanOptions& o) {
    showStatus("Scanning for addon airports ...");
    gf_logLine("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
               "manual ");
    std::error_code ec;
    fs::create_directories(o.base / "tblo", ec);
    std::vector<fs::path> folders;
    for (const auto& [name, value] : o.folders) {
        if (value.empty()) {
            continue;
        }
        const fs::path folder = gf_textPath(value);
        if (!o.stockScenery.empty() && gf_isInsideFolder(folder, o.stockScenery)) {
            throw UserErrorException(
                42, fmt::format("parameter {} points to stock airports instead of add-on airports!",
                                name));
        }
        gf_logLine("From parameter {}: {}", name, value);
        folders.push_back(folder);
    }
    if (folders.empty()) {
        showStatus(
            fmt::format("Exit {} first!   Then set one or more afolder parameters to your "
                        "add-on airports, see Manual 6.2",
                        kProductTitle));
        return false;
    }
    gf_removeFilesFromDirectory(o.base / "airports" / "my_ORBX");
    gf_removeFilesFromDirectory(o.base / "airports" / "my_thirdparty");
    // tblo holds the generated files of this scan only, so its zip never carries old ones.
    gf_removeXMLFilesFromDirectory(o.base / "tblo");
    lf_folderScan(o, folders);
    if (gf_countDirectoryEntries(o.base / "airports" / "my_thirdparty") == 0) {
        showStatus("Warning: Scan has not found any add-on airports");
    }
    return true;
}

void gf_scanAddonAirports() {
    Settings& s = gs();
    AirportScanOptions o;
    for (const StringParameter& p : s.afolder) {
        if (!p.value().empty()) {
            o.folders.emplace_back(p.key(), p.value());
        }
    }
    if (!s.SIM_INSTALL_PATH.value().empty()) {
        o.stockScenery = gf_textPath(s.SIM_INSTALL_PATH.value()) / "Scenery";
    }
    o.delivered = gf_deliveredAirportsOnDisk(o.base);
    o.isRtAirport = [](std::string_view code) { return gf_isRtAirport(code); };
    o.inAirportsDb = [](std::string_view code) { return gf_findAirport(code) != nullptr; };
    if (gf_runAirportScan(o)) {
        s.SCAN_AIRPORTS.set(false);
        gf_saveParameter(s.SCAN_AIRPORTS);
        gf_requestRepaint();
        gf_logLine(
            "-------------------------- airports scan ends    ----------------------------\n");
    }
}

}  // namespace wnd
