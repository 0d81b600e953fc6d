// A zip archive through libzip, owned by one object: opened for reading or created new,
// closed (and for a new archive written) once, freed on every path. Entry names are used as
// they stand; callers that write entries to disk check them (no "..", no absolute names).
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace wnd {

class ZipArchive {
  public:
    struct Entry {
        std::uint64_t index = 0;
        std::string name;
        std::uint64_t size = 0;  // uncompressed, as the archive's directory says
    };

    // An existing archive for reading; nothing, with the reason in `error`, when it cannot
    // be opened (missing, not a zip archive, damaged directory).
    static std::optional<ZipArchive> openForReading(const std::filesystem::path& path,
                                                    std::string* error = nullptr);
    // A new archive; an old file there is replaced only when close() succeeds.
    static std::optional<ZipArchive> createNew(const std::filesystem::path& path,
                                               std::string* error = nullptr);

    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&& other) noexcept;
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;
    // Discards an archive that was not closed: a new one is not written.
    ~ZipArchive();

    std::vector<Entry> entries() const;
    // Hands the entry's content to `sink` in pieces of at most `piece` bytes; the sink
    // returns false to stop. False on a read fault, with libzip's error code in `code`, or
    // when the content is longer than the directory said.
    bool readEntry(const Entry& entry, const std::function<bool(std::span<const char>)>& sink,
                   std::size_t piece = 524288, int* code = nullptr) const;

    // Adds an entry with this content (kept until close).
    bool addData(std::string_view name, std::string data);
    // Writes a new archive, closes either kind; false when writing failed.
    bool close();
    std::string lastError() const;

  private:
    explicit ZipArchive(zip* z) : z_(z) {}
    zip* z_ = nullptr;
    std::deque<std::string> buffers_;
};

}  // namespace wnd
