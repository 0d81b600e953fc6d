#include "liveries/regcodes.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <pugixml.hpp>

#include "liveries/liveries_state.h"
#include "refdata/encrypted_file.h"
#include "util/charset.h"
#include "util/files.h"
#include "util/log.h"
#include "util/strings.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

const char* lf_plural(std::size_t n) {
    return n == 1 ? "" : "s";
}

const char* lf_liveryWord(std::size_t n) {
    return n == 1 ? "livery" : "liveries";
}

// The items of a registration list, upper-case, each once, in written order.
std::vector<std::string> lf_regList(std::string_view text) {
    std::vector<std::string> regs;
    for (std::string& item : gf_splitList(text)) {
        if (item.empty()) {
            continue;
        }
        std::string reg = gf_toUpper(item);
        if (std::find(regs.begin(), regs.end(), reg) == regs.end()) {
            regs.push_back(std::move(reg));
        }
    }
    return regs;
}

// One line of a user file: "title;REG1,REG2" or "title;REG1,REG2;#".
std::optional<RegcodeRecord> lf_parseUserLine(std::string_view line, const fs::path& file) {
    if (line.size() < 6) {
        return std::nullopt;
    }
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(';', start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    if (fields.size() < 2 || fields.size() > 3) {
        return std::nullopt;
    }
    RegcodeRecord r;
    r.title = gf_trim(fields[0]);
    if (r.title.empty()) {
        return std::nullopt;
    }
    const std::string regText = gf_trim(fields[1]);
    for (std::string& reg : lf_regList(regText)) {
        if (reg.size() < 3 || reg.size() > 12) {
            gf_logWarning("wrong regcode length '{}' in {}", reg, gf_pathText(file));
            continue;
        }
        r.regs.push_back(std::move(reg));
    }
    r.special = fields.size() == 3 && gf_trim(fields[2]) == "#";
    if (r.regs.empty()) {
        gf_logLine("{} ; regs empty?", r.title);
        // Only a line that names no registration at all bans its title; one whose
        // registrations were all mistyped is a mistake, not a ban.
        if (!regText.empty()) {
            return std::nullopt;
        }
        r.dontUse = true;
    }
    return r;
}

// The .txt files of the folder in name order.
std::vector<fs::path> lf_userFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_regular_file(typeEc) &&
            gf_equalsUpper(".TXT", gf_pathText(it->path().extension()))) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool lf_hasAnyEntry(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    return !ec && it != fs::directory_iterator();
}

bool lf_readUserRegcodeFile(std::vector<RegcodeRecord>& records, const fs::path& file) {
    gf_logLine("Processing regcodes file '{}'", gf_pathText(file));
    const Charset charset = gf_detectCharset(file);
    std::vector<std::string> lines;
    if (charset == Charset::none_found || !gf_readLinesAsUtf8(charset, file, lines)) {
        gf_logWarning("Failed reading {}", gf_pathText(file));
        return false;
    }
    std::size_t n = 0;
    for (const std::string& line : lines) {
        if (std::optional<RegcodeRecord> r = lf_parseUserLine(line, file)) {
            records.push_back(std::move(*r));
            ++n;
        }
    }
    gf_logLine("{} {}", n, lf_liveryWord(n));
    return true;
}

void lf_writeLines(const fs::path& path, const std::vector<std::string>& lines) {
    std::error_code ec;
    fs::remove(path, ec);
    if (lines.empty()) {
        return;
    }
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    if (!out.good()) {
        gf_logWarning("writing {} failed", gf_pathText(path));
    }
}

// User records: a registration the files give to two titles.
void lf_noteMultiple(const std::vector<RegcodeRecord>& records, const fs::path& file,
                     TextMap<std::string>& firstTitle, std::vector<std::string>& lines) {
    for (const RegcodeRecord& r : records) {
        for (const std::string& reg : r.regs) {
            const auto [it, inserted] = firstTitle.try_emplace(reg, r.title);
            if (!inserted && it->second != r.title) {
                lines.push_back(fmt::format("regcode {} for '{}' and for '{}' ({})", reg,
                                            it->second, r.title, gf_pathText(file)));
            }
        }
    }
}

}  // namespace

int lf_readRegcodeFile(std::vector<RegcodeRecord>& records, const fs::path& xml) {
    int count = -1;
    {
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_file(xml.c_str());
        if (!parsed) {
            gf_logWarning("Failed to load {}", gf_pathText(xml));
        } else if (pugi::xml_node list = doc.child("root").child("AIG-regcodes"); !list) {
            gf_logWarning("No <AIG-regcodes> node found in XML.");
        } else {
            count = 0;
            std::string previous;
            for (pugi::xml_node liv : list.children("livery")) {
                RegcodeRecord r;
                r.title = gf_trim(liv.attribute("title").as_string());
                if (r.title.empty()) {
                    continue;
                }
                if (r.title == previous) {
                    gf_logWarning("Duplicate title '{}' (same as previous)", r.title);
                }
                previous = r.title;
                r.regs = lf_regList(liv.attribute("reg").as_string());
                r.special = liv.attribute("special").as_bool(false);
                r.dontUse = r.regs.empty();
                records.push_back(std::move(r));
                ++count;
            }
            gf_logLine("{} {} read from {}", count, lf_liveryWord(static_cast<std::size_t>(count)),
                       gf_pathText(xml));
        }
    }
    fs::remove(xml);  // throws the file-system error for "remove" when it cannot
    return count;
}

bool lf_readUserRegcodeFiles(std::vector<RegcodeRecord>& records, const fs::path& folder,
                             std::vector<std::string>* multiple) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return false;
    }
    bool ok = true;
    TextMap<std::string> firstTitle;
    for (const fs::path& file : lf_userFiles(folder)) {
        std::vector<RegcodeRecord> found;
        ok = lf_readUserRegcodeFile(found, file) && ok;
        if (multiple != nullptr) {
            lf_noteMultiple(found, file, firstTitle, *multiple);
        }
        records.insert(records.end(), std::make_move_iterator(found.begin()),
                       std::make_move_iterator(found.end()));
    }
    return ok;
}

void lf_readDontUseTitles() {
    LiveriesState& st = gf_liveries();
    const LiveryPaths& paths = st.paths;
    TextSet& dontUse = st.regcodes.dontUseTitles;
    dontUse.clear();
    auto addFrom = [&dontUse](const std::vector<RegcodeRecord>& records) {
        std::size_t added = 0;
        for (const RegcodeRecord& r : records) {
            if (r.dontUse && dontUse.insert(r.title).second) {
                ++added;
            }
        }
        return added;
    };
    if (gf_streamDecrypt(paths.regcodesEnc(), paths.regcodesXml())) {
        PlainFileGuard guard(paths.regcodesXml());
        std::vector<RegcodeRecord> records;
        if (lf_readRegcodeFile(records, paths.regcodesXml()) < 0) {
            st.regcodes.reportLines.push_back(
                fmt::format("There were errors in processing the file '{}', see the Log.txt",
                            gf_pathText(paths.regcodesXml())));
        }
        const std::size_t n = addFrom(records);
        gf_logLine("{} don't use title{} read", n, lf_plural(n));
    }
    if (lf_hasAnyEntry(paths.myRegcodes())) {
        std::vector<RegcodeRecord> records;
        const bool ok = lf_readUserRegcodeFiles(records, paths.myRegcodes());
        const std::size_t n = addFrom(records);
        gf_logLine("{} don't use title{} read from files in {}", n, lf_plural(n),
                   gf_pathText(paths.myRegcodes()));
        if (!ok) {
            st.regcodes.reportLines.push_back(fmt::format(
                "There were errors in processing the regcode files in folder '{}', see the "
                "Log.txt",
                gf_pathText(paths.myRegcodes())));
        }
    }
}

void lf_addInlineRegcodes(const LiveryCatalogue& catalogue) {
    LiveriesState& st = gf_liveries();
    std::vector<std::string> clashes;
    for (const Livery& l : catalogue) {
        if (l.atcid.empty()) {
            continue;
        }
        const auto [it, inserted] = st.regcodes.index.try_emplace(l.atcid, l.title);
        if (!inserted && it->second != l.title) {
            clashes.push_back(
                fmt::format("{} '{}' => already in use by '{}'", l.atcid, l.title, it->second));
        }
    }
    const fs::path file = st.paths.report(LiveryReport::InlineRegcodes);
    lf_writeLines(file, clashes);
    gf_logLine("{} in-line regcode clashes, see '{}'", clashes.size(), gf_pathText(file));
}

void lf_mergeRegcodes(const std::vector<RegcodeRecord>& records, const TextSet& installedTitles) {
    RegcodeTables& t = gf_liveries().regcodes;
    std::size_t added = 0;
    std::size_t replaced = 0;
    std::size_t special = 0;
    for (const RegcodeRecord& r : records) {
        if (!installedTitles.contains(r.title)) {
            continue;
        }
        for (const std::string& reg : r.regs) {
            const auto [it, inserted] = t.index.try_emplace(reg, r.title);
            if (inserted) {
                ++added;
            } else if (it->second != r.title) {
                t.reportLines.push_back(
                    fmt::format("   regcode {} for '{}', instead of the same for '{}'", reg,
                                r.title, it->second));
                it->second = r.title;
                ++replaced;
            }
            if (r.special) {
                t.specialRegistrations.insert(reg);
                ++special;
            }
        }
        if (r.special) {
            if (r.regs.size() == 1) {
                t.uniqueRegistrations.insert(r.regs.front());
            }
            t.specialLiveries.insert(r.title);
        }
    }
    std::string line = fmt::format("{} new regcode{} added", added, lf_plural(added));
    if (replaced > 0) {
        line += fmt::format(", {} regcode{} replaced", replaced, lf_plural(replaced));
    }
    if (special > 0) {
        line += fmt::format(", {} regcode{} defined as special", special, lf_plural(special));
    }
    gf_logLine(line);
    t.reportLines.push_back(std::move(line));
}

void lf_processRegcodeFiles(const LiveryCatalogue& catalogue) {
    LiveriesState& st = gf_liveries();
    const LiveryPaths& paths = st.paths;
    RegcodeTables& t = st.regcodes;
    try {
        t.reportLines.clear();
        TextSet installed;
        installed.reserve(catalogue.size());
        for (const Livery& l : catalogue) {
            installed.insert(l.title);
        }
        if (gf_streamDecrypt(paths.regcodesEnc(), paths.regcodesXml())) {
            PlainFileGuard guard(paths.regcodesXml());
            const std::string line =
                fmt::format("Processing file {}", gf_pathText(paths.regcodesEnc()));
            gf_logLine(line);
            t.reportLines.push_back(line);
            std::vector<RegcodeRecord> records;
            if (lf_readRegcodeFile(records, paths.regcodesXml()) < 0) {
                t.reportLines.push_back(
                    fmt::format("There were errors processing the AIG-regcode file '{}', see "
                                "Log.txt",
                                gf_pathText(paths.regcodesXml())));
            } else {
                lf_mergeRegcodes(records, installed);
            }
        }
        std::vector<std::string> multiple;
        if (lf_hasAnyEntry(paths.myRegcodes())) {
            const std::string line =
                fmt::format("Processing files in {}", gf_pathText(paths.myRegcodes()));
            gf_logLine(line);
            t.reportLines.push_back(line);
            bool ok = true;
            TextMap<std::string> firstTitle;
            for (const fs::path& file : lf_userFiles(paths.myRegcodes())) {
                std::vector<RegcodeRecord> records;
                ok = lf_readUserRegcodeFile(records, file) && ok;
                lf_noteMultiple(records, file, firstTitle, multiple);
                lf_mergeRegcodes(records, installed);
            }
            if (!ok) {
                t.reportLines.push_back(
                    fmt::format("There were errors processing the regcode files in folder '{}', "
                                "see Log.txt",
                                gf_pathText(paths.myRegcodes())));
            }
        }
        const fs::path offline = paths.report(LiveryReport::OfflineRegcodes);
        lf_writeLines(offline, t.reportLines);
        gf_logLine("Offline regcode files processed, results can be found in '{}'",
                   gf_pathText(offline));
        lf_writeLines(paths.report(LiveryReport::MultRegcodes), multiple);
        if (!t.specialLiveries.empty()) {
            gf_logLine("{} special liveries", t.specialLiveries.size());
        }
        if (!t.uniqueRegistrations.empty()) {
            gf_logLine("{} unique liveries", t.uniqueRegistrations.size());
        }
    } catch (const std::exception& e) {
        gf_logWarning("exception: {}", e.what());
    }
}

}  // namespace wnd
