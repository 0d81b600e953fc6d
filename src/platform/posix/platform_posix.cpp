#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unordered_map>

#include "platform/platform.h"

namespace wnd::platform {

namespace {

class FlockGuard final : public InstanceGuard {
  public:
    explicit FlockGuard(int fd) : fd_(fd) {}
    ~FlockGuard() override { ::close(fd_); }
    FlockGuard(const FlockGuard&) = delete;
    FlockGuard& operator=(const FlockGuard&) = delete;

  private:
    int fd_;
};

std::filesystem::path envPath(const char* name) {
    const char* v = std::getenv(name);
    return (v != nullptr && *v != '\0') ? std::filesystem::path(v) : std::filesystem::path();
}

}  // namespace

std::unique_ptr<InstanceGuard> acquireInstanceGuard(std::string_view name) {
    std::filesystem::path dir = envPath("XDG_RUNTIME_DIR");
    if (dir.empty()) {
        dir = "/tmp";
    }
    // The Windows mutex name holds characters a file name should not.
    std::string file;
    for (char c : name) {
        file += (c == '\\' || c == '/' || c == '$') ? '_' : c;
    }
    if (const char* user = std::getenv("USER"); user != nullptr && dir == "/tmp") {
        file += std::string("-") + user;
    }
    const std::filesystem::path lockPath = dir / (file + ".lock");
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a lock file we cannot tell; let the process run rather than refuse it.
        return std::make_unique<FlockGuard>(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FlockGuard>(fd);
}

std::filesystem::path roamingAppDataFolder() {
    std::filesystem::path p = envPath("XDG_CONFIG_HOME");
    if (!p.empty()) {
        return p;
    }
    p = envPath("HOME");
    return p.empty() ? p : p / ".config";
}

bool isBelowProgramFiles(const std::filesystem::path&) {
    return false;
}

bool hasProgramFilesFolders() {
    return false;
}

bool writeTest(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    // Gone from the folder at once; the byte still goes to the open file.
    ::unlink(file.c_str());
    const char byte = 0;
    const bool ok = ::write(fd, &byte, 1) == 1;
    ::close(fd);
    return ok;
}

bool registryKeyExists(std::string_view) {
    return false;
}

std::optional<std::string> registryReadString(std::string_view, std::string_view) {
    return std::nullopt;
}

bool shellOpen(const std::filesystem::path& target) {
    std::error_code ec;
    if (!std::filesystem::exists(target, ec)) {
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        ::execlp("xdg-open", "xdg-open", target.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return true;
}

void showWarningBox(std::string_view text, std::string_view title) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

// Linux timers are already fine-grained.
TimerResolution::TimerResolution() = default;
TimerResolution::~TimerResolution() = default;

bool processIsElevated() {
    return ::geteuid() == 0;
}

std::optional<std::u16string> ansiToUtf16(std::string_view bytes, bool rejectInvalid) {
    // Windows-1252: 0x80..0x9F differ from Latin-1; five of them are undefined (0).
    static constexpr std::array<char16_t, 32> kHigh = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::u16string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b <= 0x9F) {
            const char16_t u = kHigh[b - 0x80U];
            if (u == 0) {
                if (rejectInvalid) {
                    return std::nullopt;
                }
                out.push_back(static_cast<char16_t>(b));
            } else {
                out.push_back(u);
            }
        } else {
            out.push_back(static_cast<char16_t>(b));
        }
    }
    return out;
}

bool socketStartup() {
    // A peer closing its end must show up as an error code, not kill the process.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

void socketCleanup() {}

int socketErrorFromErrno(int e) {
    static const std::unordered_map<int, int> kMap = {{EINTR, 10004},
                                                      {EBADF, 10009},
                                                      {EACCES, 10013},
                                                      {EFAULT, 10014},
                                                      {EINVAL, 10022},
                                                      {EMFILE, 10024},
                                                      {EWOULDBLOCK, 10035},
                                                      {EINPROGRESS, 10036},
                                                      {EALREADY, 10037},
                                                      {ENOTSOCK, 10038},
                                                      {EDESTADDRREQ, 10039},
                                                      {EMSGSIZE, 10040},
                                                      {EPROTOTYPE, 10041},
                                                      {ENOPROTOOPT, 10042},
                                                      {EPROTONOSUPPORT, 10043},
                                                      {ESOCKTNOSUPPORT, 10044},
                                                      {EOPNOTSUPP, 10045},
                                                      {EPFNOSUPPORT, 10046},
                                                      {EAFNOSUPPORT, 10047},
                                                      {EADDRINUSE, 10048},
                                                      {EADDRNOTAVAIL, 10049},
                                                      {ENETDOWN, 10050},
                                                      {ENETUNREACH, 10051},
                                                      {ENETRESET, 10052},
                                                      {ECONNABORTED, 10053},
                                                      {ECONNRESET, 10054},
                                                      {ENOBUFS, 10055},
                                                      {EISCONN, 10056},
                                                      {ENOTCONN, 10057},
                                                      {ESHUTDOWN, 10058},
                                                      {ETOOMANYREFS, 10059},
                                                      {ETIMEDOUT, 10060},
                                                      {ECONNREFUSED, 10061},
                                                      {ELOOP, 10062},
                                                      {ENAMETOOLONG, 10063},
                                                      {EHOSTDOWN, 10064},
                                                      {EHOSTUNREACH, 10065},
                                                      {ENOTEMPTY, 10066},
                                                      {EUSERS, 10068},
                                                      {EDQUOT, 10069},
                                                      {ESTALE, 10070},
                                                      {EREMOTE, 10071},
                                                      {EPIPE, 10058}};
    const auto it = kMap.find(e);
    return it == kMap.end() ? e : it->second;
}

int lastSocketError() {
    return socketErrorFromErrno(errno);
}

void watchCloseRequests(std::function<void()> onClose) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // Blocked here, before other threads exist, so only the watcher receives them.
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, cb = std::move(onClose)]() {
        for (;;) {
            int sig = 0;
            if (::sigwait(&set, &sig) == 0) {
                cb();
            }
        }
    }).detach();
}

std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool syncFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool copyFile(const std::filesystem::path& from, const std::filesystem::path& to,
              std::error_code& ec) {
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                      ec);
}

unsigned hardwareThreads() {
    return std::thread::hardware_concurrency();
}

bool standardInputReadable() {
    return ::isatty(STDIN_FILENO) == 0 || ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

}  // namespace wnd::platform
