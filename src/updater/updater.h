// The check for a new program version at start-up: versions.json from the program's web
// server, the installer archive, its unpacking into the folder handed to the user, and the
// advice written beside it.
#pragma once

#include <filesystem>
#include <string>

#include "util/version.h"

namespace wnd {

// Names in the working folder (and on the server) that the user and the installer know.
inline constexpr const char* kNewVersionFolder = "new_version";
inline constexpr const char* kUnpackedInstaller = "install_new_version.exe";
inline constexpr const char* kReleaseNotes = "ReleaseNotes.pdf";
inline constexpr const char* kInstallerReadme = "README.txt";

// "setup_Wendle_P3D_d_v11.10.9.zip", the archive of the release folder, and the installer
// it holds ("... .exe").
std::string gf_installerArchiveName(const Version& web);
std::string gf_installerExeName(const Version& web);

// Start-up's update check: fetches versions.json into the working folder (removed after
// parsing), compares its "p3d" member with the program's own version and, when the web has
// a newer one, prepares new_version (installer, release notes, README.txt), opens it for
// the user and asks the run to end with NEW VERSION; returns false then. Otherwise, and on
// every failure (logged, shown in the status), it runs the data-version check and returns
// true. Never throws.
bool gf_checkVersions();

// Downloads and unpacks the installer archive of the web version; true when new_version
// holds the complete install_new_version.exe. On any failure the working folder is left as
// it was: no archive, no partial installer, new_version untouched.
bool gf_downloadNewVersion(const Version& web);

// What README.txt tells the user: run the installer as Administrator when the program folder
// is closed to this user, else that it runs normally.
std::string gf_installerAdvice(const std::filesystem::path& programFolder);
// The advice for the three facts behind it (the rule gf_installerAdvice applies).
std::string gf_installerAdviceFor(bool protectedFolder, bool writable, bool elevated);

}  // namespace wnd
