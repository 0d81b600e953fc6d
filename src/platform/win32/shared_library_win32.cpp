#include <windows.h>

#include "platform/shared_library.h"
#include "platform/win32/wide.h"

namespace wnd::platform {

namespace {

class Win32Library final : public SharedLibrary {
  public:
    explicit Win32Library(HMODULE m) : module_(m) {}
    ~Win32Library() override { ::FreeLibrary(module_); }
    Win32Library(const Win32Library&) = delete;
    Win32Library& operator=(const Win32Library&) = delete;

    LibraryFunction function(const char* name) const override {
        return reinterpret_cast<LibraryFunction>(::GetProcAddress(module_, name));
    }

  private:
    HMODULE module_;
};

std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    ::LocalFree(text);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ')) {
        w.pop_back();
    }
    return "error " + std::to_string(code) + (w.empty() ? "" : ": " + win32::narrow(w));
}

}  // namespace

std::unique_ptr<SharedLibrary> loadSharedLibrary(const std::filesystem::path& path,
                                                 std::string* reason) {
    // A library with a missing dependency must fail the call, not stop on a dialog box.
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    // With a full path, its own folder is searched for the libraries it needs.
    // That needs an absolute path with backslashes.
    std::filesystem::path p = path;
    DWORD flags = 0;
    if (p.has_parent_path()) {
        std::error_code ec;
        p = std::filesystem::absolute(p, ec).make_preferred();
        flags = LOAD_WITH_ALTERED_SEARCH_PATH;
    }
    HMODULE m = ::LoadLibraryExW(p.c_str(), nullptr, flags);
    const DWORD err = ::GetLastError();
    ::SetThreadErrorMode(oldMode, nullptr);
    if (m == nullptr) {
        if (reason != nullptr) {
            *reason = systemMessage(err);
        }
        return nullptr;
    }
    return std::make_unique<Win32Library>(m);
}

}  // namespace wnd::platform
