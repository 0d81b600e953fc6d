// The simulator's own SimConnect library as a backend: loaded at run time, each operation
// forwarded to the library's function of the same name. Used instead of our TCP transport
// when the library is there (Windows, with Prepar3D's client library installed).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "simconnect/simconnect.h"

namespace wnd {

// The library's file name; a bare name is searched for in the program's folder first.
inline constexpr const char* kSimConnectLibraryName = "SimConnect.dll";

// nullptr when the library cannot be loaded or lacks one of the seventeen functions;
// *reason then says which.
std::unique_ptr<SimConnectApi> gf_loadSimConnectLibrary(const std::filesystem::path& path,
                                                        std::string* reason = nullptr);

// At start: the simulator's library when it loads, else our TCP transport; the log says
// which. The chosen backend lives until the process ends.
void gf_selectSimConnectBackend();

}  // namespace wnd
