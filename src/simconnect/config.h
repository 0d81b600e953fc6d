// SimConnect.cfg: where the TCP transport connects. The section [SimConnect] (or
// [SimConnect.0]) serves configuration index 0, [SimConnect.N] index N; the keys are
// Protocol (only IPv4 is carried here), Address and Port. Without a file the transport
// connects to the local stand-in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace wnd {

inline constexpr const char* kSimConnectDefaultAddress = "127.0.0.1";
inline constexpr std::uint16_t kSimConnectDefaultPort = 5111;

struct SimConnectCfg {
    std::string address = kSimConnectDefaultAddress;
    std::uint16_t port = kSimConnectDefaultPort;
};

struct SimConnectCfgResult {
    bool ok = true;
    bool fromFile = false;
    SimConnectCfg cfg;
    std::string error;  // why the configuration cannot be used
};

SimConnectCfgResult gf_parseSimConnectCfg(std::string_view text, std::uint32_t configIndex);
// Reads folder/SimConnect.cfg; a missing file gives the defaults.
SimConnectCfgResult gf_readSimConnectCfg(const std::filesystem::path& folder,
                                         std::uint32_t configIndex);

}  // namespace wnd
