// The shipped reference data read by the real program at start-up.
#include <gtest/gtest.h>

#include <regex>

#include "testkit/testkit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace wnd {
namespace {

using testkit::Process;
using testkit::readFile;
using testkit::WorkFolder;

void prepare(const WorkFolder& wf) {
    wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()}});
}

std::string waitForError(const WorkFolder& wf, Process& p) {
    testkit::waitUntil(
        [&] { return readFile(wf.dir / "stdout.txt").find("Error ") != std::string::npos; }, 15s);
    p.terminate();
    EXPECT_EQ(p.wait(10s), 0);
    return readFile(wf.dir / "stdout.txt");
}

TEST(RefdataE2E, ProductionStartReadsTheShippedDataAndLeavesNoPlainFiles) {
    WorkFolder wf;
    prepare(wf);
    Process p(testkit::binary("wendle"), {"--production"}, wf.options());
    ASSERT_EQ(p.wait(30s), 0) << readFile(wf.dir / "stdout.txt");
    const std::string log = wf.log();
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\n[1-9]\d{3,} dbase records read\n)"))) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\n[1-9]\d{3,} airports read\n)"))) << log;
    EXPECT_NE(log.find("==> Downloading version info from my web site failed!"), std::string::npos);
    for (const char* plain : {"dbase.xml", "airports.xml", "AIG-regcodes.xml"}) {
        EXPECT_FALSE(fs::exists(wf.work / "input" / plain)) << plain;
    }
    EXPECT_FALSE(fs::exists(wf.work / "versions.json"));
}

TEST(RefdataE2E, MissingOrDamagedDataFilesStopTheRunWithTheirReason) {
    {
        WorkFolder wf;
        prepare(wf);
        fs::remove(wf.work / "input" / "dbase.enc");
        Process p(testkit::binary("wendle"), {"--production"}, wf.options());
        const std::string out = waitForError(wf, p);
        EXPECT_NE(out.find("Error input/dbase.enc not available"), std::string::npos) << out;
    }
    {
        WorkFolder wf;
        prepare(wf);
        const fs::path enc = wf.work / "input" / "airports.enc";
        const std::string bytes = readFile(enc);
        testkit::writeFile(enc, bytes.substr(0, bytes.size() / 2));  // truncated download
        Process p(testkit::binary("wendle"), {"--production"}, wf.options());
        const std::string out = waitForError(wf, p);
        EXPECT_NE(out.find("Error input/airports.enc stream decrypt failed"), std::string::npos)
            << out;
        EXPECT_FALSE(fs::exists(wf.work / "input" / "airports.xml"));
    }
}

}  // namespace
}  // namespace wnd
