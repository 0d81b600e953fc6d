// The installer of a newer program version: downloaded as an archive into the working
// folder, its entry unpacked beside it, then moved into new_version through a ".part" name.
#include <fmt/format.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include "board/status_board.h"
#include "platform/platform.h"
#include "updater/downloader.h"
#include "updater/server.h"
#include "updater/updater.h"
#include "util/files.h"
#include "util/log.h"
#include "util/program.h"
#include "util/zip_archive.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

constexpr std::size_t kPiece = 524288;
// Our installers are a few megabytes; an entry that claims more than this is a damaged or
// hostile archive, not a program.
constexpr std::uint64_t kMaxInstallerBytes = std::uint64_t{1} << 30;

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void lf_removeQuietly(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
}

// Whatever path the update takes, neither the archive nor a partial installer stays in the
// working folder.
class LeftoverGuard {
  public:
    LeftoverGuard(fs::path archive, fs::path unpacked)
        : archive_(std::move(archive)), unpacked_(std::move(unpacked)) {}
    ~LeftoverGuard() {
        lf_removeQuietly(archive_);
        lf_removeQuietly(unpacked_);
    }
    LeftoverGuard(const LeftoverGuard&) = delete;
    LeftoverGuard& operator=(const LeftoverGuard&) = delete;

  private:
    fs::path archive_;
    fs::path unpacked_;
};

// Written below a folder, does the name stay inside it? Archives made on Windows may use
// either separator, so both count.
bool lf_nameStaysInside(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\' ||
        (name.size() >= 2 && name[1] == ':')) {
        return false;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find_first_of("/\\", start);
        if (name.substr(start, end == std::string_view::npos ? end : end - start) == "..") {
            return false;
        }
        if (end == std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

std::string_view lf_baseName(std::string_view name) {
    const std::size_t slash = name.find_last_of("/\\");
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// The entry to unpack: the installer named as the release names it, else the first file of
// the archive (every entry becomes install_new_version.exe, whatever it is called). An archive
// with any name that would leave the folder is refused whole: it was not made by us.
std::optional<ZipArchive::Entry> lf_chooseEntry(const ZipArchive& zip,
                                                const std::string& archiveName,
                                                std::string_view expected) {
    std::optional<ZipArchive::Entry> named;
    std::optional<ZipArchive::Entry> first;
    for (const ZipArchive::Entry& e : zip.entries()) {
        if (!lf_nameStaysInside(e.name)) {
            gf_logWarning("Archive {} refused: its entry {} leaves the folder", archiveName,
                          e.name);
            return std::nullopt;
        }
        if (e.name.back() == '/' || e.name.back() == '\\') {
            continue;  // a folder
        }
        if (!named && lf_baseName(e.name) == expected) {
            named = e;
        } else if (!first) {
            first = e;
        }
    }
    if (!named && !first) {
        gf_logWarning("Archive {} holds no file", archiveName);
    }
    return named ? named : first;
}

// Checked on the archive's word before a byte is written; the unpacking then holds the
// content to that word.
bool lf_sizeAcceptable(const ZipArchive::Entry& e, const fs::path& folder) {
    if (e.size == 0) {
        gf_logWarning("Archive entry {} is empty", e.name);
        return false;
    }
    if (e.size > kMaxInstallerBytes) {
        gf_logWarning("Archive entry {} is too large: {} bytes", e.name, e.size);
        return false;
    }
    std::error_code ec;
    const fs::space_info space = fs::space(fs::absolute(folder, ec), ec);
    if (!ec && space.available < e.size) {
        gf_logWarning("Not enough disk space for {}: {} bytes needed, {} free", e.name, e.size,
                      space.available);
        return false;
    }
    return true;
}

// The entry's content into `out`, complete or not at all.
bool lf_unpackEntry(const ZipArchive& zip, const ZipArchive::Entry& e, const fs::path& out) {
    std::error_code ec;
    if (fs::exists(out, ec)) {
        fs::remove(out, ec);
        if (ec) {
            gf_logWarning("Warning: could not remove old installer: {}", ec.message());
        }
    }
    File file(platform::openFile(out, "wb"));
    if (!file) {
        gf_logWarning("Could not create output file {}", gf_pathText(out));
        return false;
    }
    std::uint64_t written = 0;
    bool writeOk = true;
    int code = 0;
    const bool readOk = zip.readEntry(
        e,
        [&](std::span<const char> piece) {
            writeOk = std::fwrite(piece.data(), 1, piece.size(), file.get()) == piece.size();
            written += piece.size();
            return writeOk;
        },
        kPiece, &code);
    writeOk = writeOk && std::fflush(file.get()) == 0;
    writeOk = std::fclose(file.release()) == 0 && writeOk;
    bool ok = false;
    if (!readOk && code != 0) {
        gf_logLine("Unzipping error code: {}", code);
    } else if (!writeOk) {
        gf_logWarning("Could not write output file {}", gf_pathText(out));
    } else if (!readOk || written != e.size) {
        gf_logLine("Unzipping error: {} does not hold the {} bytes its archive says", e.name,
                   e.size);
    } else {
        gf_logLine("{} unzipped to {}", e.name, gf_pathText(out));
        ok = true;
    }
    if (!ok) {
        lf_removeQuietly(out);
    }
    return ok;
}

bool lf_unpackInstaller(const fs::path& archive, const std::string& exeName, const fs::path& out) {
    const std::string archiveName = gf_pathText(archive);
    std::optional<ZipArchive> zip = ZipArchive::openForReading(archive);
    if (!zip) {
        gf_logWarning("Could not open {}", archiveName);
        return false;
    }
    const std::optional<ZipArchive::Entry> entry = lf_chooseEntry(*zip, archiveName, exeName);
    return entry &&
           lf_sizeAcceptable(*entry, out.parent_path().empty() ? "." : out.parent_path()) &&
           lf_unpackEntry(*zip, *entry, out);
}

// The folder handed to the user, emptied of an older version's files. Returns whether it was
// made here.
bool lf_prepareFolder(const fs::path& folder) {
    std::error_code ec;
    const bool there = fs::exists(folder, ec);
    if (ec) {
        throw fs::filesystem_error("exists", folder, ec);
    }
    if (there) {
        gf_removeFilesFromDirectory(folder);
        return false;
    }
    if (!fs::create_directory(folder, ec) && ec) {
        throw fs::filesystem_error("create_directory", folder, ec);
    }
    return true;
}

// Renames the source to "<target>.part", checks that the size came along, and only then gives
// it the target's name: the user never sees an installer that is not whole.
bool lf_moveThroughPart(const fs::path& source, const fs::path& target) {
    fs::path part = target;
    part += ".part";
    lf_removeQuietly(target);
    lf_removeQuietly(part);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(source, ec);
    if (ec) {
        gf_logLine("file_size({}) failed: {}", gf_pathText(source), ec.message());
        return false;
    }
    fs::rename(source, part, ec);
    if (ec) {
        gf_logLine("could not rename {} => {}: {}", gf_pathText(source), gf_pathText(part),
                   ec.message());
        return false;
    }
    const std::uintmax_t moved = fs::file_size(part, ec);
    if (ec) {
        gf_logLine("file_size({}) failed: {}", gf_pathText(part), ec.message());
    } else if (moved != size) {
        gf_logLine("rename {} => {} suspicious: size {} != {}", gf_pathText(source),
                   gf_pathText(part), moved, size);
    } else {
        fs::rename(part, target, ec);
        if (!ec) {
            return true;
        }
        gf_logLine("could not finalize rename {} => {}: {}", gf_pathText(part), gf_pathText(target),
                   ec.message());
    }
    lf_removeQuietly(part);
    return false;
}

}  // namespace

std::string gf_installerArchiveName(const Version& web) {
    return fmt::format("setup_{}_d_v{}.zip", kProductTitle, web.text());
}

std::string gf_installerExeName(const Version& web) {
    return fmt::format("setup_{}_d_v{}.exe", kProductTitle, web.text());
}

bool gf_downloadNewVersion(const Version& web) {
    const std::string archiveName = gf_installerArchiveName(web);
    const fs::path archive = gf_textPath(archiveName);
    const fs::path unpacked = kUnpackedInstaller;
    LeftoverGuard guard(archive, unpacked);
    bool haveInstaller = false;
    if (!gf_downloadFile(gf_downloadsAddress() + "release/" + archiveName, archive, true)) {
        showStatus(fmt::format("Downloading program installer file version {} failed", web.text()));
    } else {
        gf_logLine("Downloaded {}", archiveName);
        haveInstaller = lf_unpackInstaller(archive, gf_installerExeName(web), unpacked);
    }
    std::error_code ec;
    if (fs::exists(archive, ec) && !fs::remove(archive, ec)) {
        gf_logWarning("Warning: could not remove downloaded zip: {}", ec.message());
    }
    if (!haveInstaller) {
        gf_logWarning("{} does not exists?", kUnpackedInstaller);
        return false;
    }
    const fs::path folder = kNewVersionFolder;
    const bool made = lf_prepareFolder(folder);
    if (!lf_moveThroughPart(unpacked, folder / kUnpackedInstaller)) {
        if (made) {
            fs::remove(folder, ec);  // only when empty
        }
        return false;
    }
    if (fs::exists(unpacked, ec) && !fs::remove(unpacked, ec)) {
        gf_logWarning("Warning: could not remove extracted: {}", ec.message());
    }
    return true;
}

}  // namespace wnd
