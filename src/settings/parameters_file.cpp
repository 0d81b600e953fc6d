// Reading, saving and migrating parameters.xml.
#include <fmt/format.h>

#include <mutex>
#include <pugixml.hpp>
#include <system_error>

#include "board/run_control.h"
#include "settings/settings.h"
#include "util/files.h"
#include "util/log.h"
#include "util/mutex.h"
#include "util/program.h"
#include "util/strings.h"
#include "util/version.h"
#include "util/xml.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

// Larger files are no settings file of ours; parsing them would only eat memory.
constexpr std::uintmax_t kMaxFileBytes = 16U * 1024U * 1024U;

// Every read and read-modify-write of parameters.xml holds the file lock, so saves from
// the window thread and the run thread never lose each other's values. Recursive:
// migration saves while it holds it.
std::recursive_mutex g_fileMu;

Mutex g_refreshMu;
ParameterRefresh g_refresh GUARDED_BY(g_refreshMu);

void refreshControl(Parameter& p) {
    ParameterRefresh refresh;
    {
        MutexLock lock(g_refreshMu);
        refresh = g_refresh;
    }
    if (refresh && p.controlId() != 0) {
        refresh(p);
    }
}

bool quiet() {
    return gf_runControl().ending();
}

enum class LoadResult { Loaded, Missing, Unparsable };

struct Loaded {
    LoadResult result = LoadResult::Missing;
    std::string description;
};

Loaded loadFile(pugi::xml_document& doc, const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        return {LoadResult::Missing, "file not found"};
    }
    const auto size = fs::file_size(path, ec);
    if (ec) {
        return {LoadResult::Unparsable, ec.message()};
    }
    if (size > kMaxFileBytes) {
        return {LoadResult::Unparsable, fmt::format("file too large ({} bytes)", size)};
    }
    const pugi::xml_parse_result r = doc.load_file(path.c_str());
    if (!r) {
        return {LoadResult::Unparsable, fmt::format("{} at offset {}", r.description(), r.offset)};
    }
    return {LoadResult::Loaded, {}};
}

// "parameters" under "root", or the older layout with "parameters" at the top.
pugi::xml_node parametersNode(pugi::xml_document& doc, bool& lacksRoot) {
    lacksRoot = false;
    if (pugi::xml_node n = doc.child("root").child("parameters")) {
        return n;
    }
    if (pugi::xml_node n = doc.child("parameters")) {
        lacksRoot = true;
        return n;
    }
    return {};
}

pugi::xml_node findParameter(pugi::xml_node parameters, std::string_view key) {
    for (pugi::xml_node p : parameters.children("parameter")) {
        if (key == p.attribute("name").value()) {
            return p;
        }
    }
    return {};
}

bool appendParameter(pugi::xml_node parameters, std::string_view key, const std::string& value) {
    pugi::xml_node n = parameters.append_child("parameter");
    if (!n) {
        return false;
    }
    return n.append_attribute("name").set_value(std::string(key).c_str()) &&
           n.append_attribute("value").set_value(value.c_str());
}

void copyAside(const fs::path& path, const std::string& description) {
    gf_save1GenerationOf(path);
    gf_logLine("{} failed to load ({}). Saved as 0.xml and removed.", gf_pathText(path),
               description);
    std::error_code ec;
    fs::remove(path, ec);
}

// Builds the whole file from the registry; `keep` carries unknown elements over.
void saveAll(bool reset, const pugi::xml_node keep) {
    Settings& s = gs();
    if (reset) {
        s.PROGRAM_VERSION.setDefault(std::string(kProgramVersionText));
    }
    pugi::xml_document doc;
    pugi::xml_node parameters = doc.append_child("root").append_child("parameters");
    for (Parameter* p : s.registryOrder()) {
        const std::string value = reset ? p->defaultText() : p->valueText();
        if (!appendParameter(parameters, p->key(), value)) {
            gf_logLine("{}adding xml parameter {} with {} failed!", "===> ", p->key(), value);
        }
        refreshControl(*p);
    }
    if (keep) {
        for (pugi::xml_node e : keep.children("parameter")) {
            if (s.find(e.attribute("name").value()) == nullptr) {
                parameters.append_copy(e);
            }
        }
    }
    if (!gf_saveXmlDocument(doc, s.filePath)) {
        gf_logLine("saving: {} failed", gf_pathText(s.filePath));
    }
    gf_logLine(gf_starBanner(40, 40, false, false, ""));
}

}  // namespace

void gf_setParameterRefresh(ParameterRefresh refresh) {
    MutexLock lock(g_refreshMu);
    g_refresh = std::move(refresh);
}

bool gf_checkParametersFileParses() {
    std::lock_guard fileLock(g_fileMu);
    pugi::xml_document doc;
    const fs::path& path = gs().filePath;
    const Loaded l = loadFile(doc, path);
    if (l.result == LoadResult::Unparsable) {
        copyAside(path, l.description);
        return false;
    }
    return true;
}

bool gf_readParameterFromFile(Parameter& p) {
    std::lock_guard fileLock(g_fileMu);
    pugi::xml_document doc;
    if (loadFile(doc, gs().filePath).result != LoadResult::Loaded) {
        return false;
    }
    bool lacksRoot = false;
    pugi::xml_node e = findParameter(parametersNode(doc, lacksRoot), p.key());
    if (!e) {
        return false;
    }
    p.setFromText(e.attribute("value").value());
    return true;
}

bool gf_readAllParameters() {
    std::lock_guard fileLock(g_fileMu);
    Settings& s = gs();
    gf_logLine(gf_starBanner(40, 40, true, false, "parameters"));
    gf_logLine("from '{}'", gf_pathText(s.filePath));
    pugi::xml_document doc;
    const Loaded l = loadFile(doc, s.filePath);
    bool lacksRoot = false;
    pugi::xml_node parameters;
    if (l.result == LoadResult::Loaded) {
        parameters = parametersNode(doc, lacksRoot);
    }
    if (!parameters) {
        if (l.result != LoadResult::Missing) {
            // Whatever it holds, it is the user's: keep a copy before writing defaults.
            copyAside(s.filePath,
                      l.result == LoadResult::Loaded ? "no parameters element" : l.description);
        }
        gf_logLine("{} not found, creating new with default values:", gf_pathText(s.filePath));
        saveAll(true, {});
        return true;
    }
    for (Parameter* p : s.registryOrder()) {
        if (pugi::xml_node e = findParameter(parameters, p->key())) {
            p->setFromText(e.attribute("value").value());
        } else {
            p->setFromText(p->defaultText());
            appendParameter(parameters, p->key(), p->defaultText());
        }
        if (!quiet()) {
            gf_logLine("{}={}", p->key(), p->valueText());
        }
        refreshControl(*p);
    }
    if (!gf_saveXmlDocument(doc, s.filePath)) {
        gf_logLine("saving: {} failed", gf_pathText(s.filePath));
    }
    gf_logLine(gf_starBanner(40, 40, false, true, ""));
    return false;
}

void gf_saveAllParameters(bool resetToDefaults) {
    std::lock_guard fileLock(g_fileMu);
    saveAll(resetToDefaults, {});
}

void gf_saveParameter(const Parameter& p) {
    std::lock_guard fileLock(g_fileMu);
    Settings& s = gs();
    pugi::xml_document doc;
    const Loaded l = loadFile(doc, s.filePath);
    if (l.result == LoadResult::Unparsable) {
        // A one-parameter file would lose every other setting at the next start.
        copyAside(s.filePath, l.description);
        saveAll(false, {});
        return;
    }
    if (l.result == LoadResult::Missing) {
        pugi::xml_document fresh;
        appendParameter(fresh.append_child("root").append_child("parameters"), p.key(),
                        p.valueText());
        if (!gf_saveXmlDocument(fresh, s.filePath)) {
            gf_logLine("saving: {} failed", gf_pathText(s.filePath));
        }
        return;
    }
    bool lacksRoot = false;
    pugi::xml_node parameters = parametersNode(doc, lacksRoot);
    if (!parameters) {
        lacksRoot = !doc.child("root");
        parameters = lacksRoot ? doc.append_child("parameters")
                               : doc.child("root").append_child("parameters");
    }
    const std::string value = p.valueText();
    bool matched = false;
    for (pugi::xml_node e : parameters.children("parameter")) {
        if (p.key() == e.attribute("name").value()) {
            pugi::xml_attribute a = e.attribute("value");
            if (!a) {
                a = e.append_attribute("value");
            }
            a.set_value(value.c_str());
            matched = true;
        }
    }
    if (!matched) {
        appendParameter(parameters, p.key(), value);
    }
    gf_logLine("{}={}", p.key(), value);
    if (lacksRoot) {
        gf_logLine(
            "\nPlacing a root level around a new parameters.xml to make it 100% xml compliance\n");
        // The old file is replaced in one step, so nothing is lost if this fails half-way.
        saveAll(false, parameters);
        return;
    }
    if (!gf_saveXmlDocument(doc, s.filePath)) {
        gf_logLine("saving: {} failed", gf_pathText(s.filePath));
    }
}

void gf_removeParameterKey(std::string_view name) {
    std::lock_guard fileLock(g_fileMu);
    Settings& s = gs();
    pugi::xml_document doc;
    if (loadFile(doc, s.filePath).result != LoadResult::Loaded) {
        return;
    }
    bool lacksRoot = false;
    pugi::xml_node parameters = parametersNode(doc, lacksRoot);
    if (!parameters) {
        return;
    }
    pugi::xml_node e = findParameter(parameters, name);
    if (!e) {
        return;
    }
    parameters.remove_child(e);
    if (!quiet()) {
        gf_logLine("Parameter '{}' removed", name);
    }
    if (!gf_saveXmlDocument(doc, s.filePath)) {
        gf_logLine("saving: {} failed", gf_pathText(s.filePath));
    }
}

bool gf_migrateParameters() {
    std::lock_guard fileLock(g_fileMu);
    Settings& s = gs();
    const std::string stored = s.PROGRAM_VERSION.value();
    const Version& current = gf_programVersion();
    if (stored == s.PROGRAM_VERSION.defaultValue()) {
        s.PROGRAM_VERSION.set(current.text());
        gf_saveParameter(s.PROGRAM_VERSION);
        return false;
    }
    Version old;
    try {
        old = gf_parseVersion(stored);
    } catch (const std::exception& e) {
        // Nothing to convert from; treat the file as written by this version.
        gf_logWarning("gf_migrateParameters: PROGRAM_VERSION '{}' ignored ({})", stored, e.what());
        s.PROGRAM_VERSION.set(current.text());
        gf_saveParameter(s.PROGRAM_VERSION);
        return false;
    }
    if (old != current) {
        s.PROGRAM_VERSION.set(current.text());
        gf_saveParameter(s.PROGRAM_VERSION);
    }
    if (!(current > old)) {
        return false;
    }
    gf_logLine("This is a version update from {} -> {}", old.text(), current.text());
    if (old < Version{11, 0, 2}) {
        return true;
    }
    for (const char* key :
         {"CALLSIGN_OBJECTIDS", "PARK_FAKE", "SUPPRESS_STUB", "LOG", "LEARN_SOFT",
          "PROGRAM_INSTALL_PATH", "LATERAL_RANGE", "CUSTOM_MAX_PARK", "MAX_LIVE", "AIRPORT_RANGE",
          "AUTO_RANGE_ABOVE_HEIGHT", "AIRPORT_HEIGHT", "MSFS_2020", "AI_PACKAGE_ORDER"}) {
        gf_removeParameterKey(key);
    }
    // Failed deletions of these leftovers are only logged: they harm nothing.
    std::error_code ec;
    if (fs::exists("TO_BE_LEARNED_OFFLINE", ec)) {
        fs::remove_all("TO_BE_LEARNED_OFFLINE", ec);
        if (ec) {
            gf_logWarning("gf_migrateParameters: removing TO_BE_LEARNED_OFFLINE failed: {}",
                          ec.message());
        }
    }
    if (fs::exists("versions.json", ec)) {
        fs::remove("versions.json", ec);
    }
    const fs::path cwd = fs::current_path(ec);
    gf_logLine("{}", gf_pathText(cwd));
    for (fs::directory_iterator it(cwd, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        const fs::path& f = it->path();
        if (it->is_regular_file(fec) && f.extension() == ".xml" &&
            gf_pathText(f.stem()).size() == 4) {
            if (!fs::remove(f, fec) || fec) {
                gf_logWarning("Failed to remove {} ({})", gf_pathText(f), fec.message());
            }
        }
    }
    return false;
}

bool gf_readAndMigrateParameters() {
    std::lock_guard fileLock(g_fileMu);
    Settings& s = gs();
    if (gf_readAllParameters()) {
        return true;
    }
    if (gf_migrateParameters()) {
        gf_logLine(
            "\nYour previous version was too old to convert the old text box parameters to the "
            "newdropbox values.");
        gf_logLine("{} re-starts with default parameter values ...\n", kProductTitle);
        std::error_code ec;
        fs::remove(s.filePath, ec);
        if (ec) {
            throw std::filesystem::filesystem_error("removing parameters.xml", s.filePath, ec);
        }
        gf_saveAllParameters(true);
    }
    return false;
}

}  // namespace wnd
