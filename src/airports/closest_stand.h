// What the closest-airport rule asks of the airport's park-position file.
#pragma once

#include <string>
#include <string_view>

#include "util/geodesy.h"

namespace wnd {

// Distance in nautical miles from p to the nearest stand of the airport's file, and that
// stand's id; 100.0 when the file cannot be had or holds no stands.
// Each airport's stands are read once per process (a stock file is fetched once).
double gf_readDestApfForClosestStand(std::string_view airportCode, const LatLon& p,
                                     std::string& standId);
// Forgets the stands read so far (the run reset and tests).
void gf_forgetClosestStands();

}  // namespace wnd
