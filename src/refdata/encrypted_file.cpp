#include "refdata/encrypted_file.h"

#include <sodium.h>

#include <array>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/platform.h"
#include "refdata/data_key.h"
#include "util/log.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

static_assert(crypto_secretstream_xchacha20poly1305_HEADERBYTES == kStreamHeaderBytes);
static_assert(crypto_secretstream_xchacha20poly1305_ABYTES + kPlainChunkBytes == kCipherChunkBytes);
static_assert(crypto_secretstream_xchacha20poly1305_KEYBYTES == kDataKeyBytes);

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The key only lives on the stack of the routine that uses it.
class ScopedKey {
  public:
    ScopedKey() : key_(gf_dataKey()) {}
    ~ScopedKey() { sodium_memzero(key_.data(), key_.size()); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    const unsigned char* data() const { return key_.data(); }

  private:
    DataKey key_;
};

void lf_initSodium() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = sodium_init() >= 0; });
    if (!ok) {
        throw std::runtime_error("libsodium could not be initialised");
    }
}

File lf_open(const fs::path& p, const char* mode, const char* failText) {
    File f(platform::openFile(p, mode));
    if (!f) {
        throw std::runtime_error(failText + p.string());
    }
    return f;
}

// Decrypts `encrypted` into `out` (nothing is written when out is null); throws on faults.
void lf_decrypt(const fs::path& encrypted, const fs::path* plain) {
    lf_initSodium();
    File in = lf_open(encrypted, "rb", "Could not open input file: ");
    File out;
    if (plain != nullptr) {
        out = lf_open(*plain, "wb", "Could not open output file: ");
    }
    std::array<unsigned char, kStreamHeaderBytes> header{};
    crypto_secretstream_xchacha20poly1305_state state;
    {
        const ScopedKey key;
        if (std::fread(header.data(), 1, header.size(), in.get()) != header.size() ||
            crypto_secretstream_xchacha20poly1305_init_pull(&state, header.data(), key.data()) !=
                0) {
            throw std::runtime_error("Invalid header or key");
        }
    }
    std::array<unsigned char, kCipherChunkBytes> cipher{};
    std::array<unsigned char, kPlainChunkBytes> plainChunk{};
    bool final = false;
    bool first = true;
    while (!final) {
        const std::size_t n = std::fread(cipher.data(), 1, cipher.size(), in.get());
        if (n == 0) {
            break;
        }
        unsigned long long plainLength = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, plainChunk.data(), &plainLength,
                                                       &tag, cipher.data(), n, nullptr, 0) != 0) {
            // The stream header cannot be checked on its own: a first chunk that does not
            // authenticate means the header or the key does not belong to this file.
            throw std::runtime_error(first ? "Invalid header or key" : "Decryption failed");
        }
        first = false;
        if (out && std::fwrite(plainChunk.data(), 1, static_cast<std::size_t>(plainLength),
                               out.get()) != plainLength) {
            throw std::runtime_error("Could not write output file: " + plain->string());
        }
        final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    }
    sodium_memzero(&state, sizeof state);
    if (std::ferror(in.get()) != 0) {
        throw std::runtime_error("Could not read input file: " + encrypted.string());
    }
    // Without its final chunk the file was cut short: what it holds is not all there is.
    if (!final) {
        throw std::runtime_error("Decryption failed: the file ends before its final chunk");
    }
    if (out && std::fflush(out.get()) != 0) {
        throw std::runtime_error("Could not write output file: " + plain->string());
    }
}

}  // namespace

bool gf_streamDecrypt(const fs::path& encrypted, const fs::path& plain) {
    try {
        lf_decrypt(encrypted, &plain);
        return true;
    } catch (const std::exception& e) {
        gf_logLine("{} exception: {}", "gf_streamDecrypt", e.what());
    }
    gf_removeIfExists(plain);
    return false;
}

bool gf_verifyEncryptedFile(const fs::path& encrypted) {
    try {
        lf_decrypt(encrypted, nullptr);
        return true;
    } catch (const std::exception& e) {
        gf_logLine("{} exception: {}", "gf_verifyEncryptedFile", e.what());
    }
    return false;
}

void gf_streamEncrypt(const fs::path& plain, const fs::path& encrypted) {
    lf_initSodium();
    try {
        File in = lf_open(plain, "rb", "Could not open input file: ");
        File out = lf_open(encrypted, "wb", "Could not open output file: ");
        crypto_secretstream_xchacha20poly1305_state state;
        std::array<unsigned char, kStreamHeaderBytes> header{};
        {
            const ScopedKey key;
            crypto_secretstream_xchacha20poly1305_init_push(&state, header.data(), key.data());
        }
        auto write = [&](const unsigned char* data, std::size_t size) {
            if (std::fwrite(data, 1, size, out.get()) != size) {
                throw std::runtime_error("Could not write output file: " + encrypted.string());
            }
        };
        write(header.data(), header.size());
        // One chunk read ahead, so the last one can carry the final tag.
        std::array<unsigned char, kPlainChunkBytes> current{};
        std::array<unsigned char, kPlainChunkBytes> next{};
        std::array<unsigned char, kCipherChunkBytes> cipher{};
        std::size_t n = std::fread(current.data(), 1, current.size(), in.get());
        for (;;) {
            const std::size_t m =
                n == current.size() ? std::fread(next.data(), 1, next.size(), in.get()) : 0;
            const bool last = m == 0;
            unsigned long long cipherLength = 0;
            crypto_secretstream_xchacha20poly1305_push(
                &state, cipher.data(), &cipherLength, current.data(), n, nullptr, 0,
                last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
            write(cipher.data(), static_cast<std::size_t>(cipherLength));
            if (last) {
                break;
            }
            std::swap(current, next);
            n = m;
        }
        if (std::ferror(in.get()) != 0) {
            throw std::runtime_error("Could not read input file: " + plain.string());
        }
        if (std::fflush(out.get()) != 0) {
            throw std::runtime_error("Could not write output file: " + encrypted.string());
        }
    } catch (...) {
        std::error_code ec;
        fs::remove(encrypted, ec);
        throw;
    }
}

bool gf_removeIfExists(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec) && !ec) {
        return true;
    }
    if (!fs::remove(path, ec) && ec) {
        gf_logWarning("Warning: could not remove {}, errorcode: {}", path.string(), ec.value());
        return false;
    }
    return true;
}

}  // namespace wnd
