// The operating system behind one interface: every OS call of the program goes
// through here, so the rest of the code is portable and testable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace wnd::platform {

// Held for the life of the process; a second process cannot acquire the same name.
class InstanceGuard {
  public:
    virtual ~InstanceGuard() = default;
};

// Returns nullptr when another process already holds the guard `name`.
std::unique_ptr<InstanceGuard> acquireInstanceGuard(std::string_view name);

// The per-user roaming application-data folder; empty when it cannot be found.
std::filesystem::path roamingAppDataFolder();

// True when folder lies below the system's Program Files folders (64- and 32-bit): where a
// user without administrator rights cannot write. Never true on systems without them.
bool isBelowProgramFiles(const std::filesystem::path& folder);
// Whether the system has Program Files folders at all. Where it has none, any folder may be
// closed to the user, and only a write test can tell.
bool hasProgramFilesFolders();
// Creates `file` as a temporary file that is deleted when closed, and writes one byte to it:
// true when the byte was written.
bool writeTest(const std::filesystem::path& file);

// Registry (HKEY_LOCAL_MACHINE, 64-bit view). Systems without one report nothing installed.
bool registryKeyExists(std::string_view subKey);
std::optional<std::string> registryReadString(std::string_view subKey, std::string_view valueName);

// Opens a file or folder with the desktop's default handler; false when that failed.
bool shellOpen(const std::filesystem::path& target);
// A message box with the warning icon and an OK button; waits until the user closes it.
// Systems without a desktop write "<title>: <text>" to standard error instead.
void showWarningBox(std::string_view text, std::string_view title);

// Asks for a 1 ms scheduler tick while the object lives.
class TimerResolution {
  public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;
};

bool processIsElevated();

// The system's ANSI code page (Windows-1252 on Linux) to UTF-16. With rejectInvalid an
// undefined byte fails the conversion; without it such bytes map to their C1 code points.
std::optional<std::u16string> ansiToUtf16(std::string_view bytes, bool rejectInvalid);

// Socket library start-up and clean-up (no-ops where the system needs none).
bool socketStartup();
void socketCleanup();
// The last socket error of this thread as a Windows socket error code.
int lastSocketError();
// A system error number as the Windows socket error code of the same meaning.
int socketErrorFromErrno(int errnoValue);

// Calls onClose (on a thread of its own) when the user asks the process to close:
// SIGINT/SIGTERM on Linux. Call once, before any other thread starts.
void watchCloseRequests(std::function<void()> onClose);

// std::fopen for a path with any characters in it (Windows' fopen takes the ANSI code page).
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

// std::filesystem::copy_file over any file of that name. On Windows that call refuses to
// overwrite (MinGW's library takes any two files for the same one), so the system copies.
bool copyFile(const std::filesystem::path& from, const std::filesystem::path& to,
              std::error_code& ec);

// Flushes a written file's data to the disk; false when that failed.
bool syncFile(const std::filesystem::path& path);

// Number of hardware threads; 0 when unknown.
unsigned hardwareThreads();

// True when reading standard input cannot stop the process: not a terminal, or a terminal
// of which this process is in the foreground (a background read would stop it).
bool standardInputReadable();

}  // namespace wnd::platform
