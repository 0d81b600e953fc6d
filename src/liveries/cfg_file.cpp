// Reading one aircraft.cfg (or sim.cfg): its [fltsim.N] sections checked and turned into
// livery records, with the lines for the log and the information and error lists.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <regex>
#include <unordered_map>

#include "liveries/cfg_parser.h"
#include "liveries/livery_scan_internal.h"
#include "refdata/dbase.h"
#include "util/charset.h"
#include "util/files.h"
#include "util/strings.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

constexpr std::string_view kPrivate = "PVT";

// Registrations are letters, digits and '-', 2 to 12 characters with a letter or digit.
bool lf_isValidAtcId(std::string_view id) {
    if (id.size() < 2 || id.size() > 12) {
        return false;
    }
    bool alnum = false;
    for (char c : id) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) != 0) {
            alnum = true;
        } else if (c != '-') {
            return false;
        }
    }
    return alnum;
}

bool lf_hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 && c != '\t';
    });
}

// Reads a configuration file as UTF-8 lines; false (listed) when it cannot be used.
bool lf_readCfgFile(const fs::path& file, std::vector<std::string>& lines, FileFindings& f) {
    const std::string name = gf_pathText(file);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (!ec && size > kMaxCfgFileBytes) {
        f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                       fmt::format("{} is too large for an aircraft configuration ({} bytes), "
                                   "skipped",
                                   name, size));
        return false;
    }
    const Charset charset = gf_detectCharset(file);
    if (charset == Charset::none_found) {
        f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                       fmt::format("! No text encoding detected for {}", name));
        return false;
    }
    // A text file never holds a NUL; binary junk nearly always does.
    const bool read = gf_readLinesAsUtf8(charset, file, lines);
    const bool binary = read && std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
                            return l.find('\0') != std::string::npos;
                        });
    const bool undecodable = read && lines.empty() && !ec && size > 0;
    if (!read || binary || undecodable) {
        lines.clear();
        f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                       fmt::format("! Failed reading {}", name));
        return false;
    }
    return true;
}

// The file's [fltsim.N] sections; nothing (listed) when there are none to use.
std::optional<ParsedCfg> lf_readFltsimSections(const fs::path& file, FileFindings& f) {
    std::vector<std::string> lines;
    if (!lf_readCfgFile(file, lines, f)) {
        return std::nullopt;
    }
    ParsedCfg cfg = lf_parseCfgLines(lines);
    if (cfg.sections.empty()) {
        f.report(LiveryReport::NoFltsimSection, gf_pathText(file));
        return std::nullopt;
    }
    return cfg;
}

// Existence of the texture, model and .air paths, asked once per file.
class PathCache {
  public:
    explicit PathCache(fs::path folder) : folder_(std::move(folder)) {}
    bool exists(const std::string& name) {
        const auto it = known_.find(name);
        if (it != known_.end()) {
            return it->second;
        }
        std::error_code ec;
        const bool e = fs::exists(folder_ / lf_path(name), ec);
        known_.emplace(name, e);
        return e;
    }
    fs::path path(const std::string& name) const { return folder_ / lf_path(name); }

  private:
    fs::path folder_;
    std::unordered_map<std::string, bool> known_;
};

enum class CfgKind { Standard, Ivao };

// The checks every section goes through, whichever kind of file it is in. Gives the
// livery with title, registration, cargo flag and folder, or nothing when the section
// is not usable.
struct SectionChecks {
    const fs::path& file;
    const std::string fileName;
    int folderIndex;
    CfgKind kind;
    const TextSet& dontUse;
    PathCache& paths;
    FileFindings& f;

    std::optional<Livery> operator()(const FltsimSection& s, std::string& parkingCodes) const {
        const std::string where = fmt::format("{} {}", fileName, s.header);
        const std::optional<std::string>& title = s[CfgKey::title];
        if (!title) {
            f.logAndReport(LiveryReport::IncompleteFltsimSections,
                           kind == CfgKind::Ivao ? fmt::format("{} misses title", fileName)
                                                 : fmt::format("{} misses title", where));
            return std::nullopt;
        }
        // "title = X" is the usual way of writing; blanks beyond that were a slip.
        std::string_view written = s.rawTitle;
        if (!written.empty() && written.front() == ' ') {
            written.remove_prefix(1);
        }
        if (!written.empty() && written != *title &&
            (written.front() == ' ' || written.front() == '\t' || written.back() == ' ' ||
             written.back() == '\t')) {
            f.log.push_back(
                fmt::format("removed spaces around: \"{}\" -> \"{}\"", s.rawTitle, *title));
        }
        if (dontUse.contains(*title)) {
            return std::nullopt;
        }
        if (lf_hasControlCharacter(*title)) {
            f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                           fmt::format("{} title has control characters", where));
            return std::nullopt;
        }
        if (s.count(CfgKey::title) > 1) {
            f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                           fmt::format("{} {} has more than one title key", fileName, s.header));
        }
        if (s.count(CfgKey::atc_parking_codes) > 1) {
            f.logAndReport(
                LiveryReport::InvalidAircraftCfgFiles,
                fmt::format("{} {} has more than one atc_parking_codes key", fileName, s.header));
        }
        if (s.count(CfgKey::atc_parking_types) > 1) {
            f.logAndReport(
                LiveryReport::InvalidAircraftCfgFiles,
                fmt::format("{} {} has more than one atc_parking_types key", fileName, s.header));
        }
        if (s.count(CfgKey::atc_id) > 1) {
            f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                           fmt::format("{}, {}, has more than one atc_id key", fileName, s.header));
        }
        Livery l;
        l.title = *title;
        l.folderIndex = folderIndex;
        l.cfgPath = file;
        if (const auto& id = s[CfgKey::atc_id]) {
            std::string upper = gf_toUpper(*id);
            if (lf_isValidAtcId(upper)) {
                l.atcid = std::move(upper);
            } else {
                f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                               fmt::format("invalid atc_id={} in: {}", upper, where));
            }
        }
        const std::optional<std::string>& sim = s[CfgKey::sim];
        if (!sim) {
            f.logAndReport(LiveryReport::IncompleteFltsimSections,
                           fmt::format("{} misses sim", where));
            return std::nullopt;
        }
        const std::optional<std::string>& texture = s[CfgKey::texture];
        const std::optional<std::string>& model = s[CfgKey::model];
        for (const std::string& needed :
             {texture ? "texture." + *texture : std::string("texture"),
              model ? "model." + *model : std::string("model"), *sim + ".air"}) {
            if (!paths.exists(needed)) {
                f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                               fmt::format("{} or related path does not exist: {}", where,
                                           gf_pathText(paths.path(needed))));
                return std::nullopt;
            }
        }
        if (const auto& types = s[CfgKey::atc_parking_types]) {
            l.cargo = gf_toUpper(gf_normaliseList(*types)).find("CARGO") != std::string::npos;
        }
        parkingCodes = s[CfgKey::atc_parking_codes].value_or("");
        return l;
    }
};

void lf_addFound(FileFindings& f, Livery l, std::string duplicateMessage) {
    f.liveries.push_back(FoundLivery{std::move(l), std::move(duplicateMessage)});
}

// The airline of a section of an ordinary file: the first parking code when it is a
// known airline; else the registration database, else "PVT" (heavies are dropped).
bool lf_decideAirline(Livery& l, const std::string& parkingCodes, const std::string& where,
                      FileFindings& f) {
    const std::vector<std::string> codes = gf_splitList(parkingCodes);
    const std::string code = codes.empty() ? std::string() : gf_toUpper(codes.front());
    if (gf_isKnownAirline(code)) {
        l.airl = code;
        return true;
    }
    if (!code.empty() && code != "RFO") {
        f.report(LiveryReport::InvalidAirlineCodes,
                 fmt::format("{} airline code '{}' is not known", where, code));
    }
    f.log.push_back(fmt::format("{} icao_airline is missing, or it has invalid info ", where));
    const bool heavy = gf_typeCategory(l.type) == kHeavy;
    if (!l.atcid.empty()) {
        const std::optional<DbaseInfo> db = gf_lookupRegistration(l.atcid);
        if (db && !db->airl.empty()) {
            f.report(LiveryReport::AirlineModelConversions,
                     fmt::format("{:80} {} airl '{}' => {}", l.title, l.atcid, code, db->airl));
            l.airl = db->airl;
            return true;
        }
        if (heavy) {
            f.logAndReport(
                LiveryReport::IncompleteFltsimSections,
                fmt::format("'{}' '{}' has no airline and regcode not in dbase", l.title, l.atcid));
            return false;
        }
        l.airl = kPrivate;
        return true;
    }
    if (heavy) {
        f.logAndReport(
            LiveryReport::IncompleteFltsimSections,
            fmt::format("'{}' '{}' has no airline and no regcode info", l.title, l.type));
        return false;
    }
    l.airl = kPrivate;
    l.atcid = gf_findRegistrationIn(l.title).value_or("");
    return true;
}

// The type of an ordinary file: its atc_model, or the fix for it.
std::optional<std::string> lf_fileType(const ParsedCfg& cfg, const std::string& fileName,
                                       FileFindings& f) {
    if (!cfg.atcModel) {
        f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                       "Line atc_model= is missing in [General] section of " + fileName);
        return std::nullopt;
    }
    const std::string model = gf_toUpper(*cfg.atcModel);
    if (gf_isKnownType(model)) {
        return model;
    }
    const auto& fixes = gf_dbase().fixes;
    if (const auto it = fixes.find(model); it != fixes.end()) {
        f.logAndReport(LiveryReport::Fixes, fmt::format("Model fix: {} found in {} changed into {}",
                                                        model, fileName, it->second));
        return it->second;
    }
    for (const FltsimSection& s : cfg.sections) {
        f.report(LiveryReport::InvalidAircraftCodes,
                 fmt::format("{} {} model '{}' is not a known type", fileName, s.header, model));
    }
    return std::nullopt;
}

// The IVAO packages name the type in their folder: ...\IVAO_MTL\IVAO_B738\aircraft.cfg.
std::string lf_ivaoModel(const fs::path& file, FileFindings& f) {
    static const std::regex kPattern(R"(.+/IVAO_MTL/IVAO_(\w+)/aircraft\.cfg$)",
                                     std::regex::ECMAScript | std::regex::icase);
    std::string generic = file.generic_string();
    std::replace(generic.begin(), generic.end(), '\\', '/');
    std::smatch m;
    if (!std::regex_match(generic, m, kPattern)) {
        return {};
    }
    const std::string found = m[1].str();
    std::string model = found;
    auto dropLast = [&model](std::size_t n) { model.resize(model.size() - n); };
    if (model.size() > 1 && model.back() == 'w') {
        dropLast(1);
    }
    if (model == "B744F" || model == "T154M") {
        dropLast(1);
    } else if (model == "T154B2") {
        dropLast(2);
    } else if (model == "GLID_SH") {
        dropLast(3);
    } else if (model == "GLID_A13" || model == "GLID_A25" || model == "GLID_KA6" ||
               model == "GLID_KA8" || model == "GLID_L13") {
        dropLast(4);
    }
    if (model != found) {
        const std::string line = fmt::format("Model fix: {} found in {} changed into {}", found,
                                             gf_pathText(file), model);
        f.log.push_back(line);
        f.report(LiveryReport::AirlineModelConversions, line);
    }
    return model;
}

// The airline code an IVAO title begins with: its first three word characters.
std::string lf_titlePrefix(std::string_view title) {
    std::size_t i = 0;
    while (i < title.size() && std::isspace(static_cast<unsigned char>(title[i])) != 0) {
        ++i;
    }
    if (title.size() - i < 3) {
        return {};
    }
    for (std::size_t k = i; k < i + 3; ++k) {
        const auto u = static_cast<unsigned char>(title[k]);
        if (std::isalnum(u) == 0 && title[k] != '_') {
            return {};
        }
    }
    return gf_toUpper(title.substr(i, 3));
}

// One section of an IVAO file: the airline from the title, else from the registration.
void lf_procesFltSimSection(const FltsimSection& s, const std::string& model,
                            const SectionChecks& checks) {
    FileFindings& f = checks.f;
    std::string parkingCodes;
    std::optional<Livery> l = checks(s, parkingCodes);
    if (!l) {
        return;
    }
    const std::string& fileName = checks.fileName;
    if (model.empty() || !gf_isKnownType(model)) {
        f.report(LiveryReport::InvalidAircraftCodes,
                 fmt::format("{} {} model '{}' is not a known type", fileName, s.header, model));
        return;
    }
    l->type = model;
    const std::string code = lf_titlePrefix(l->title);
    if (gf_isKnownAirline(code)) {
        l->airl = code;
    } else {
        if (!code.empty()) {
            f.report(LiveryReport::InvalidAirlineCodes,
                     fmt::format("{} {} airline code '{}' is not known", fileName, s.header, code));
        }
        const std::optional<DbaseInfo> db =
            l->atcid.empty() ? std::nullopt : gf_lookupRegistration(l->atcid);
        if (!db || db->airl.empty()) {
            f.logAndReport(LiveryReport::IncompleteFltsimSections,
                           l->atcid.empty()
                               ? fmt::format("{} misses airlinecode in title: {}, and no regcode",
                                             fileName, l->title)
                               : fmt::format("{} misses airlinecode in title: {}, and regcode "
                                             "unknown {}",
                                             fileName, l->title, l->atcid));
            return;
        }
        l->airl = db->airl;
    }
    std::string duplicate = fmt::format("{} title already exists: {}", fileName, l->title);
    lf_addFound(f, std::move(*l), std::move(duplicate));
}

}  // namespace

FileFindings lf_searchLiveriesinFile(int folderIndex, const fs::path& file,
                                     const TextSet& dontUseTitles) {
    FileFindings f;
    const std::string fileName = gf_pathText(file);
    const std::optional<ParsedCfg> cfg = lf_readFltsimSections(file, f);
    if (!cfg) {
        return f;
    }
    const std::optional<std::string> type = lf_fileType(*cfg, fileName, f);
    if (!type) {
        return f;
    }
    PathCache paths(file.parent_path());
    const SectionChecks checks{file,  fileName, folderIndex, CfgKind::Standard, dontUseTitles,
                               paths, f};
    for (const FltsimSection& s : cfg->sections) {
        std::string parkingCodes;
        std::optional<Livery> l = checks(s, parkingCodes);
        if (!l) {
            continue;
        }
        l->type = *type;
        const std::string where = fmt::format("{} {}", fileName, s.header);
        if (!lf_decideAirline(*l, parkingCodes, where, f)) {
            continue;
        }
        std::string duplicate = fmt::format("{} title '{}' already exists", where, l->title);
        lf_addFound(f, std::move(*l), std::move(duplicate));
    }
    return f;
}

FileFindings lf_searchLiveriesinIVAOFile(int folderIndex, const fs::path& file,
                                         const TextSet& dontUseTitles) {
    FileFindings f;
    const std::string fileName = gf_pathText(file);
    const std::optional<ParsedCfg> cfg = lf_readFltsimSections(file, f);
    if (!cfg) {
        return f;
    }
    std::string model = lf_ivaoModel(file, f);
    if (!model.empty() && !gf_isKnownType(model)) {
        const auto& fixes = gf_dbase().fixes;
        if (const auto it = fixes.find(model); it != fixes.end()) {
            f.logAndReport(LiveryReport::Fixes,
                           fmt::format("Model fix: {} found in {} changed into {}", model, fileName,
                                       it->second));
            model = it->second;
        }
    }
    PathCache paths(file.parent_path());
    const SectionChecks checks{file, fileName, folderIndex, CfgKind::Ivao, dontUseTitles, paths, f};
    for (const FltsimSection& s : cfg->sections) {
        lf_procesFltSimSection(s, model, checks);
    }
    return f;
}

}  // namespace wnd
