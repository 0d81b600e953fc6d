#include "simconnect/config.h"

#include <fmt/format.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

#include "util/strings.h"

namespace wnd {

namespace {

bool sectionMatches(std::string_view name, std::uint32_t index) {
    const std::string upper = gf_toUpper(gf_trimView(name));
    if (upper == "SIMCONNECT") {
        return index == 0;
    }
    return upper == fmt::format("SIMCONNECT.{}", index);
}

}  // namespace

SimConnectCfgResult gf_parseSimConnectCfg(std::string_view text, std::uint32_t configIndex) {
    SimConnectCfgResult r;
    r.fromFile = true;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    bool inSection = false;
    bool found = false;
    std::string protocol = "IPv4";
    std::string port;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = gf_trimView(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string_view::npos &&
                        sectionMatches(line.substr(1, close - 1), configIndex);
            found = found || inSection;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos) {
            continue;
        }
        const std::string key = gf_toUpper(gf_trimView(line.substr(0, eq)));
        const std::string value = gf_trim(line.substr(eq + 1));
        if (key == "PROTOCOL") {
            protocol = value;
        } else if (key == "ADDRESS") {
            r.cfg.address = value;
        } else if (key == "PORT") {
            port = value;
        }
    }
    if (!found) {
        r.ok = false;
        r.error = configIndex == 0
                      ? "SimConnect.cfg has no [SimConnect] section"
                      : fmt::format("SimConnect.cfg has no [SimConnect.{}] section", configIndex);
        return r;
    }
    if (gf_toUpper(protocol) != "IPV4") {
        r.ok = false;
        r.error = fmt::format("SimConnect.cfg: Protocol={} is not supported, use IPv4", protocol);
        return r;
    }
    if (r.cfg.address.empty()) {
        r.ok = false;
        r.error = "SimConnect.cfg: Address is empty";
        return r;
    }
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
            r.ok = false;
            r.error = fmt::format("SimConnect.cfg: Port={} is not a port number", port);
            return r;
        }
        r.cfg.port = static_cast<std::uint16_t>(value);
    }
    return r;
}

SimConnectCfgResult gf_readSimConnectCfg(const std::filesystem::path& folder,
                                         std::uint32_t configIndex) {
    std::ifstream in(folder / "SimConnect.cfg", std::ios::binary);
    if (!in) {
        return {};
    }
    // A configuration file is a few lines; a huge one is not ours to read whole.
    std::string text;
    text.resize(64 * 1024);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return gf_parseSimConnectCfg(text, configIndex);
}

}  // namespace wnd
