#include "refdata/data_versions.h"

#include <fmt/format.h>

#include <array>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "board/status_board.h"
#include "refdata/encrypted_file.h"
#include "settings/settings.h"
#include "updater/downloader.h"
#include "updater/server.h"
#include "util/files.h"
#include "util/log.h"
#include "util/version.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

struct DataSet {
    const char* key;
    StringParameter Settings::*version;
    const char* remoteName;             // data files only
    const char* localFile;              // whose absence makes the set due; nullptr for none
    BoolParameter Settings::*scanFlag;  // scans only
};

const std::array<DataSet, 5> kDataSets = {{
    {"airports", &Settings::AIRPORTS_VERSION, "airports.enc", "input/airports.enc", nullptr},
    {"aig", &Settings::AIG_VERSION, "AIG-regcodes.enc", "input/AIG-regcodes.enc", nullptr},
    {"liveries", &Settings::LIV_SCAN_VERSION, nullptr, "output/LiveriesScanned.xml",
     &Settings::SCAN_LIVERIES},
    {"addons", &Settings::ADDONS_SCAN_VERSION, nullptr, nullptr, &Settings::SCAN_AIRPORTS},
    {"dbase", &Settings::DBASE_VERSION, "dbase.enc", "input/dbase.enc", nullptr},
}};

std::optional<Version> lf_webVersion(const nlohmann::json& member) {
    if (!member.is_object()) {
        return std::nullopt;
    }
    std::array<int, 3> parts{};
    const std::array<const char*, 3> names = {"major", "minor", "patch"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto it = member.find(names[i]);
        if (it == member.end() || !it->is_number_integer()) {
            return std::nullopt;
        }
        parts[i] = it->get<int>();
    }
    return Version{parts[0], parts[1], parts[2]};
}

// The local version of a set. An empty parameter (a new installation) means nothing was
// ever fetched; a text that does not parse is reported and taken as out of date, so the
// next successful fetch writes a good version again.
Version lf_localVersion(const DataSet& set, const std::string& text) {
    if (text.empty()) {
        return Version{};
    }
    try {
        return gf_parseVersion(text);
    } catch (const std::exception& e) {
        gf_logWarning("{} version '{}': {}, taken as out of date", set.key, text, e.what());
        return Version{-1, 0, 0};
    }
}

bool lf_missing(const char* file) {
    if (file == nullptr) {
        return false;
    }
    std::error_code ec;
    const bool there = fs::exists(file, ec);
    if (ec) {
        throw fs::filesystem_error("exists", fs::path(file), ec);
    }
    return !there;
}

void lf_setVersion(const DataSet& set, const Version& w) {
    StringParameter& p = gs().*(set.version);
    p.set(w.text());
    gf_saveParameter(p);
    gf_logLine("{} updated to {}", set.key, w.text());
}

}  // namespace

bool gf_downloadDataFile(std::string_view remoteName, const fs::path& localPath) {
    const std::string address =
        fmt::format("{}{}/{}", gf_downloadsAddress(), gf_programVersion().major, remoteName);
    fs::path fresh = localPath;
    fresh += ".new";
    if (gf_downloadFile(address, fresh, true) && gf_verifyEncryptedFile(fresh)) {
        std::error_code ec;
        fs::rename(fresh, localPath, ec);
        if (!ec) {
            gf_logLine("Downloaded '{}' to '{}'", address, gf_pathText(localPath));
            return true;
        }
        gf_logLine("could not rename {} => {}: {}", gf_pathText(fresh), gf_pathText(localPath),
                   ec.message());
    }
    gf_removeIfExists(fresh);
    gf_logWarning("Downloading '{}' failed !", address);
    return false;
}

void gf_checkDataVersions(const nlohmann::json& versions) {
    Settings& s = gs();
    for (const DataSet& set : kDataSets) {
        if (!versions.is_object() || !versions.contains(set.key)) {
            gf_logLine("{} version not found", set.key);
            continue;
        }
        const std::optional<Version> web = lf_webVersion(versions[set.key]);
        if (!web) {
            gf_logWarning("{} version in versions.json is not readable, skipped", set.key);
            continue;
        }
        const Version local = lf_localVersion(set, (s.*(set.version)).value());
        if (!(*web > local) && !lf_missing(set.localFile)) {
            gf_logLine("{} version up-to-date", set.key);
            continue;
        }
        if (set.remoteName != nullptr) {
            if (gf_downloadDataFile(set.remoteName, set.localFile)) {
                lf_setVersion(set, *web);
            }
            continue;
        }
        BoolParameter& flag = s.*(set.scanFlag);
        flag.set(true);
        gf_saveParameter(flag);
        gf_requestRepaint();
        lf_setVersion(set, *web);
    }
}

}  // namespace wnd
