#include "liveries/livery_scan.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <regex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "board/run_control.h"
#include "board/status_board.h"
#include "liveries/cfg_parser.h"
#include "liveries/liveries_state.h"
#include "liveries/regcodes.h"
#include "platform/platform.h"
#include "refdata/dbase.h"
#include "settings/settings.h"
#include "util/charset.h"
#include "util/log.h"
#include "util/mutex.h"
#include "util/program.h"
#include "util/strings.h"
#include "util/user_error.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace wnd {

namespace {

constexpr std::string_view kPrivate = "PVT";
constexpr std::size_t kMaxDirPathBytes = 250;

const char* lf_plural(std::size_t n) {
    return n == 1 ? "" : "s";
}

bool lf_ending() {
    return gf_runControl().ending();
}

// Texts inside the program are UTF-8, whatever the system's own path encoding.
fs::path lf_path(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

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
    const std::string name = file.string();
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
        f.report(LiveryReport::NoFltsimSection, file.string());
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
                                           paths.path(needed).string()));
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
        const std::string line =
            fmt::format("Model fix: {} found in {} changed into {}", found, file.string(), model);
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
    const std::string fileName = file.string();
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
    const std::string fileName = file.string();
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

namespace {

bool lf_isConfigurationFile(const fs::path& p) {
    if (!gf_equalsUpper(".CFG", p.extension().string())) {
        return false;
    }
    const std::string stem = p.stem().string();
    return gf_equalsUpper("AIRCRAFT", stem) || gf_equalsUpper("SIM", stem);
}

bool lf_isIvaoPath(const fs::path& p) {
    const std::string s = p.string();
    return s.find("ivao_x-csl") != std::string::npos || s.find("IVAO_MTL") != std::string::npos;
}

// Walks the folder depth first in name order: "airport" folders (below the folder given)
// and folders whose path reaches 250 bytes are not entered; a folder reached again through
// a link is walked once.
template <typename OnFile>
void lf_walk(const fs::path& root, OnFile&& onFile) {
    struct Pending {
        fs::path dir;
        bool link;  // reached through a symbolic link or junction
    };
    std::vector<Pending> pending{{root, true}};
    TextSet visited;
    const std::size_t rootLength = root.generic_string().size();
    while (!pending.empty() && !lf_ending()) {
        const Pending next = std::move(pending.back());
        pending.pop_back();
        const fs::path& dir = next.dir;
        if (dir.u8string().size() >= kMaxDirPathBytes) {
            continue;
        }
        const std::string generic = dir.generic_string();
        if (generic.size() > rootLength &&
            generic.find("airport", rootLength) != std::string::npos) {
            continue;
        }
        std::error_code ec;
        if (next.link) {
            const fs::path canonical = fs::canonical(dir, ec);
            if (!ec && !visited.insert(canonical.string()).second) {
                continue;
            }
        }
        std::vector<fs::directory_entry> entries;
        fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            entries.push_back(*it);
        }
        if (ec) {
            gf_logLine("{} could not be read: {}", dir.string(), ec.message());
        }
        std::sort(entries.begin(), entries.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) {
                      return a.path().native() < b.path().native();
                  });
        std::vector<Pending> subfolders;
        for (const fs::directory_entry& e : entries) {
            std::error_code typeEc;
            if (e.is_directory(typeEc)) {
                subfolders.push_back({e.path(), e.is_symlink(typeEc)});
            } else if (e.is_regular_file(typeEc) && lf_isConfigurationFile(e.path())) {
                onFile(e.path());
                if (lf_ending()) {
                    return;
                }
            }
        }
        pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                       std::make_move_iterator(subfolders.rend()));
    }
}

// The threads the file tasks run on, at most as many as the machine has hardware threads.
// A thread per file would hand over to the scheduler twice a file, and on a busy machine
// each hand-over waits for a time slice. The workers are detached and share this state,
// so a task stuck on a dead network drive cannot hold up closing down.
class TaskPool {
  public:
    static std::shared_ptr<TaskPool> start(unsigned threads) {
        auto pool = std::shared_ptr<TaskPool>(new TaskPool());
        for (unsigned i = 0; i < threads; ++i) {
            try {
                std::thread([pool] { pool->work(); }).detach();
                ++pool->workers_;
            } catch (const std::system_error& e) {
                gf_logWarning("{} exception: {}", "lf_scanLiveryFolder", e.what());
                break;
            }
        }
        return pool;
    }

    std::future<FileFindings> submit(std::packaged_task<FileFindings()> task) {
        std::future<FileFindings> result = task.get_future();
        if (workers_ == 0) {
            task();  // no thread to be had: do the file here
            return result;
        }
        {
            MutexLock lock(mu_);
            queue_.push_back(std::move(task));
        }
        cv_.notifyOne();
        return result;
    }

    // Workers end once the queue is empty; tasks not begun are dropped.
    void close() {
        {
            MutexLock lock(mu_);
            closed_ = true;
            queue_.clear();
        }
        cv_.notifyAll();
    }

  private:
    TaskPool() = default;

    void work() {
        try {
            for (;;) {
                std::packaged_task<FileFindings()> task;
                {
                    MutexLock lock(mu_);
                    cv_.wait(lock, [this]() REQUIRES(mu_) { return closed_ || !queue_.empty(); });
                    if (queue_.empty()) {
                        return;
                    }
                    task = std::move(queue_.front());
                    queue_.pop_front();
                }
                task();
            }
        } catch (const std::exception& e) {
            gf_logWarning("{} exception: {}", "lf_scanLiveryFolder", e.what());
        } catch (...) {
            gf_logWarning("Exception in {}", "lf_scanLiveryFolder");
        }
    }

    unsigned workers_ = 0;  // written before any worker reads the queue
    Mutex mu_;
    CondVar cv_;
    std::deque<std::packaged_task<FileFindings()>> queue_ GUARDED_BY(mu_);
    bool closed_ GUARDED_BY(mu_) = false;
};

std::packaged_task<FileFindings()> lf_fileTask(std::shared_ptr<const TextSet> dontUse, int index,
                                               fs::path file) {
    const bool ivao = lf_isIvaoPath(file);
    return std::packaged_task<FileFindings()>([dontUse, index, file, ivao] {
        FileFindings f;
        try {
            f = ivao ? lf_searchLiveriesinIVAOFile(index, file, *dontUse)
                     : lf_searchLiveriesinFile(index, file, *dontUse);
        } catch (const std::exception& e) {
            f = FileFindings{};
            f.logAndReport(LiveryReport::InvalidAircraftCfgFiles,
                           fmt::format("{} exception: {} ({})", "lf_searchLiveriesinFile", e.what(),
                                       file.string()));
        } catch (...) {
            f = FileFindings{};
            f.logAndReport(
                LiveryReport::InvalidAircraftCfgFiles,
                fmt::format("Exception in {} ({})", "lf_searchLiveriesinFile", file.string()));
        }
        return f;
    });
}

std::size_t lf_merge(FileFindings& f, ScanSession& session) {
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

}  // namespace

std::size_t lf_scanLiveryFolder(int index, const fs::path& folder, ScanSession& session) {
    const std::shared_ptr<const TextSet> dontUse =
        session.dontUseTitles ? session.dontUseTitles : std::make_shared<const TextSet>();
    const std::shared_ptr<TaskPool> pool = TaskPool::start(std::max(1U, session.taskLimit));
    // Closed however this ends, so that the workers end too.
    struct Closer {
        TaskPool& pool;
        ~Closer() { pool.close(); }
    } closer{*pool};
    std::vector<std::future<FileFindings>> futures;
    lf_walk(folder, [&](const fs::path& file) {
        futures.push_back(pool->submit(lf_fileTask(dontUse, index, file)));
    });
    std::size_t added = 0;
    for (std::future<FileFindings>& future : futures) {
        if (future.wait_for(10s) != std::future_status::ready) {
            throw std::runtime_error("Future wait timed out after 10 seconds");
        }
        FileFindings f = future.get();
        added += lf_merge(f, session);
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
        gf_logWarning("writing {} failed", path.string());
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

// Liveries of one title keep the one of the lowest folder index.
void lf_prioritize(LiveryCatalogue& catalogue) {
    TextMap<std::size_t> best;
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const auto [it, inserted] = best.try_emplace(catalogue[i].title, i);
        if (!inserted && catalogue[i].folderIndex < catalogue[it->second].folderIndex) {
            it->second = i;
        }
    }
    LiveryCatalogue kept;
    kept.reserve(best.size());
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        if (best.at(catalogue[i].title) == i) {
            kept.push_back(std::move(catalogue[i]));
        }
    }
    catalogue = std::move(kept);
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
        const std::string file = paths.report(e.report).string();
        text += "\n" + (e.plural ? fmt::format(fmt::runtime(e.format), n, lf_plural(n), file)
                                 : fmt::format(fmt::runtime(e.format), n, file));
    }
    gf_logLine(text.empty() ? std::string("\nNo errors") : "\nErrors:" + text);
    gf_logLine("\nInformation:");
    gf_logLine("{} empty aircraft.cfg files, see {}", session.count(LiveryReport::NoFltsimSection),
               paths.report(LiveryReport::NoFltsimSection).string());
    gf_logLine("{} liveries updated with real live data from dbase, see {}",
               session.registrationUpdates,
               paths.report(LiveryReport::RegistrationConversions).string());
}

// Opens the manual's folder and the folder of parameters.xml, so that the user can set
// the livery folders.
void lf_openForUser() {
    LiveriesState& st = gf_liveries();
    const std::function<bool(const fs::path&)> open =
        st.openForUser ? st.openForUser
                       : std::function<bool(const fs::path&)>(
                             [](const fs::path& p) { return platform::shellOpen(p); });
    std::error_code ec;
    const fs::path manual = st.paths.work / "docs" / "Manual.pdf";
    if (!fs::exists(manual, ec) || !open(manual.parent_path())) {
        gf_logWarning("Could not open local folder with Manual");
    }
    const fs::path parameters = gs().filePath;
    if (!fs::exists(parameters, ec) || !open(parameters.parent_path())) {
        gf_logWarning("Could not open folder with parameters.xml");
    }
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
        lf_prioritize(st.catalogue);
    }
    if (lf_writeLiveriesScanned(st.catalogue, paths.catalogue())) {
        gf_logLine("{} liveries in {}", st.catalogue.size(), paths.catalogue().string());
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
        lf_openForUser();
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
