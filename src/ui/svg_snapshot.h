// The window as an SVG picture (880x516 user units), drawn from the display list, so the
// window can be looked at and tested on Linux. Controls are groups with their identifier,
// name, kind and state as data attributes.
#pragma once

#include <filesystem>
#include <string>

#include "ui/display_list.h"

namespace wnd {

std::string gf_svgFromDisplayList(const DisplayList& list);
// Replaces the file atomically; false (and a log line) when it could not be written.
bool gf_writeSvgSnapshot(const DisplayList& list, const std::filesystem::path& file);

// "#rrggbb".
std::string gf_colourText(Colour c);

}  // namespace wnd
