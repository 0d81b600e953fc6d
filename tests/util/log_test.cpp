#include "util/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "testkit/log_capture.h"
#include "util/charset.h"
#include "util/log_throttle.h"

namespace fs = std::filesystem;

namespace wnd {
namespace {

using testkit::readFile;
using testkit::TempDir;

TEST(Log, AFloodOfOneKindKeepsTwentyLinesAMinuteAndCountsTheRest) {
    testkit::LogCapture log;
    LogThrottle throttle("bad line");
    const auto t0 = LogThrottle::Clock::time_point{} + std::chrono::hours(1);
    int written = 0;
    for (int i = 0; i < 500; ++i) {
        written += throttle.admit(t0 + std::chrono::milliseconds(i * 100)) ? 1 : 0;
    }
    EXPECT_EQ(written, 20);  // all within the first minute
    EXPECT_TRUE(throttle.admit(t0 + std::chrono::seconds(61)));
    throttle.admit(t0 + std::chrono::seconds(200));
    const std::string text = log.text();
    EXPECT_TRUE(log.contains("480 more \"bad line\" lines suppressed in the last minute"));
    EXPECT_EQ(text.find("suppressed", text.find('\n', text.find("480 more"))), std::string::npos);
}

TEST(Log, HeaderGenerationsAndLineKinds) {
    TempDir dir;
    const fs::path log = dir / "Log.txt";
    for (int run = 0; run < 4; ++run) {
        gf_openLog(log);
        gf_logLine("run {}", run);
        gf_closeLog();
    }
    // Each generation holds its whole run, each copy replacing the one before (tests/e2e sees
    // that there are three).
    for (const auto& [name, run] :
         {std::pair{"Log0.txt", 2}, {"Log00.txt", 1}, {"Log000.txt", 0}}) {
        const std::string text = readFile(dir / name);
        EXPECT_EQ(text.substr(text.find('\n') + 1), fmt::format("run {}\n", run)) << name;
    }

    gf_openLog(log);
    gf_logLine("plain {}", 1);
    gf_logWarning("gf_something: {} failed", "x");
    // The warning flushes, so it is on disk before the log closes.
    const std::string onDisk = readFile(log);
    gf_closeLog();
    gf_logLine("after close is ignored");

    // The header line is checked by tests/e2e, which sees the program write it.
    const std::vector<std::string> lines = gf_splitLines(onDisk);
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[1], "plain 1");
    EXPECT_EQ(lines[2], "==> gf_something: x failed");
    EXPECT_EQ(readFile(log).find("after close"), std::string::npos);
    EXPECT_EQ(onDisk.find('\r'), std::string::npos);
}

// A log that cannot be opened is played by the real program in tests/e2e.
TEST(Log, LinesOfThreadsNeverInterleave) {
    TempDir dir;
    gf_openLog(dir / "T.txt");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                gf_logLine("thread {} line {} {}", t, i,
                           std::string(40, static_cast<char>('a' + t)));
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    gf_closeLog();
    const std::vector<std::string> lines = gf_splitLines(readFile(dir / "T.txt"));
    ASSERT_EQ(lines.size(), 2001U);
    const std::regex whole(R"(thread (\d) line \d+ ([a-d])\2{39})");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        ASSERT_TRUE(std::regex_match(lines[i], whole)) << lines[i];
    }
}

}  // namespace
}  // namespace wnd
