// Versions of the data sets and the fetching of newer data files from the web server.
#pragma once

#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <string_view>

namespace wnd {

// Fetches "<downloads>/<major version>/<remoteName>" into localPath. The download is
// checked to decrypt with the program's key before it replaces the local file, so a
// broken download never replaces a file that works. Logs "Downloaded '{}' to '{}'" or
// the warning "Downloading '{}' failed !".
bool gf_downloadDataFile(std::string_view remoteName, const std::filesystem::path& localPath);

// The per-data-set check over the parsed versions.json, in the order airports, aig,
// liveries, addons, dbase: fetches newer data files, asks for new scans and keeps the
// version parameters. Paths are relative to the working folder. Throws a file-system
// error ("exists") when the existence of a local file cannot be tested.
void gf_checkDataVersions(const nlohmann::json& versions);

}  // namespace wnd
