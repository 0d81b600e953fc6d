#include "airports/closest_stand.h"

namespace wnd {

double gf_readDestApfForClosestStand(std::string_view /*airportCode*/, const LatLon& /*p*/,
                                     std::string& standId) {
    standId.clear();
    return 100.0;
}

}  // namespace wnd
