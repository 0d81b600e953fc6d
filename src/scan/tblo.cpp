// The generated files of airports that the delivered set does not know, packed for the
// maker ("to be learned offline").
#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <system_error>

#include "board/status_board.h"
#include "platform/platform.h"
#include "scan/airport_scan.h"
#include "util/files.h"
#include "util/log.h"
#include "util/zip_archive.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

std::optional<std::string> lf_readWhole(const fs::path& path) {
    std::FILE* f = platform::openFile(path, "rb");
    if (f == nullptr) {
        return std::nullopt;
    }
    std::string data;
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        data.append(buf, n);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok ? std::optional<std::string>(std::move(data)) : std::nullopt;
}

}  // namespace

bool gf_zipFolder(const fs::path& source, const fs::path& target) {
    gf_logLine("[zip] Target file: {}", gf_pathText(target));
    gf_logLine("[zip] Source dir : {}", gf_pathText(source));
    std::error_code ec;
    if (!fs::is_directory(source, ec)) {
        gf_logLine("[zip] Not a directory: {}", gf_pathText(source));
        return false;
    }
    if (fs::exists(target, ec)) {
        gf_logLine("[zip] Removing old zip {}", gf_pathText(target));
        fs::remove(target, ec);
    }
    std::optional<ZipArchive> zip = ZipArchive::createNew(target);
    if (!zip) {
        gf_logLine("[zip] Could not open archive for writing");
        return false;
    }
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(source, ec)) {
        std::error_code typeEc;
        if (e.is_regular_file(typeEc) && e.path().filename() != target.filename()) {
            files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    bool ok = !ec;
    int added = 0;
    for (const fs::path& file : files) {
        const std::string name = gf_pathText(file.filename());
        std::optional<std::string> data = lf_readWhole(file);
        if (!data) {
            gf_logLine("[zip] READ FAIL: {}", gf_pathText(file));
            ok = false;
            continue;
        }
        const std::size_t bytes = data->size();
        if (!zip->addData(name, std::move(*data))) {
            gf_logLine("[zip] ERROR addData({})", name);
            ok = false;
            continue;
        }
        gf_logLine("[zip] Adding (data) {} -> {} ({} bytes)", gf_pathText(file), name, bytes);
        ++added;
    }
    const bool closed = zip->close();
    const bool exists = fs::exists(target, ec);
    const std::uintmax_t size = exists ? fs::file_size(target, ec) : 0;
    gf_logLine("[zip] Added {} files, ok_close={}, exists={}, size={} bytes", added, closed, exists,
               ec ? 0 : size);
    return ok && closed && exists;
}

void gf_packUnknownAirports(const fs::path& base,
                            const std::function<bool(std::string_view)>& inAirportsDb) {
    const fs::path thirdparty = base / "airports" / "my_thirdparty";
    const fs::path tblo = base / "tblo";
    int copied = 0;
    for (const std::string& name : gf_listThirdPartyXmlFiles(thirdparty)) {
        const fs::path file = gf_textPath(name);
        const std::string code = gf_pathText(file.stem());
        if (!inAirportsDb || !inAirportsDb(code)) {
            continue;
        }
        std::error_code ec;
        const fs::path from = thirdparty / file;
        const fs::path to = tblo / file;
        if (platform::copyFile(from, to, ec)) {
            gf_logLine("{} copied to {}", gf_pathText(from), gf_pathText(to));
            ++copied;
        } else {
            gf_logWarning("'{}' failed to copy '{}': {}", gf_pathText(from), gf_pathText(to),
                          ec.message());
        }
        // The generated file is the richer one: its link to the delivered file goes.
        const fs::path link = thirdparty / gf_textPath(code + ".txt");
        const bool linkExists = fs::exists(link, ec);
        if (ec) {
            gf_logLine("exists({}) failed: {}", gf_pathText(link), ec.message());
        } else if (linkExists && !fs::remove(link, ec)) {
            gf_logLine("remove({}) failed: {}", gf_pathText(link), ec.message());
        }
    }
    if (copied == 0) {
        gf_board().setTbloRequest({});
        gf_logLine("All your third party airports are recognised, no off line learning needed.");
        return;
    }
    const fs::path zip = tblo / "tblo.zip";
    if (!gf_zipFolder(tblo, zip)) {
        gf_board().setTbloRequest({});
        gf_logWarning("Zippen TBLO folder failed");
        return;
    }
    gf_logLine("\n! Mail {} to {}\n", gf_pathText(zip), kSupportAddress);
    gf_board().setTbloRequest(fmt::format("Mail tblo.zip to {}", kSupportAddress));
}

}  // namespace wnd
