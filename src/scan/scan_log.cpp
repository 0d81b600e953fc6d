#include "scan/scan_log.h"

#include "util/files.h"

namespace wnd {

ScanLog::ScanLog() {
    MutexLock lock(mu_);
    lines_.reserve(2048);
}

void ScanLog::add(std::string_view line) {
    MutexLock lock(mu_);
    lines_.emplace_back(line);
}

std::vector<std::string> ScanLog::lines() const {
    MutexLock lock(mu_);
    return lines_;
}

bool ScanLog::write(const std::filesystem::path& path) const {
    std::string text;
    for (const std::string& line : lines()) {
        text += line;
        text += '\n';
    }
    return gf_writeFileAtomic(path, text);
}

}  // namespace wnd
