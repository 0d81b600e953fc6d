#include "updater/open_for_user.h"

#include <system_error>

#include "platform/platform.h"
#include "settings/settings.h"
#include "util/log.h"
#include "util/no_destructor.h"

namespace fs = std::filesystem;

namespace wnd {

void UpdaterState::reset() {
    openFolder = nullptr;
    warningBox = nullptr;
}

UpdaterState& gf_updater() {
    static NoDestructor<UpdaterState> s;
    return *s;
}

void gf_warningBox(std::string_view text) {
    gf_logWarning(text);
    constexpr std::string_view kTitle = "Wendle";
    if (const auto& box = gf_updater().warningBox; box) {
        box(text, kTitle);
    } else {
        platform::showWarningBox(text, kTitle);
    }
}

bool gf_openFolderOf(const fs::path& file) {
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        return false;
    }
    // The desktop gets a full path: its own current folder is not ours.
    const fs::path folder = fs::absolute(file, ec).parent_path();
    if (ec) {
        return false;
    }
    const auto& open = gf_updater().openFolder;
    return open ? open(folder) : platform::shellOpen(folder);
}

bool gf_openManual(const fs::path& workFolder) {
    if (gf_openFolderOf(workFolder / "docs" / "Manual.pdf")) {
        return true;
    }
    gf_warningBox("Could not open local folder with Manual");
    return false;
}

bool gf_openParametersFolder() {
    if (gf_openFolderOf(gs().filePath)) {
        return true;
    }
    gf_warningBox("Could not open folder with parameters.xml");
    return false;
}

}  // namespace wnd
