#include "sim/flight_plan.h"

#include <fmt/format.h>

#include <system_error>

#include "util/log.h"
#include "util/mutex.h"
#include "util/no_destructor.h"

namespace wnd {

namespace fs = std::filesystem;

namespace {

struct FolderState {
    Mutex mu;
    fs::path folder GUARDED_BY(mu);
    bool made GUARDED_BY(mu) = false;
};

FolderState& lf_folderState() {
    static NoDestructor<FolderState> s;
    return *s;
}

}  // namespace

void gf_createFlightPlanFolder(const fs::path& workingFolder) {
    const fs::path folder = fs::absolute(workingFolder / "orig_dest");
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
        throw fs::filesystem_error("gf_createFlightPlanFolder: not a folder", folder,
                                   std::make_error_code(std::errc::not_a_directory));
    }
    fs::create_directories(folder, ec);
    if (ec) {
        gf_logLine("gf_createFlightPlanFolder: {}", ec.message());
    }
    auto& s = lf_folderState();
    MutexLock lock(s.mu);
    s.folder = folder;
    s.made = !ec;
}

void gf_removeFlightPlanFolder() {
    auto& s = lf_folderState();
    MutexLock lock(s.mu);
    if (!s.made) {
        return;
    }
    std::error_code ec;
    fs::remove_all(s.folder, ec);
    if (ec) {
        gf_logLine("gf_removeFlightPlanFolder: {}", ec.message());
    }
    s.made = false;
}

fs::path gf_flightPlanFolder() {
    auto& s = lf_folderState();
    MutexLock lock(s.mu);
    return s.folder;
}

fs::path gf_flightPlanPath(std::uint32_t objectId) {
    return gf_flightPlanFolder() / fmt::format("{}.pln", objectId);
}

std::string gf_flightPlanText(int category, std::string_view origin, std::string_view destination) {
    const char* type = (category >= 1 && category <= 3) ? "IFR" : "VFR";
    return fmt::format("{}\n{}\n{}\n{}{}{}\n{}{}{}\n{}{}{}\n{}\n{}\n",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                       "<SimBase.Document Type=\"AceXML\" version=\"4,3\">",
                       "<FlightPlan.FlightPlan>", "<FPType>", type, "</FPType>", "<DepartureID>",
                       origin, "</DepartureID>", "<DestinationID>", destination, "</DestinationID>",
                       "</FlightPlan.FlightPlan>", "</SimBase.Document>") +
           "\n";
}

void gf_removeFlightPlan(std::uint32_t objectId) {
    std::error_code ec;
    fs::remove(gf_flightPlanPath(objectId), ec);
    if (ec) {
        gf_logLine("gf_removeFlightPlan: {}", ec.message());
    }
}

}  // namespace wnd
