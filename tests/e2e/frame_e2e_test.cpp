// The real `wendle` in a temporary working folder and per-user folder, with the shipped
// reference data.
#include <gtest/gtest.h>
#include <signal.h>

#include <pugixml.hpp>
#include <regex>

#include "testkit/testkit.h"
#include "util/program.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace wnd {
namespace {

using testkit::Process;
using testkit::readFile;
using testkit::WorkFolder;
using testkit::writeFile;

const std::string kNoPath =
    "Error 151: No P3D install path detected. Type the full Install Path above, then press Enter";

Process start(const WorkFolder& wf, std::vector<std::string> args = {}) {
    return Process(testkit::binary("wendle"), args, wf.options());
}

std::string stdoutOf(const WorkFolder& wf) {
    return readFile(wf.dir / "stdout.txt");
}

bool shows(const WorkFolder& wf, const std::string& text) {
    return testkit::waitUntil([&] { return stdoutOf(wf).find(text) != std::string::npos; }, 10s);
}

void withInstallPath(const WorkFolder& wf) {
    wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()}});
}

TEST(FrameE2E, FirstStartCreatesSettingsAndWaitsAndASecondInstanceLeavesAtOnce) {
    WorkFolder wf;
    Process p = start(wf);
    ASSERT_TRUE(shows(wf, kNoPath)) << stdoutOf(wf);
    const std::string logBefore = wf.log();
    Process::Options o = wf.options();
    o.stdoutFile = wf.dir / "second.out";
    Process second(testkit::binary("wendle"), {"--production"}, o);
    EXPECT_EQ(second.wait(5s), 255);
    EXPECT_EQ(readFile(wf.dir / "second.out"), "");
    EXPECT_FALSE(fs::exists(wf.work / "Log0.txt"));
    EXPECT_EQ(wf.log(), logBefore);
    // The first waits for the user: still running a second later.
    EXPECT_FALSE(p.wait(1s).has_value());
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(wf.parametersFile().c_str()));
    const auto params = doc.child("root").child("parameters");
    EXPECT_STREQ(params.first_child().attribute("name").value(), "RANDOM");
    EXPECT_STREQ(params.last_child().attribute("name").value(), "BLOCK_CALLSIGN");
    EXPECT_EQ(testkit::parameterValue(wf.parametersFile(), "SCAN_LIVERIES"), "true");
    p.terminate();  // the close button
    EXPECT_EQ(p.wait(10s), 0);
    const std::string log = wf.log();
    EXPECT_NE(log.find("Exiting: SYSTEM ERROR"), std::string::npos);
    EXPECT_NE(log.find("User closed Wendle_P3D"), std::string::npos);
}

TEST(FrameE2E, ProductionRunsStartUpReadTheDataAndKeepThreeOldLogs) {
    WorkFolder wf;
    wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()},
                        {"MAIN_WINDOW_X", "5000"},
                        {"MAIN_WINDOW_Y", "-99999"}});
    const std::vector<std::vector<std::string>> switches = {
        {"--production"},
        {"/PRODUCTION"},
        {"--Production", "--no-production", "/production"},
        {"/no-production", "--PRODUCTION"}};
    for (const auto& args : switches) {
        Process p = start(wf, args);
        ASSERT_EQ(p.wait(20s), 0) << stdoutOf(wf);
    }
    const std::string log = wf.log();
    const std::string version =
        std::regex_replace(std::string(kProgramVersionText), std::regex(R"(\.)"), R"(\.)");
    EXPECT_TRUE(std::regex_search(
        log, std::regex(R"(^(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|)"
                        R"(Okt|Nov|Dec) \d\d \d\d:\d\d:\d\d \d{4} \(utc\) Wendle_P3D version )" +
                        version + R"( for Prepar3D v5/v6\n)")))
        << log;
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos);
    EXPECT_EQ(log.find("detected at this PC"), std::string::npos);
    for (const char* old : {"Log0.txt", "Log00.txt", "Log000.txt"}) {
        EXPECT_TRUE(fs::exists(wf.work / old)) << old;
    }
    EXPECT_FALSE(fs::exists(wf.work / "Log0000.txt"));
    for (const char* folder : {"airports/my_ORBX", "airports/learned/thirdparty", "output/errors",
                               "input/my_regcodes"}) {
        EXPECT_TRUE(fs::is_directory(wf.work / folder)) << folder;
    }

    // The shipped reference data is read, and its plain text never lands on disk.
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\n[1-9]\d{3,} dbase records read\n)"))) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\n[1-9]\d{3,} airports read\n)"))) << log;
    EXPECT_NE(log.find("==> Downloading version info from my web site failed!"), std::string::npos);
    for (const char* plain : {"dbase.xml", "airports.xml", "AIG-regcodes.xml"}) {
        EXPECT_FALSE(fs::exists(wf.work / "input" / plain)) << plain;
    }
    EXPECT_FALSE(fs::exists(wf.work / "versions.json"));

    // The window position was clamped into range, then fitted into the screen's work area.
    EXPECT_EQ(testkit::parameterValue(wf.parametersFile(), "MAIN_WINDOW_X"), "1040");  // 1920-880
    EXPECT_EQ(testkit::parameterValue(wf.parametersFile(), "MAIN_WINDOW_Y"), "0");
}

TEST(FrameE2E, NoProductionSwitchRunsOnPastTheInstallPath) {
    WorkFolder wf;
    withInstallPath(wf);
    Process p = start(wf, {"--production", "--no-production"});
    // Past the start-up it waits for the simulator, until the user closes it.
    ASSERT_TRUE(testkit::waitUntil(
        [&] { return wf.log().find("Stock airports path does not exist: ") != std::string::npos; },
        20s));
    EXPECT_NE(wf.log().find("RealTraffic not detected at this PC"), std::string::npos);
    p.terminate();
    EXPECT_EQ(p.wait(10s), 0);
}

TEST(FrameE2E, WrongOrUnreadableWorkingFolderShowsAnErrorAndWaits) {
    WorkFolder noDocs(false);
    Process p = start(noDocs);
    ASSERT_TRUE(shows(noDocs, "Error 41: Wendle_P3D must be run from the Wendle_P3D folder!"));
    EXPECT_FALSE(p.wait(500ms).has_value());
    p.signal(SIGINT);
    EXPECT_EQ(p.wait(10s), 0);

    WorkFolder loop(false);
    fs::create_symlink("docs", loop.work / "docs");  // its status cannot be read
    Process q = start(loop);
    ASSERT_TRUE(shows(loop, "Too many levels of symbolic links")) << stdoutOf(loop);
    q.terminate();
    EXPECT_EQ(q.wait(10s), 0);
}

TEST(FrameE2E, BadSettingsFilesAreKeptAsideAndReplaced) {
    const std::vector<std::string> bad = {
        std::string("\x00\xFF\xFE\x01 binary", 11),
        "<root><parameters><parameter name=\"RANGE\" value=\"8\"/>",
        std::string(17 << 20, '<'),  // beyond the 16 MiB a settings file may have
        "<other/>",                  // parses, but holds no parameters
    };
    for (const std::string& content : bad) {
        WorkFolder wf;
        writeFile(wf.parametersFile(), content);
        // Nothing could be read from it, the install path included.
        Process p = start(wf, {"--production"});
        ASSERT_TRUE(shows(wf, kNoPath)) << stdoutOf(wf);
        p.terminate();
        ASSERT_EQ(p.wait(10s), 0);
        EXPECT_EQ(readFile(wf.userFolder() / "parameters0.xml"), content);
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_file(wf.parametersFile().c_str()));
        EXPECT_NE(wf.log().find("Saved as 0.xml and removed."), std::string::npos);
        EXPECT_EQ(wf.log().find("file too large") != std::string::npos,
                  content.size() > (16U << 20));
    }
}

TEST(FrameE2E, LogThatCannotBeWrittenIsReportedAndTheProgramGoesOn) {
    WorkFolder wf;
    withInstallPath(wf);
    fs::create_directory(wf.work / "Log.txt");
    Process p = start(wf, {"--production"});
    EXPECT_EQ(p.wait(20s), 0);
    EXPECT_NE(readFile(wf.dir / "stderr.txt").find("Failed to write file Log.txt"),
              std::string::npos);
    // Settings were still read and written.
    EXPECT_TRUE(fs::exists(wf.parametersFile()));
}

TEST(FrameE2E, MissingOrDamagedDataFilesStopTheRunWithTheirReason) {
    // The data file, and whether it is missing or cut halfway (a truncated download).
    for (const auto& [file, missing, error] :
         {std::tuple{"dbase.enc", true, "Error input/dbase.enc not available"},
          std::tuple{"airports.enc", false, "Error input/airports.enc stream decrypt failed"}}) {
        WorkFolder wf;
        withInstallPath(wf);
        const fs::path enc = wf.work / "input" / file;
        const std::string bytes = readFile(enc);
        missing ? (void)fs::remove(enc) : writeFile(enc, bytes.substr(0, bytes.size() / 2));
        Process p = start(wf, {"--production"});
        EXPECT_TRUE(shows(wf, error)) << stdoutOf(wf);
        p.terminate();
        EXPECT_EQ(p.wait(10s), 0);
        EXPECT_FALSE(fs::exists(fs::path(enc).replace_extension(".xml")));
    }
}

}  // namespace
}  // namespace wnd
