#include "updater/server.h"

#include <cstdlib>
#include <string_view>

namespace wnd {

namespace {
constexpr std::string_view kServerAddress = "https://downloads.wendle.example";
constexpr const char* kServerOverride = "WENDLE_SERVER_URL";
}  // namespace

std::string gf_serverAddress() {
    std::string address(kServerAddress);
    if (const char* v = std::getenv(kServerOverride); v != nullptr && *v != '\0') {
        address = v;
    }
    while (!address.empty() && address.back() == '/') {
        address.pop_back();
    }
    return address;
}

std::string gf_downloadsAddress() {
    return gf_serverAddress() + "/downloads/";
}

}  // namespace wnd
