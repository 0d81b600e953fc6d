// output/LiveriesScanned.xml: what the last scan found, read back on every run.
#include <fmt/format.h>

#include <pugixml.hpp>

#include "board/status_board.h"
#include "liveries/livery_scan.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "util/files.h"
#include "util/log.h"
#include "util/strings.h"
#include "util/version.h"
#include "util/xml.h"

namespace fs = std::filesystem;

namespace wnd {

bool lf_writeLiveriesScanned(const LiveryCatalogue& catalogue, const fs::path& path) {
    if (catalogue.empty()) {
        return false;
    }
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("root");
    root.append_child("meta").append_attribute("version").set_value(
        gf_programVersion().text().c_str());
    pugi::xml_node liveries = root.append_child("liveries");
    for (const Livery& l : catalogue) {
        pugi::xml_node liv = liveries.append_child("liv");
        liv.append_attribute("airl").set_value(l.airl.c_str());
        liv.append_attribute("type").set_value(l.type.c_str());
        if (l.cargo) {
            liv.append_attribute("cargo").set_value(true);
        }
        liv.append_attribute("title").set_value(l.title.c_str());
        if (!l.atcid.empty()) {
            liv.append_attribute("atcid").set_value(l.atcid.c_str());
        }
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    return gf_saveXmlDocument(doc, path);
}

LiveryCatalogue lf_readLiveriesScanned(const fs::path& path) {
    LiveryCatalogue catalogue;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        showStatus(fmt::format("File {} not found", gf_pathText(path)));
        return catalogue;
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (!parsed) {
        // Our own file, damaged: keep it for a look, and scan anew at the next start.
        const fs::path aside = gf_generationName(path);
        platform::copyFile(path, aside, ec);
        fs::remove(path, ec);
        gf_logWarning("{} failed to load ({}). Saved as {} and removed.", gf_pathText(path),
                      parsed.description(), gf_pathText(aside));
        Settings& s = gs();
        s.SCAN_LIVERIES.set(true);
        gf_saveParameter(s.SCAN_LIVERIES);
        return catalogue;
    }
    TextSet titles;
    std::size_t skipped = 0;
    for (pugi::xml_node liv : doc.child("root").child("liveries").children("liv")) {
        Livery l;
        l.title = liv.attribute("title").as_string();
        l.type = liv.attribute("type").as_string();
        l.airl = liv.attribute("airl").as_string();
        l.atcid = liv.attribute("atcid").as_string();
        l.cargo = liv.attribute("cargo").as_bool(false);
        if (l.title.empty() || !titles.insert(l.title).second) {
            ++skipped;
            continue;
        }
        catalogue.push_back(std::move(l));
    }
    if (skipped > 0) {
        gf_logWarning("{} entries without a title or with a repeated title skipped in {}", skipped,
                      gf_pathText(path));
    }
    gf_logLine("{} liveries read from {}", catalogue.size(), gf_pathText(path));
    return catalogue;
}

}  // namespace wnd
