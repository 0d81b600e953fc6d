#pragma once

namespace wnd {

// The simulator's major version: 5 or 6 from the install path ("v5"/"V5", "v6"/"V6"),
// else P3D_VERSION when it is at least 5; otherwise user error 77.
int gf_simulatorVersion();

}  // namespace wnd
