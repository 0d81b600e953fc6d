#include "util/files.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <random>

#include "platform/platform.h"
#include "util/log.h"

namespace fs = std::filesystem;

namespace wnd {

std::string gf_pathText(const std::filesystem::path& path) {
    const std::u8string u8 = path.u8string();
    return {u8.begin(), u8.end()};
}

std::filesystem::path gf_textPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

namespace {

std::atomic<int> g_failWrites{0};

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

bool hasDotInName(const fs::path& path) {
    return gf_pathText(path.filename()).find('.') != std::string::npos;
}

// One copy step of a generation chain; false when it failed.
bool copyGeneration(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    const bool there = fs::exists(from, ec);
    if (ec) {
        gf_logWarning("exists({}): {}", gf_pathText(from), ec.message());
        return false;
    }
    if (!there) {
        return true;
    }
    platform::copyFile(from, to, ec);
    if (ec) {
        gf_logWarning("copy {} -> {} failed: {}", gf_pathText(from), gf_pathText(to), ec.message());
        return false;
    }
    return true;
}

void removeFilesIf(const fs::path& folder, std::string_view tag, bool xmlOnly) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return;
    }
    try {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            if (xmlOnly && upper(gf_pathText(entry.path().extension())) != ".XML") {
                continue;
            }
            std::error_code rec;
            if (!fs::remove(entry.path(), rec) || rec) {
                gf_logWarning("Failed to remove {} ({})", gf_pathText(entry.path()),
                              rec ? rec.message() : std::string("not removed"));
            }
        }
    } catch (const std::exception& e) {
        gf_logWarning("{} exception: {}", tag, e.what());
    }
}

}  // namespace

fs::path gf_generationName(const fs::path& path) {
    std::string name = gf_pathText(path.filename());
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return path;
    }
    return path.parent_path() / (name.substr(0, dot) + "0" + name.substr(dot));
}

bool gf_save1GenerationOf(const fs::path& path) {
    if (!hasDotInName(path)) {
        gf_logWarning("gf_save1GenerationOf: no dot in filename: {}", gf_pathText(path));
        return false;
    }
    return copyGeneration(path, gf_generationName(path));
}

bool gf_saveUpto3GenerationsOf(const fs::path& path) {
    if (!hasDotInName(path)) {
        gf_logWarning("gf_saveUpto3GenerationsOf: no dot in filename: {}", gf_pathText(path));
        return false;
    }
    const fs::path g1 = gf_generationName(path);
    const fs::path g2 = gf_generationName(g1);
    const fs::path g3 = gf_generationName(g2);
    bool ok = copyGeneration(g2, g3);
    ok = copyGeneration(g1, g2) && ok;
    ok = copyGeneration(path, g1) && ok;
    return ok;
}

void gf_removeFilesFromDirectory(const fs::path& folder) {
    removeFilesIf(folder, "gf_removeFilesFromDirectory", false);
}

void gf_removeXMLFilesFromDirectory(const fs::path& folder) {
    removeFilesIf(folder, "gf_removeXMLFilesFromDirectory", true);
}

std::vector<std::string> gf_listThirdPartyXmlFiles(const fs::path& folder) {
    std::vector<std::string> names;
    names.reserve(512);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return names;
    }
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        if (it->is_regular_file(fec) && upper(gf_pathText(it->path().extension())) == ".XML") {
            names.push_back(gf_pathText(it->path().filename()));
        }
    }
    return names;
}

std::size_t gf_countDirectoryEntries(const fs::path& folder) {
    std::error_code ec;
    std::size_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        ++n;
    }
    return n;
}

bool gf_writeFileAtomic(const fs::path& path, std::string_view content) {
    static std::atomic<unsigned> counter{0};
    const fs::path tmp =
        path.parent_path() /
        gf_textPath(fmt::format(".{}.{}.tmp", gf_pathText(path.filename()), ++counter));
    bool ok = false;
    {
        std::ofstream out(tmp, std::ios::out | std::ios::trunc | std::ios::binary);
        if (out.is_open()) {
            if (g_failWrites.load() > 0 && g_failWrites.fetch_sub(1) > 0) {
                out.setstate(std::ios::badbit);  // as a full disk would
            } else {
                out.write(content.data(), static_cast<std::streamsize>(content.size()));
                out.flush();
            }
            ok = out.good();
        }
    }
    if (ok) {
        ok = platform::syncFile(tmp);
    }
    std::error_code ec;
    if (ok) {
        fs::rename(tmp, path, ec);
        ok = !ec;
    }
    if (!ok) {
        gf_logWarning("writing {} failed{}{}; the old file was kept", gf_pathText(path),
                      ec ? ": " : "", ec ? ec.message() : "");
        fs::remove(tmp, ec);
    }
    return ok;
}

namespace testing {
void failNextAtomicWrites(int n) {
    g_failWrites.store(n);
}
}  // namespace testing

}  // namespace wnd
