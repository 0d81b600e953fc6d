#include "updater/downloader.h"

#include <curl/curl.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/platform.h"
#include "util/files.h"
#include "util/log.h"

namespace fs = std::filesystem;

namespace wnd {

namespace {

// A transfer that makes no progress for this long is given up, so an unreachable server
// never holds up start-up for long.
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kLowSpeedSeconds = 30;

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct CurlCleanup {
    void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }
};

std::size_t lf_writeToFile(char* data, std::size_t size, std::size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

void lf_globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void lf_removeQuietly(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
}

}  // namespace

bool gf_downloadFile(const std::string& address, const fs::path& localPath, bool binary) {
    lf_globalInit();
    std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
    if (!curl) {
        return false;
    }
    fs::path partPath = localPath;
    partPath += ".part";
    bool ok = false;
    try {
        File file(platform::openFile(partPath, binary ? "wb" : "w"));
        if (!file) {
            gf_logLine("Could not open output file: {}", gf_pathText(localPath));
            return false;
        }
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_URL, address.c_str());
        curl_easy_setopt(c, CURLOPT_USERAGENT, "Wendle");
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &lf_writeToFile);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, file.get());
        curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
        // Only the configured server is asked: a redirect is not followed but fails, and
        // nothing but the web's own schemes is spoken.
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
        const CURLcode rc = curl_easy_perform(c);
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        bool flushed = std::fflush(file.get()) == 0;
        flushed = std::fclose(file.release()) == 0 && flushed;
        if (rc != CURLE_OK) {
            gf_logLine("Download error: '{}' for {}", curl_easy_strerror(rc), address);
        } else if (status < 200 || status > 299) {
            // Not an error to the library (a redirect): not the file either.
            gf_logLine("Download error: 'HTTP status {} not followed' for {}", status, address);
        } else if (!flushed) {
            gf_logLine("Could not write output file: {}", gf_pathText(localPath));
        } else {
            fs::rename(partPath, localPath);
            ok = true;
        }
    } catch (const std::exception& e) {
        gf_logLine("Downloader exception: '{}', {} => {}", e.what(), address,
                   gf_pathText(localPath));
    }
    if (!ok) {
        lf_removeQuietly(partPath);
    }
    return ok;
}

}  // namespace wnd
