#include <winsock2.h>
// winsock2.h must come before windows.h, which would pull in the old winsock.h.
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>
#include <timeapi.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwctype>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace wnd::platform {

namespace win32 {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    }
    return out;
}

std::string narrow(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
    }
    return out;
}

}  // namespace win32

namespace {

using win32::widen;

class MutexGuard final : public InstanceGuard {
  public:
    explicit MutexGuard(HANDLE h) : h_(h) {}
    ~MutexGuard() override {
        if (h_ != nullptr) {
            ::CloseHandle(h_);
        }
    }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

  private:
    HANDLE h_;
};

std::filesystem::path knownFolder(REFKNOWNFOLDERID id) {
    PWSTR p = nullptr;
    std::filesystem::path out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &p)) && p != nullptr) {
        out = std::filesystem::path(p);
    }
    ::CoTaskMemFree(p);
    return out;
}

// Windows paths compare without regard to case.
std::wstring folded(const std::filesystem::path& p) {
    std::wstring s = p.lexically_normal().native();
    for (wchar_t& c : s) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    while (!s.empty() && (s.back() == L'\\' || s.back() == L'/')) {
        s.pop_back();
    }
    return s;
}

std::function<void()>& closeHandler() {
    static std::function<void()> handler;
    return handler;
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The system already calls us on a thread of our own.
            if (closeHandler()) {
                closeHandler()();
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::unique_ptr<InstanceGuard> acquireInstanceGuard(std::string_view name) {
    // An ANSI name, not owned: only its existence matters.
    const std::string n(name);
    HANDLE h = ::CreateMutexA(nullptr, FALSE, n.c_str());
    const DWORD err = ::GetLastError();
    if (h == nullptr) {
        // Access denied: the mutex exists, made by another user's or an elevated instance.
        // Any other failure: we cannot tell, so let the process run rather than refuse it.
        return err == ERROR_ACCESS_DENIED ? nullptr : std::make_unique<MutexGuard>(nullptr);
    }
    if (err == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);
        return nullptr;
    }
    return std::make_unique<MutexGuard>(h);
}

std::filesystem::path roamingAppDataFolder() {
    return knownFolder(FOLDERID_RoamingAppData);
}

bool isBelowProgramFiles(const std::filesystem::path& folder) {
    const std::wstring f = folded(folder);
    for (REFKNOWNFOLDERID id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86}) {
        const std::filesystem::path pf = knownFolder(id);
        if (pf.empty()) {
            continue;
        }
        const std::wstring p = folded(pf);
        if (f.size() >= p.size() && f.compare(0, p.size(), p) == 0 &&
            (f.size() == p.size() || f[p.size()] == L'\\')) {
            return true;
        }
    }
    return false;
}

bool hasProgramFilesFolders() {
    return true;
}

bool writeTest(const std::filesystem::path& file) {
    // Deleted by the system when closed, whatever happens to the process.
    const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    const char byte = 0;
    DWORD written = 0;
    const bool ok = ::WriteFile(h, &byte, 1, &written, nullptr) != 0 && written == 1;
    ::CloseHandle(h);
    return ok;
}

bool registryKeyExists(std::string_view subKey) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widen(subKey).c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                        &key) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

std::optional<std::string> registryReadString(std::string_view subKey, std::string_view valueName) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widen(subKey).c_str(), 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring value = widen(valueName);
    // REG_EXPAND_SZ comes back expanded under RRF_RT_REG_SZ; asking for it by its own flag
    // would need RRF_NOEXPAND and fails the call without it.
    constexpr DWORD kFlags = RRF_RT_REG_SZ;
    std::optional<std::string> out;
    // The value may grow between the size query and the read: try again then.
    for (int attempt = 0; attempt < 4 && !out; ++attempt) {
        DWORD bytes = 0;
        if (::RegGetValueW(key, nullptr, value.c_str(), kFlags, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS) {
            break;
        }
        std::wstring buf(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
        const LSTATUS r =
            ::RegGetValueW(key, nullptr, value.c_str(), kFlags, nullptr, buf.data(), &bytes);
        if (r == ERROR_MORE_DATA) {
            continue;
        }
        if (r != ERROR_SUCCESS) {
            break;
        }
        buf.resize(bytes / sizeof(wchar_t));
        while (!buf.empty() && buf.back() == L'\0') {
            buf.pop_back();
        }
        out = win32::narrow(buf);
    }
    ::RegCloseKey(key);
    return out;
}

bool shellOpen(const std::filesystem::path& target) {
    std::error_code ec;
    if (!std::filesystem::exists(target, ec)) {
        return false;
    }
    // ShellExecute reports success as a value above 32.
    const auto r = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
}

void showWarningBox(std::string_view text, std::string_view title) {
    ::MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(), MB_OK | MB_ICONWARNING);
}

// The default tick is 15.6 ms; the main cycle and the dispatch loop sleep for 1 ms.
TimerResolution::TimerResolution() {
    ::timeBeginPeriod(1);
}

TimerResolution::~TimerResolution() {
    ::timeEndPeriod(1);
}

bool processIsElevated() {
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) == 0) {
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool ok =
        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != 0;
    ::CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

std::optional<std::u16string> ansiToUtf16(std::string_view bytes, bool rejectInvalid) {
    if (bytes.empty()) {
        return std::u16string();
    }
    const DWORD flags = rejectInvalid ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(CP_ACP, flags, bytes.data(), size, nullptr, 0);
    if (n <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (::MultiByteToWideChar(CP_ACP, flags, bytes.data(), size, wide.data(), n) != n) {
        return std::nullopt;
    }
    return std::u16string(wide.begin(), wide.end());
}

bool socketStartup() {
    WSADATA data{};
    const int r = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (r != 0) {
        // WSAGetLastError is not yet usable: leave the code where lastSocketError finds it.
        ::WSASetLastError(r);
        return false;
    }
    return true;
}

void socketCleanup() {
    ::WSACleanup();
}

int lastSocketError() {
    return ::WSAGetLastError();
}

int socketErrorFromErrno(int e) {
    // The C runtime's numbers; Windows socket codes pass through unchanged.
    static const std::unordered_map<int, int> kMap = {{EINTR, WSAEINTR},
                                                      {EBADF, WSAEBADF},
                                                      {EACCES, WSAEACCES},
                                                      {EFAULT, WSAEFAULT},
                                                      {EINVAL, WSAEINVAL},
                                                      {EMFILE, WSAEMFILE},
                                                      {EWOULDBLOCK, WSAEWOULDBLOCK},
                                                      {EAGAIN, WSAEWOULDBLOCK},
                                                      {EINPROGRESS, WSAEINPROGRESS},
                                                      {EALREADY, WSAEALREADY},
                                                      {ENOTSOCK, WSAENOTSOCK},
                                                      {EDESTADDRREQ, WSAEDESTADDRREQ},
                                                      {EMSGSIZE, WSAEMSGSIZE},
                                                      {EPROTOTYPE, WSAEPROTOTYPE},
                                                      {ENOPROTOOPT, WSAENOPROTOOPT},
                                                      {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
                                                      {EOPNOTSUPP, WSAEOPNOTSUPP},
                                                      {EAFNOSUPPORT, WSAEAFNOSUPPORT},
                                                      {EADDRINUSE, WSAEADDRINUSE},
                                                      {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
                                                      {ENETDOWN, WSAENETDOWN},
                                                      {ENETUNREACH, WSAENETUNREACH},
                                                      {ENETRESET, WSAENETRESET},
                                                      {ECONNABORTED, WSAECONNABORTED},
                                                      {ECONNRESET, WSAECONNRESET},
                                                      {ENOBUFS, WSAENOBUFS},
                                                      {EISCONN, WSAEISCONN},
                                                      {ENOTCONN, WSAENOTCONN},
                                                      {ETIMEDOUT, WSAETIMEDOUT},
                                                      {ECONNREFUSED, WSAECONNREFUSED},
                                                      {ELOOP, WSAELOOP},
                                                      {ENAMETOOLONG, WSAENAMETOOLONG},
                                                      {EHOSTUNREACH, WSAEHOSTUNREACH},
                                                      {ENOTEMPTY, WSAENOTEMPTY},
                                                      {EPIPE, WSAESHUTDOWN}};
    const auto it = kMap.find(e);
    return it == kMap.end() ? e : it->second;
}

void watchCloseRequests(std::function<void()> onClose) {
    closeHandler() = std::move(onClose);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool syncFile(const std::filesystem::path& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool ok = ::FlushFileBuffers(h) != 0;
    ::CloseHandle(h);
    return ok;
}

bool copyFile(const std::filesystem::path& from, const std::filesystem::path& to,
              std::error_code& ec) {
    if (::CopyFileW(from.c_str(), to.c_str(), FALSE) == 0) {
        ec.assign(static_cast<int>(::GetLastError()), std::system_category());
        return false;
    }
    ec.clear();
    return true;
}

std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
    // _wfopen: the narrow fopen would read the name in the ANSI code page.
    return ::_wfopen(path.c_str(), widen(mode).c_str());
}

unsigned hardwareThreads() {
    return std::thread::hardware_concurrency();
}

bool standardInputReadable() {
    return true;
}

}  // namespace wnd::platform
