// AirportsScanLog.txt: what the scan noticed, collected in memory by every task under its
// own lock and written whole when the scan ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "util/mutex.h"

namespace wnd {

class ScanLog {
  public:
    ScanLog();
    void add(std::string_view line);
    std::vector<std::string> lines() const;
    // One line each; false (and a log warning) when the file could not be written.
    bool write(const std::filesystem::path& path) const;

  private:
    mutable Mutex mu_;
    std::vector<std::string> lines_ GUARDED_BY(mu_);
};

}  // namespace wnd
