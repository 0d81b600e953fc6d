// Flight plan files for live aircraft: the folder "orig_dest" in the working folder, one
// "{object id}.pln" file per identified aircraft that has an origin and a destination.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace wnd {

// Creates "orig_dest" (with parents) in `workingFolder` and remembers it (absolute: the
// simulator resolves the path, not we). A creation error is logged
// ("gf_createFlightPlanFolder: {}"); a path that exists but is no folder raises
// std::filesystem::filesystem_error.
void gf_createFlightPlanFolder(
    const std::filesystem::path& workingFolder = std::filesystem::current_path());
// Closing down: removes the folder with its contents if this process made it; a failure
// is logged ("gf_removeFlightPlanFolder: {}").
void gf_removeFlightPlanFolder();
// The remembered folder; empty before gf_createFlightPlanFolder.
std::filesystem::path gf_flightPlanFolder();
std::filesystem::path gf_flightPlanPath(std::uint32_t objectId);

// The file's text: IFR for the categories 1 to 3, VFR for the others; LF line ends and an
// empty line at the end.
std::string gf_flightPlanText(int category, std::string_view origin, std::string_view destination);

// Deletes "{objectId}.pln"; a failure is logged ("gf_removeFlightPlan: {}").
void gf_removeFlightPlan(std::uint32_t objectId);

}  // namespace wnd
