#include "util/zip_archive.h"

#include <zip.h>

#include <utility>

#include "util/files.h"

namespace wnd {

namespace {
std::string lf_openError(int code) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    std::string text = zip_error_strerror(&e);
    zip_error_fini(&e);
    return text;
}

std::optional<ZipArchive> lf_fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return std::nullopt;
}
}  // namespace

std::optional<ZipArchive> ZipArchive::openForReading(const std::filesystem::path& path,
                                                     std::string* error) {
    int code = 0;
    // libzip takes UTF-8 names on every system.
    zip* z = zip_open(gf_pathText(path).c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (z == nullptr) {
        return lf_fail(error, lf_openError(code));
    }
    return ZipArchive(z);
}

std::optional<ZipArchive> ZipArchive::createNew(const std::filesystem::path& path,
                                                std::string* error) {
    int code = 0;
    zip* z = zip_open(gf_pathText(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (z == nullptr) {
        return lf_fail(error, lf_openError(code));
    }
    return ZipArchive(z);
}

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : z_(std::exchange(other.z_, nullptr)), buffers_(std::move(other.buffers_)) {}

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept {
    if (this != &other) {
        if (z_ != nullptr) {
            zip_discard(z_);
        }
        z_ = std::exchange(other.z_, nullptr);
        buffers_ = std::move(other.buffers_);
    }
    return *this;
}

ZipArchive::~ZipArchive() {
    if (z_ != nullptr) {
        zip_discard(z_);
    }
}

std::vector<ZipArchive::Entry> ZipArchive::entries() const {
    std::vector<Entry> out;
    if (z_ == nullptr) {
        return out;
    }
    const zip_int64_t n = zip_get_num_entries(z_, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(z_, static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            (st.valid & ZIP_STAT_NAME) == 0) {
            continue;
        }
        out.push_back({static_cast<std::uint64_t>(i), st.name,
                       (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0});
    }
    return out;
}

bool ZipArchive::readEntry(const Entry& entry,
                           const std::function<bool(std::span<const char>)>& sink,
                           std::size_t piece, int* code) const {
    if (z_ == nullptr || piece == 0) {
        return false;
    }
    zip_file_t* f = zip_fopen_index(z_, entry.index, 0);
    if (f == nullptr) {
        if (code != nullptr) {
            *code = zip_error_code_zip(zip_get_error(z_));
        }
        return false;
    }
    std::vector<char> buffer(piece);
    std::uint64_t total = 0;
    bool ok = true;
    for (;;) {
        const zip_int64_t got = zip_fread(f, buffer.data(), buffer.size());
        if (got < 0) {
            if (code != nullptr) {
                *code = zip_error_code_zip(zip_file_get_error(f));
            }
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::uint64_t>(got);
        if (total > entry.size) {  // more than the directory promised: not to be trusted
            ok = false;
            break;
        }
        if (!sink(std::span<const char>(buffer.data(), static_cast<std::size_t>(got)))) {
            break;
        }
    }
    zip_fclose(f);
    return ok;
}

bool ZipArchive::addData(std::string_view name, std::string data) {
    if (z_ == nullptr) {
        return false;
    }
    buffers_.push_back(std::move(data));
    const std::string& kept = buffers_.back();
    zip_source_t* src = zip_source_buffer(z_, kept.data(), kept.size(), 0);
    if (src == nullptr) {
        return false;
    }
    const std::string entryName(name);
    if (zip_file_add(z_, entryName.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(src);
        return false;
    }
    return true;
}

bool ZipArchive::close() {
    if (z_ == nullptr) {
        return false;
    }
    if (zip_close(z_) != 0) {
        zip_discard(z_);
        z_ = nullptr;
        return false;
    }
    z_ = nullptr;
    buffers_.clear();
    return true;
}

std::string ZipArchive::lastError() const {
    return z_ == nullptr ? std::string() : zip_strerror(z_);
}

}  // namespace wnd
