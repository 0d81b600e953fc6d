#include "settings/sim_version.h"

#include <fmt/format.h>

#include "settings/settings.h"
#include "util/user_error.h"

namespace wnd {

int gf_simulatorVersion() {
    const std::string path = gs().SIM_INSTALL_PATH.value();
    if (path.find("v5") != std::string::npos || path.find("V5") != std::string::npos) {
        return 5;
    }
    if (path.find("v6") != std::string::npos || path.find("V6") != std::string::npos) {
        return 6;
    }
    if (gs().P3D_VERSION.value() >= 5) {
        return gs().P3D_VERSION.value();
    }
    throw UserErrorException(
        77, fmt::format("P3D install path does not contain v5 or v6. Use hidden parameter {}, set "
                        "it to 5 or 6.",
                        gs().P3D_VERSION.key()));
}

}  // namespace wnd
