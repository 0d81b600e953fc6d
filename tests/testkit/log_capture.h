// The program's log, opened in a folder of its own for a test's lifetime. Tests that use it
// link wendle_util.
#pragma once

#include <string>

#include "testkit/testkit.h"
#include "util/log.h"

namespace wnd::testkit {

class LogCapture {
  public:
    LogCapture() { gf_openLog(dir_ / "Log.txt"); }
    ~LogCapture() { gf_closeLog(); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::string text() const {
        gf_flushLog();
        return readFile(dir_ / "Log.txt");
    }
    bool contains(const std::string& s) const { return text().find(s) != std::string::npos; }

  private:
    TempDir dir_;
};

}  // namespace wnd::testkit
