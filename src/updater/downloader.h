// The downloader every download of the program goes through (libcurl's easy interface).
#pragma once

#include <filesystem>
#include <string>

namespace wnd {

// Fetches the address into the local file, in binary ("wb") or text ("w") mode, with the
// user agent "Wendle"; an error status of the server counts as failure. The bytes go to
// a temporary file beside the target, which replaces the target only when the transfer
// succeeded: a failed download leaves the old file as it was and nothing else behind.
// Logs "Could not open output file: {}", "Download error: '{}' for {}" or
// "Downloader exception: '{}', {} => {}" and returns false on failure.
bool gf_downloadFile(const std::string& address, const std::filesystem::path& localPath,
                     bool binary);

}  // namespace wnd
