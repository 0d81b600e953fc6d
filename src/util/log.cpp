#include "util/log.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "util/files.h"
#include "util/mutex.h"
#include "util/no_destructor.h"
#include "util/program.h"
#include "util/time.h"

namespace wnd {

namespace {

struct LogFile {
    Mutex mu;
    std::ofstream out GUARDED_BY(mu);
    // Plain lines are not flushed one by one; but none waits in the buffer for more
    // than a second once another line comes.
    std::chrono::steady_clock::time_point lastFlush GUARDED_BY(mu);
};

LogFile& logFile() {
    static NoDestructor<LogFile> f;
    return *f;
}

void writeLine(std::string_view prefix, std::string_view text, bool flush) {
    LogFile& f = logFile();
    MutexLock lock(f.mu);
    if (!f.out.is_open()) {
        return;
    }
    f.out << prefix << text << '\n';
    const auto now = std::chrono::steady_clock::now();
    if (flush || now - f.lastFlush > std::chrono::seconds(1)) {
        f.out.flush();
        f.lastFlush = now;
    }
}

}  // namespace

void gf_openLog(const std::filesystem::path& path) {
    gf_saveUpto3GenerationsOf(path);
    {
        LogFile& f = logFile();
        MutexLock lock(f.mu);
        if (f.out.is_open()) {
            f.out.close();
        }
        f.out.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!f.out.is_open()) {
            throw std::runtime_error("Failed to write file " + gf_pathText(path));
        }
    }
    gf_logLine("{} (utc) {} version {} for {}", gf_utcTimeString(std::time(nullptr)), kProductTitle,
               kProgramVersionText, kSimulatorName);
}

void gf_closeLog() {
    LogFile& f = logFile();
    MutexLock lock(f.mu);
    if (f.out.is_open()) {
        f.out.close();
    }
}

bool gf_logIsOpen() {
    LogFile& f = logFile();
    MutexLock lock(f.mu);
    return f.out.is_open();
}

void gf_logLine(std::string_view text) {
    writeLine({}, text, false);
}

void gf_logWarning(std::string_view text) {
    writeLine("==> ", text, true);
}

void gf_flushLog() {
    LogFile& f = logFile();
    MutexLock lock(f.mu);
    if (f.out.is_open()) {
        f.out.flush();
    }
}

}  // namespace wnd
