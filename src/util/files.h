// File generations, folder clean-ups and safe replacement of files the user would miss.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace wnd {

// "Log.txt" -> "Log0.txt": a "0" in front of the last '.' of the file name.
// A path as UTF-8 text (for the log, messages and files), and back; the one place where
// paths and text meet, so non-ASCII folders read the same on every system.
std::string gf_pathText(const std::filesystem::path& path);
std::filesystem::path gf_textPath(std::string_view utf8);

std::filesystem::path gf_generationName(const std::filesystem::path& path);

bool gf_save1GenerationOf(const std::filesystem::path& path);
bool gf_saveUpto3GenerationsOf(const std::filesystem::path& path);

// Deletes the regular files directly inside the folder; sub-folders stay.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// Deletes the *.XML files (any case) directly inside the folder (default "tblo").
void gf_removeXMLFilesFromDirectory(const std::filesystem::path& folder = "tblo");

// Names of the *.XML files (any case) in the folder (default "airports/my_thirdparty").
std::vector<std::string> gf_listThirdPartyXmlFiles(
    const std::filesystem::path& folder = std::filesystem::path("airports") / "my_thirdparty");

std::size_t gf_countDirectoryEntries(const std::filesystem::path& folder);

// Writes the content to a temporary file in the same folder, flushes it to disk and
// renames it over the target, so a crash or a full disk never leaves half a file.
// On failure the old file stays as it was, the warning is logged and false returned.
bool gf_writeFileAtomic(const std::filesystem::path& path, std::string_view content);

namespace testing {
// Makes the next n atomic writes fail as a full disk would (fault-injection tests).
void failNextAtomicWrites(int n);
}  // namespace testing

}  // namespace wnd
