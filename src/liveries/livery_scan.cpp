// The livery scan from its start to its summary: the folders in their order, the findings
// of each file merged into the catalogue, the registration updates, the prioritising, the
// catalogue file and the information and error lists.
#include "liveries/livery_scan.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "board/run_control.h"
#include "board/status_board.h"
#include "liveries/liveries_state.h"
#include "liveries/livery_scan_internal.h"
#include "liveries/regcodes.h"
#include "platform/platform.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "updater/open_for_user.h"
#include "util/files.h"
#include "util/log.h"
#include "util/program.h"
#include "util/strings.h"
#include "util/user_error.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

const char* lf_plural(std::size_t n) {
    return n == 1 ? "" : "s";
}

}  // namespace

bool lf_ending() {
    return gf_runControl().ending();
}

std::size_t lf_mergeFindings(FileFindings& f, ScanSession& session) {
    for (const std::string& line : f.log) {
        gf_logLine(line);
    }
    for (std::size_t r = 0; r < kLiveryReportCount; ++r) {
        auto& target = session.reports[r];
        target.insert(target.end(), std::make_move_iterator(f.reports[r].begin()),
                      std::make_move_iterator(f.reports[r].end()));
    }
    std::size_t added = 0;
    LiveryCatalogue& catalogue = gf_liveries().catalogue;
    for (FoundLivery& found : f.liveries) {
        if (!session.titles.insert(found.livery.title).second) {
            gf_logLine(found.duplicateMessage);
            continue;
        }
        catalogue.push_back(std::move(found.livery));
        ++added;
    }
    return added;
}

namespace {

void lf_writeReport(const fs::path& path, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    if (!out.good()) {
        gf_logWarning("writing {} failed", gf_pathText(path));
    }
}

void lf_updateFromRegistrations(ScanSession& session) {
    auto& lines = session.reports[static_cast<std::size_t>(LiveryReport::RegistrationConversions)];
    for (Livery& l : gf_liveries().catalogue) {
        if (l.atcid.empty()) {
            continue;
        }
        const std::optional<DbaseInfo> db = gf_lookupRegistration(l.atcid);
        if (!db) {
            continue;
        }
        bool changed = false;
        if (db->cargo != l.cargo) {
            lines.push_back(
                fmt::format("{:80} {} cargo {} => {}", l.title, l.atcid, l.cargo, db->cargo));
            l.cargo = db->cargo;
            changed = true;
        }
        if (!db->airl.empty() && db->airl != l.airl) {
            lines.push_back(
                fmt::format("{:80} {} airl {} => {}", l.title, l.atcid, l.airl, db->airl));
            l.airl = db->airl;
            changed = true;
        }
        // A livery must keep a type the matching knows.
        if (!db->type.empty() && db->type != l.type && gf_isKnownType(db->type)) {
            lines.push_back(
                fmt::format("{:80} {} model {} => {}", l.title, l.atcid, l.type, db->type));
            l.type = db->type;
            changed = true;
        }
        if (changed) {
            ++session.registrationUpdates;
        }
    }
}

// An airline and model found in a folder of higher priority (a lower lfolder index) keep
// only the liveries of that folder; the others are left out of the catalogue. (A repeated
// title never gets this far: the merge keeps the first.)
std::size_t lf_prioritize(LiveryCatalogue& catalogue) {
    TextMap<int> best;  // "airline type" -> the lowest folder index with such a livery
    auto key = [](const Livery& l) { return fmt::format("{} {}", l.airl, l.type); };
    for (const Livery& l : catalogue) {
        const auto [it, inserted] = best.try_emplace(key(l), l.folderIndex);
        it->second = std::min(it->second, l.folderIndex);
    }
    const std::size_t before = catalogue.size();
    std::erase_if(catalogue, [&](const Livery& l) { return l.folderIndex > best.at(key(l)); });
    return before - catalogue.size();
}

void lf_logSummary(const ScanSession& session, const LiveryPaths& paths) {
    struct ErrorLine {
        LiveryReport report;
        const char* format;
        bool plural;
    };
    const ErrorLine errorLines[] = {
        {LiveryReport::InvalidAirlineCodes, "{} invalid airline code{}, see {}", true},
        {LiveryReport::InvalidAircraftCodes, "{} invalid model code{}, see {}", true},
        {LiveryReport::Fixes, "{} code fixes, see {}", false},
        {LiveryReport::InvalidAircraftCfgFiles, "{} invalid aircraft.cfg files, see {}", false},
        {LiveryReport::IncompleteFltsimSections, "{} incomplete [fltsim.x] sections, see {}",
         false},
    };
    std::string text;
    for (const ErrorLine& e : errorLines) {
        const std::size_t n = session.count(e.report);
        if (n == 0) {
            continue;
        }
        const std::string file = gf_pathText(paths.report(e.report));
        text += '\n';
        text += e.plural ? fmt::format(fmt::runtime(e.format), n, lf_plural(n), file)
                         : fmt::format(fmt::runtime(e.format), n, file);
    }
    gf_logLine(text.empty() ? std::string("\nNo errors") : "\nErrors:" + text);
    gf_logLine("\nInformation:");
    gf_logLine("{} empty aircraft.cfg files, see {}", session.count(LiveryReport::NoFltsimSection),
               gf_pathText(paths.report(LiveryReport::NoFltsimSection)));
    gf_logLine("{} liveries updated with real live data from dbase, see {}",
               session.registrationUpdates,
               gf_pathText(paths.report(LiveryReport::RegistrationConversions)));
}

}  // namespace

bool lf_scanLiveryFolders(const std::array<std::string, kLiveryFolderCount>& folders) {
    LiveriesState& st = gf_liveries();
    const LiveryPaths& paths = st.paths;
    st.catalogue.clear();
    st.scanFound = 0;
    for (std::size_t r = 0; r < kLiveryReportCount; ++r) {
        std::error_code ec;
        fs::remove(paths.report(static_cast<LiveryReport>(r)), ec);
    }
    fs::create_directories(paths.info());
    fs::create_directories(paths.errors());
    lf_readDontUseTitles();

    ScanSession session;
    session.dontUseTitles = std::make_shared<const TextSet>(st.regcodes.dontUseTitles);
    const unsigned hw = platform::hardwareThreads();
    session.taskLimit = hw == 0 ? 2 : hw;
    std::size_t given = 0;
    std::size_t total = 0;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string& entry = folders[i];
        if (entry.empty()) {
            continue;
        }
        ++given;
        const fs::path folder = lf_path(entry);
        std::error_code ec;
        if (!fs::exists(folder, ec)) {
            gf_logLine(entry + " does not exist, skipped!");
            continue;
        }
        if (!fs::is_directory(folder, ec)) {
            gf_logLine(entry + " is not a folder name, skipped!");
            continue;
        }
        if (lf_ending()) {
            return false;
        }
        const std::size_t added = lf_scanLiveryFolder(static_cast<int>(i), folder, session);
        if (lf_ending()) {
            return false;
        }
        total += added;
        const std::string foundIn = fmt::format("found in {}", entry);
        if (added == 0) {
            gf_logLine("No liveries {}", foundIn);
        } else {
            gf_logLine("{} liverie{} {}", added, lf_plural(added), foundIn);
        }
    }
    if (total > 0 && given > 1) {
        gf_logLine("{} in total", total);
    }
    lf_updateFromRegistrations(session);
    if (gs().LIG_PRIORITIZE.value()) {
        if (const std::size_t left = lf_prioritize(st.catalogue); left > 0) {
            gf_logLine(
                "{} liverie{} left out: airline and model already in a lower-numbered "
                "lfolder",
                left, lf_plural(left));
        }
    }
    if (lf_writeLiveriesScanned(st.catalogue, paths.catalogue())) {
        gf_logLine("{} liveries in {}", st.catalogue.size(), gf_pathText(paths.catalogue()));
    }
    st.scanFound = st.catalogue.size();
    st.scannedSinceProcessing = true;
    st.catalogue.clear();  // the run goes on with the catalogue read back from the file
    for (std::size_t r = 0; r < kLiveryReportCount; ++r) {
        lf_writeReport(paths.report(static_cast<LiveryReport>(r)), session.reports[r]);
    }
    lf_logSummary(session, paths);
    gf_board().clearStatus();
    return true;
}

void lf_scanLiveries() {
    Settings& s = gs();
    showStatus(
        fmt::format("Scanning {}for liveries ...", s.LIG_PRIORITIZE.value() ? "prioritized " : ""));
    gf_logLine(
        "\n++++++++++++++++++++++++ liveries scan {} starts "
        "++++++++++++++++++++++++++++++++",
        "manual");
    std::array<std::string, kLiveryFolderCount> folders;
    bool any = false;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        folders[i] = gf_trim(s.lfolder[i].value());
        any = any || !folders[i].empty();
    }
    if (!any) {
        // The manual and the folder of parameters.xml, so that the user can set them.
        gf_openManual(gf_liveries().paths.work);
        gf_openParametersFolder();
        throw UserErrorException(
            48, fmt::format("Exit {} first!   Then set one or more lfolder parameters to your "
                            "liveries, see Manual 5.3",
                            kProductTitle));
    }
    if (!lf_scanLiveryFolders(folders)) {
        return;  // closing down: the next start scans again
    }
    if (gf_liveries().scanFound == 0) {
        throw UserErrorException(53, "no liveries found");
    }
    s.SCAN_LIVERIES.set(false);
    gf_saveParameter(s.SCAN_LIVERIES);
    gf_requestRepaint();
    gf_logLine(
        "\n++++++++++++++++++++++++ liveries scan ends "
        "++++++++++++++++++++++++++++++++\n");
    gf_flushLog();
}

}  // namespace wnd
