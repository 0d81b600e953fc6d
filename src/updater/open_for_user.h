// Opening folders for the user in the desktop's file browser: the new version, the manual,
// the folder of parameters.xml. Failures are told in a warning message box.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

namespace wnd {

// The updater's process-wide object: how folders are opened and warnings shown. Empty
// members use the platform (the shell's "open", a message box); tests replace them.
// Set before the start-up thread runs and only read afterwards.
class UpdaterState {
  public:
    std::function<bool(const std::filesystem::path& folder)> openFolder;
    std::function<void(std::string_view text, std::string_view title)> warningBox;

    void reset();
};

UpdaterState& gf_updater();

// Shows a warning message box titled "Wendle" (and logs the text as a warning).
void gf_warningBox(std::string_view text);

// Opens the folder that holds the file, only when the file exists; true when the system
// reports it opened.
bool gf_openFolderOf(const std::filesystem::path& file);

// The folder of docs/Manual.pdf below the working folder (the current folder when empty);
// on failure the box "Could not open local folder with Manual".
bool gf_openManual(const std::filesystem::path& workFolder = {});
// The folder of parameters.xml; on failure the box "Could not open folder with
// parameters.xml".
bool gf_openParametersFolder();

}  // namespace wnd
