// What the closest-airport rule asks of the airport's park-position file.
#pragma once

#include <string>
#include <string_view>

#include "util/geodesy.h"

namespace wnd {

// Distance in nautical miles from p to the nearest stand of the airport's file, and that
// stand's id; 100.0 when the file cannot be had or holds no stands.
// Until park-position files are read, every airport answers 100.0.
double gf_readDestApfForClosestStand(std::string_view airportCode, const LatLon& p,
                                     std::string& standId);

}  // namespace wnd
