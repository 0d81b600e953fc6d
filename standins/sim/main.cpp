// wendle-sim --scenario FILE [--port N] [--trace FILE]
// A simulated Prepar3D for tests and demos: it listens on 127.0.0.1 and runs until its
// scenario quits or it gets SIGINT/SIGTERM. Exit status 0, 1 when it cannot listen, 2 for
// a bad command line or scenario.
#include <fmt/format.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "standins/sim/standin.h"

namespace {

using namespace std::chrono_literals;

std::atomic<bool> g_close{false};

void say(std::string_view text) {
    std::fputs(fmt::format("wendle-sim: {}\n", text).c_str(), stdout);
    std::fflush(stdout);
}

int usage(std::string_view problem) {
    std::fputs(fmt::format("wendle-sim: {}\nusage: wendle-sim --scenario FILE [--port N] "
                           "[--trace FILE]\n",
                           problem)
                   .c_str(),
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> scenarioFile;
    wnd::simstandin::StandInOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--scenario" && hasValue) {
            scenarioFile = argv[++i];
        } else if (arg == "--trace" && hasValue) {
            options.traceFile = argv[++i];
        } else if (arg == "--port" && hasValue) {
            const std::string_view v = argv[++i];
            unsigned port = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), port);
            if (ec != std::errc() || end != v.data() + v.size() || port > 65535) {
                return usage(fmt::format("'{}' is not a port number", v));
            }
            options.port = static_cast<std::uint16_t>(port);
        } else {
            return usage(fmt::format("unexpected argument '{}'", arg));
        }
    }
    if (!scenarioFile) {
        return usage("--scenario is required");
    }
    wnd::platform::watchCloseRequests([] { g_close = true; });
    try {
        wnd::simstandin::Scenario scenario = wnd::simstandin::gf_loadScenario(*scenarioFile);
        options.log = say;
        wnd::simstandin::SimStandIn standin(std::move(scenario), options);
        standin.start();
        while (!standin.waitEnded(100ms)) {
            if (g_close.load()) {
                say("closing");
                break;
            }
        }
        const std::string failure = standin.failure();
        standin.stop();
        if (!failure.empty()) {
            std::fputs(fmt::format("wendle-sim: {}\n", failure).c_str(), stderr);
            return 1;
        }
        return 0;
    } catch (const wnd::simstandin::ScenarioError& e) {
        std::fputs(fmt::format("wendle-sim: {}\n", e.what()).c_str(), stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fputs(fmt::format("wendle-sim: {}\n", e.what()).c_str(), stderr);
        return 1;
    }
}
