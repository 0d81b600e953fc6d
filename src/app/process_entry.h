#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace wnd {

// The last matching switch wins; unknown arguments are ignored; off by default.
bool gf_productionSwitch(const std::vector<std::string>& args);

// The file of "--snapshot FILE" (the window as an SVG picture at every repaint); empty
// when not given.
std::filesystem::path gf_snapshotSwitch(const std::vector<std::string>& args);

// The whole process: single instance, log, folders, window, runs. Returns the exit
// code (-1 when another instance runs).
int gf_processEntry(const std::vector<std::string>& args);

}  // namespace wnd
