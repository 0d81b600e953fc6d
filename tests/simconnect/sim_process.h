// The real wendle-sim binary in a temporary folder, on a free port it reports.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "testkit/testkit.h"

namespace wnd::sctest {

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

  private:
    testkit::TempDir dir_;
    std::unique_ptr<testkit::Process> process_;
};

}  // namespace wnd::sctest
