// The program-wide log: Log.txt in the working folder, three older generations kept.
// Any thread may log; each line is written whole under one mutex. Writing does
// nothing while the log is closed.
#pragma once

#include <fmt/format.h>

#include <filesystem>
#include <string_view>

namespace wnd {

// Keeps the older generations, opens the file truncated and writes the header.
// Throws std::runtime_error("Failed to write file <path>") when it cannot be opened.
void gf_openLog(const std::filesystem::path& path = "Log.txt");
void gf_closeLog();
bool gf_logIsOpen();

void gf_logLine(std::string_view text);
// "==> " + text; flushes the file.
void gf_logWarning(std::string_view text);
void gf_flushLog();

template <typename T, typename... Ts>
void gf_logLine(fmt::format_string<T, Ts...> f, T&& a, Ts&&... as) {
    gf_logLine(std::string_view(fmt::format(f, std::forward<T>(a), std::forward<Ts>(as)...)));
}

template <typename T, typename... Ts>
void gf_logWarning(fmt::format_string<T, Ts...> f, T&& a, Ts&&... as) {
    gf_logWarning(std::string_view(fmt::format(f, std::forward<T>(a), std::forward<Ts>(as)...)));
}

}  // namespace wnd
