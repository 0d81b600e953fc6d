// Encrypted data files: libsodium's secret stream (XChaCha20-Poly1305) with the program's
// key. Layout: a 24-byte stream header, then chunks of at most 4096 plain bytes plus 17
// bytes of authentication (4113 bytes a full chunk); the last chunk carries the final tag.
#pragma once

#include <cstddef>
#include <filesystem>
#include <utility>

namespace wnd {

inline constexpr std::size_t kPlainChunkBytes = 4096;
inline constexpr std::size_t kCipherChunkBytes = 4096 + 17;
inline constexpr std::size_t kStreamHeaderBytes = 24;

// Decrypts chunk by chunk into the plain file (never the whole file in memory). On any
// fault it logs "gf_streamDecrypt exception: {}" ("Could not open input file: ",
// "Could not open output file: ", "Invalid header or key", "Decryption failed"),
// removes the plain file and returns false. The stream header cannot be checked on its
// own, so a first chunk that does not authenticate (another key, a damaged header) is
// "Invalid header or key"; a later one is "Decryption failed". A file that ends before
// its final chunk was cut short and fails, too.
bool gf_streamDecrypt(const std::filesystem::path& encrypted, const std::filesystem::path& plain);

// True when the file decrypts completely with the program's key; writes nothing. Used to
// check a download before it replaces a file that works.
bool gf_verifyEncryptedFile(const std::filesystem::path& encrypted);

// Packs a plain file into the format above (the data tool and tests). Throws
// std::runtime_error on failure and leaves no output file behind.
void gf_streamEncrypt(const std::filesystem::path& plain, const std::filesystem::path& encrypted);

// Deletes the file if it exists; a failing deletion is logged as the warning
// "Warning: could not remove {}, errorcode: {}". True when the file is gone.
bool gf_removeIfExists(const std::filesystem::path& path);

// Removes a decrypted file when its reader ends, however it ends: plain data never
// stays on disk.
class PlainFileGuard {
  public:
    explicit PlainFileGuard(std::filesystem::path p) : path_(std::move(p)) {}
    ~PlainFileGuard() {
        try {
            gf_removeIfExists(path_);
        } catch (...) {  // nothing sensible to do while leaving
        }
    }
    PlainFileGuard(const PlainFileGuard&) = delete;
    PlainFileGuard& operator=(const PlainFileGuard&) = delete;

  private:
    std::filesystem::path path_;
};

}  // namespace wnd
