// node-simconnect, an independent client implementation from the npm registry, against the
// wendle-sim binary, and its encoders against our golden bytes. Skipped, with the reason
// printed, when node or the package is missing (the set-up could not reach the registry).
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>

#include "sim_process.h"
#include "testkit/testkit.h"

namespace wnd {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Where the test set-up installs node-simconnect; WENDLE_NODE_MODULES overrides it.
fs::path nodeModules() {
    const char* dir = std::getenv("WENDLE_NODE_MODULES");
    return dir != nullptr ? fs::path(dir) : fs::path(WENDLE_NODE_MODULES_DIR);
}

const fs::path kScripts = fs::path(WENDLE_SIMCONNECT_TEST_DIR) / "node";

// Skips (and says why, where CI output shows it) unless node and node-simconnect are there.
#define REQUIRE_NODE_SIMCONNECT()                                                            \
    do {                                                                                     \
        const char* why = std::system("command -v node >/dev/null 2>&1") != 0                \
                              ? "node is not installed"                                      \
                          : !fs::exists(nodeModules() / "node-simconnect" / "package.json")  \
                              ? "node-simconnect is not installed (npm could not reach the " \
                                "registry?)"                                                 \
                              : nullptr;                                                     \
        if (why != nullptr) {                                                                \
            std::cout << "SKIPPED: " << why << "; node-simconnect interop not tested\n";     \
            GTEST_SKIP() << why;                                                             \
        }                                                                                    \
    } while (false)

testkit::Process runNode(const testkit::TempDir& dir, const std::string& script,
                         std::vector<std::string> args) {
    testkit::Process::Options opt;
    opt.cwd = dir.path();
    opt.env = {{"NODE_PATH", nodeModules().string()}};
    args.insert(args.begin(), {"node", (kScripts / script).string()});
    return testkit::Process("/usr/bin/env", args, opt);
}

TEST(NodeSimconnect, TalksToWendleSim) {
    REQUIRE_NODE_SIMCONNECT();
    sctest::SimProcess sim(R"({
        "user": {"title": "Interop Cessna", "atc_model": "C172", "lat": 47.4647, "lon": 8.5492,
                 "alt_ft": 1421, "on_ground": true},
        "refuse_titles": ["Refused Airliner"]
    })");
    const auto port = sim.port();
    ASSERT_NE(port, 0) << sim.process().err();
    testkit::TempDir dir;
    auto node = runNode(dir, "interop.js", {std::to_string(port)});
    const auto status = node.wait(60s);
    std::cout << node.out();
    ASSERT_EQ(status, 0) << node.out() << node.err();
    EXPECT_NE(node.out().find("INTEROP OK"), std::string::npos);
    sim.process().terminate();
    EXPECT_EQ(sim.process().wait(10s), 0);
    const std::string trace = sim.trace();
    EXPECT_NE(trace.find(R"("ev":"create")"), std::string::npos);
    EXPECT_NE(trace.find(R"("ev":"refused","title":"Refused Airliner")"), std::string::npos);
    EXPECT_NE(trace.find(R"("ev":"remove")"), std::string::npos);
}

TEST(NodeSimconnect, GoldenBytesAreWhatItEncodes) {
    REQUIRE_NODE_SIMCONNECT();
    testkit::TempDir dir;
    auto node = runNode(dir, "golden.js", {});
    ASSERT_EQ(node.wait(60s), 0) << node.err();
    const auto fresh = nlohmann::json::parse(node.out());
    const auto committed = nlohmann::json::parse(testkit::readFile(kScripts / "golden.json"));
    EXPECT_EQ(fresh, committed) << "regenerate tests/simconnect/node/golden.json with golden.js";
}

}  // namespace
}  // namespace wnd
