// Where the program's web server is. The one place that knows its address.
#pragma once

#include <string>

namespace wnd {

// The server's root address, scheme and host (and port), without a trailing '/'.
// WENDLE_SERVER_URL overrides the built-in address (tests point it at loopback).
std::string gf_serverAddress();

// The download base address: the server's "/downloads/" folder, ending in '/'.
std::string gf_downloadsAddress();

}  // namespace wnd
