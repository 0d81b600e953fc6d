// The real wendle-sim binary in a temporary folder, on a free port it reports, and the
// SimConnect.cfg that points a client at a port.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/testkit.h"

namespace wnd::sctest {

inline void writeSimConnectCfg(const std::filesystem::path& dir, std::uint16_t port) {
    testkit::writeFile(
        dir / "SimConnect.cfg",
        "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) + "\n");
}

// The lines of a stand-in's trace of one event that have all of `fields`; a line still being
// written is left out.
inline std::vector<nlohmann::json> traceLines(std::string text, const std::string& ev,
                                              const nlohmann::json& fields = {}) {
    text.resize(text.rfind('\n') + 1);
    std::istringstream lines(text);
    std::vector<nlohmann::json> out;
    for (std::string line; std::getline(lines, line);) {
        auto j = nlohmann::json::parse(line);
        bool all = j["ev"] == ev;
        for (const auto& f : fields.items()) {
            all = all && j.contains(f.key()) && j[f.key()] == f.value();
        }
        if (all) {
            out.push_back(std::move(j));
        }
    }
    return out;
}

class SimProcess {
  public:
    // Writes the scenario and starts wendle-sim with --port 0 and a trace next to it.
    explicit SimProcess(const std::string& scenarioJson, std::vector<std::string> extra = {}) {
        testkit::writeFile(dir_ / "scenario.json", scenarioJson);
        std::vector<std::string> args{"--scenario", (dir_ / "scenario.json").string(),
                                      "--port",     "0",
                                      "--trace",    (dir_ / "trace.jsonl").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        testkit::Process::Options opt;
        opt.cwd = dir_.path();
        process_ = std::make_unique<testkit::Process>(testkit::binary("wendle-sim"), args, opt);
    }
    // The port from its "listening on 127.0.0.1:N" line; 0 when it never came.
    std::uint16_t port() {
        static const std::regex kListening(R"(listening on 127\.0\.0\.1:(\d+))");
        std::smatch m;
        std::string out;
        testkit::waitUntil(
            [&] {
                out = process_->out();
                return std::regex_search(out, m, kListening);
            },
            std::chrono::seconds(10));
        return m.empty() ? 0 : static_cast<std::uint16_t>(std::stoi(m[1].str()));
    }
    testkit::Process& process() { return *process_; }
    std::string trace() const { return testkit::readFile(dir_ / "trace.jsonl"); }
    std::filesystem::path tracePath() const { return dir_ / "trace.jsonl"; }
    std::filesystem::path scenarioPath() const { return dir_ / "scenario.json"; }
    std::vector<nlohmann::json> traceOf(const std::string& ev, const nlohmann::json& fields = {}) {
        return traceLines(trace(), ev, fields);
    }

  private:
    testkit::TempDir dir_;
    std::unique_ptr<testkit::Process> process_;
};

}  // namespace wnd::sctest
