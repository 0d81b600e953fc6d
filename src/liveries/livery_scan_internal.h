// What the three parts of the livery scan share: reading one configuration file
// (cfg_file.cpp), the folder walk and its worker threads (folder_walk.cpp), and merging the
// findings into the catalogue with the reports (livery_scan.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "liveries/livery_scan.h"

namespace wnd {

// Texts inside the program are UTF-8, whatever the system's own path encoding.
inline std::filesystem::path lf_path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The program began to close down.
bool lf_ending();

// One file's findings into the session and the catalogue, in walk order: a title already
// in the catalogue is dropped with its message. Returns the number of liveries added.
std::size_t lf_mergeFindings(FileFindings& f, ScanSession& session);

}  // namespace wnd
