// Start-up's update check: the program's own version against the web's, then the data sets.
#include <fmt/format.h>

#include <array>
#include <exception>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

#include "board/run_control.h"
#include "board/status_board.h"
#include "platform/platform.h"
#include "refdata/data_versions.h"
#include "refdata/encrypted_file.h"
#include "updater/downloader.h"
#include "updater/open_for_user.h"
#include "updater/server.h"
#include "updater/updater.h"
#include "util/files.h"
#include "util/log.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

constexpr const char* kProgramKey = "p3d";
constexpr const char* kVersionsFile = "versions.json";

// versions.json, fetched and parsed, the file gone again; nothing when the run goes on
// without it (every reason logged).
std::optional<nlohmann::json> lf_fetchVersions() {
    const fs::path file = kVersionsFile;
    if (!gf_downloadFile(gf_downloadsAddress() + kVersionsFile, file, false)) {
        gf_logWarning("Downloading version info from my web site failed!");
        return std::nullopt;
    }
    nlohmann::json versions;
    {
        std::ifstream in(file);
        if (!in) {
            gf_logWarning("Cannot open versions.json");
            gf_removeIfExists(file);
            return std::nullopt;
        }
        versions = nlohmann::json::parse(in, nullptr, false);
    }
    if (!gf_removeIfExists(file)) {
        throw fs::filesystem_error("remove", file, std::make_error_code(std::errc::io_error));
    }
    if (versions.is_discarded()) {
        gf_logWarning("versions.json is not valid JSON");
        return std::nullopt;
    }
    return versions;
}

// The web's program version when it is newer than ours.
std::optional<Version> lf_newerProgram(const nlohmann::json& versions) {
    if (!versions.is_object() || !versions.contains(kProgramKey)) {
        gf_logLine("{} version not found", kProgramKey);
        return std::nullopt;
    }
    const nlohmann::json& member = versions[kProgramKey];
    std::array<int, 3> parts{};
    const std::array<const char*, 3> names = {"major", "minor", "patch"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto it = member.is_object() ? member.find(names[i]) : member.end();
        if (it == member.end() || !it->is_number_integer()) {
            gf_logWarning("{} version in versions.json is not readable, skipped", kProgramKey);
            return std::nullopt;
        }
        parts[i] = it->get<int>();
    }
    const Version web{parts[0], parts[1], parts[2]};
    gf_logLine("{} program version at web = {}", kProgramKey, web.text());
    if (!(web > gf_programVersion())) {
        gf_logLine("{} version up-to-date", kProgramKey);
        return std::nullopt;
    }
    return web;
}

// new_version holds the installer: the release notes and the advice go beside it, the user
// gets the folder, and the run ends so that the installer can replace this program.
void lf_handOver() {
    try {
        const fs::path folder = kNewVersionFolder;
        const fs::path notes = folder / kReleaseNotes;
        const std::string address = gf_downloadsAddress() + "docs/" + kReleaseNotes;
        if (!gf_downloadFile(address, notes, true)) {
            gf_logWarning("could not download {} to {}", address, gf_pathText(notes));
        }
        std::error_code ec;
        const std::string advice = gf_installerAdvice(fs::current_path(ec));
        gf_logLine(advice);
        gf_flushLog();
        gf_writeFileAtomic(folder / kInstallerReadme, advice + "\n");
        if (!gf_openFolderOf(folder / kUnpackedInstaller)) {
            gf_warningBox("Could not open File Explorer at new version");
            showStatus(
                "Opening file explorer at the new version failed? Try manually via the Ostrand "
                "website.");
        }
    } catch (const std::exception& e) {
        gf_logWarning("{} exception: {}", "gf_checkVersions", e.what());
    }
    // The installer is in place whatever became of its companions.
    gf_runControl().requestStop(ExitReason::NewVersion, 0);
}

}  // namespace

bool gf_checkVersions() {
    std::optional<nlohmann::json> versions;
    try {
        versions = lf_fetchVersions();
    } catch (const std::exception& e) {
        gf_logWarning("{} exception: {}", "gf_checkVersions", e.what());
    }
    gf_removeIfExists(kVersionsFile);
    if (!versions) {
        return true;
    }
    if (const std::optional<Version> web = lf_newerProgram(*versions)) {
        bool prepared = false;
        try {
            prepared = gf_downloadNewVersion(*web);
        } catch (const std::exception& e) {
            gf_logWarning("{} exception: {}", "gf_downloadNewVersion", e.what());
        }
        if (prepared) {
            lf_handOver();
            return false;
        }
        showStatus(
            "The downloading/unzipping of the new version failed? Try manually via the Ostrand "
            "website.");
    }
    try {
        gf_checkDataVersions(*versions);
    } catch (const std::exception& e) {
        gf_logWarning("{} exception: {}", "gf_checkDataVersions", e.what());
    }
    return true;
}

std::string gf_installerAdviceFor(bool protectedFolder, bool writable, bool elevated) {
    if (protectedFolder && !writable && !elevated) {
        return "A new version is available. Run the installer as Administrator";
    }
    return "A new version is available.\nThe installer can be executed normally (no "
           "Administrator rights required).";
}

std::string gf_installerAdvice(const fs::path& programFolder) {
    // Without Program Files folders any folder may be closed to the user: the write test
    // alone decides.
    const bool protectedFolder =
        !platform::hasProgramFilesFolders() || platform::isBelowProgramFiles(programFolder);
    const bool writable = platform::writeTest(programFolder / ".write_test.tmp");
    return gf_installerAdviceFor(protectedFolder, writable, platform::processIsElevated());
}

}  // namespace wnd
