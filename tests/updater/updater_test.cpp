// The update check in a working folder of its own against a loopback server that plays each
// case: what is logged and shown, what new_version holds, and that a failure leaves the
// working folder exactly as it was.
#include "updater/updater.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "board/run_control.h"
#include "board/status_board.h"
#include "settings/settings.h"
#include "test_http_server.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "updater/open_for_user.h"
#include "util/program.h"
#include "util/zip_archive.h"

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using wnd::Version;
using wnd::testing::TestHttpServer;
using wnd::testkit::readFile;
using wnd::testkit::writeFile;

namespace {

const Version kOwn = wnd::gf_programVersion();
const Version kNewer{kOwn.major, kOwn.minor, kOwn.patch + 1};
const std::string kArchivePath = "/downloads/release/" + wnd::gf_installerArchiveName(kNewer);
const std::string kNormalAdvice =
    "A new version is available.\nThe installer can be executed normally (no Administrator "
    "rights required).";

std::string versionsJson(const Version& v) {
    return fmt::format(R"({{"p3d": {{"major": {}, "minor": {}, "patch": {}}}}})", v.major, v.minor,
                       v.patch);
}

// Bytes that do not compress, so that a damaged byte lands in the content.
std::string noise(std::size_t n) {
    std::mt19937 random(7);
    std::string out(n, '\0');
    std::generate(out.begin(), out.end(), [&] { return static_cast<char>(random()); });
    return out;
}

// The regular files below a folder, by relative name, with their content.
std::map<std::string, std::string> filesBelow(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) {
            out[fs::relative(e.path(), folder).generic_string()] = readFile(e.path());
        } else {
            out[fs::relative(e.path(), folder).generic_string() + "/"] = "";
        }
    }
    return out;
}

class UpdaterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        oldCwd = fs::current_path();
        fs::create_directories(work / "docs");
        writeFile(work / "new_version" / "install_new_version.exe", "the older version");
        writeFile(work / "new_version" / "README.txt", "older advice");
        fs::current_path(work);
        wnd::gs().resetValues();
        wnd::gs().filePath = dir / "parameters.xml";
        wnd::gf_runControl().reset();
        wnd::gf_board().reset();
        wnd::gf_updater().openFolder = [this](const fs::path& p) {
            opened.push_back(p);
            return canOpen;
        };
        wnd::gf_updater().warningBox = [this](std::string_view text, std::string_view title) {
            boxes.push_back(std::string(title) + ": " + std::string(text));
        };
        ::setenv("WENDLE_SERVER_URL", server.url().c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("WENDLE_SERVER_URL");
        wnd::gf_updater().reset();
        wnd::gf_runControl().reset();
        wnd::gf_board().reset();
        wnd::gs().resetValues();
        wnd::gs().filePath = "parameters.xml";
        fs::current_path(oldCwd);
    }
    // An archive's bytes holding these entries.
    std::string archive(const std::vector<std::pair<std::string, std::string>>& entries) {
        auto zip = wnd::ZipArchive::createNew(dir / "made.zip");
        for (const auto& [name, content] : entries) {
            zip->addData(name, content);
        }
        EXPECT_TRUE(zip->close());
        return readFile(dir / "made.zip");
    }
    std::string requested() const {
        std::string all;
        for (const std::string& r : server.requests()) {
            all += r + "\n";
        }
        return all;
    }

    wnd::testkit::TempDir dir;
    fs::path work = dir / "work";
    wnd::testkit::LogCapture log;
    TestHttpServer server;
    fs::path oldCwd;
    std::vector<fs::path> opened;
    std::vector<std::string> boxes;
    bool canOpen = true;
};

const std::string kInstaller = noise(70000);
const std::string kExe = wnd::gf_installerExeName(kNewer);

// How the server answers for the installer archive.
enum class Archive { Missing, Html, Cut, Damaged, Empty, DotDot, Absolute, Redirect };

struct FailureCase {
    const char* name;
    std::string versions;  // the body of versions.json; empty: the server is down
    Archive archive;
    std::vector<std::string> logged;
    bool versionsRead = true;  // and so the data sets were checked
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class UpdaterFailureTest : public UpdaterTest, public ::testing::WithParamInterface<FailureCase> {
  protected:
    void serveArchive(Archive a) {
        using A = Archive;
        using Reply = TestHttpServer::Reply;
        if (a == A::Html) {
            server.serve(kArchivePath, "<!DOCTYPE html><html>Not here</html>");
        } else if (a == A::Redirect) {  // to a server of its own choosing
            server.serve(kArchivePath,
                         Reply{302, "", "Location: http://127.0.0.1:9/x.zip\r\n", false});
        } else if (a != A::Missing) {
            std::string bytes = archive({{a == A::DotDot     ? "../evil.exe"
                                          : a == A::Absolute ? "/tmp/evil.exe"
                                                             : kExe,
                                          a == A::Empty ? "" : kInstaller}});
            if (a == A::Damaged) {
                bytes[30 + kExe.size() + 1000] ^= 0x55;  // inside the compressed content
            }
            server.serve(kArchivePath, Reply{200, bytes, "", a == A::Cut});
        }
    }
};

// Every way the check can fail goes on with the run and leaves the working folder as it was.
TEST_P(UpdaterFailureTest, GoesOnWithTheRunAndLeavesTheWorkingFolderAsItWas) {
    const FailureCase& c = GetParam();
    if (c.versions.empty()) {
        const std::string down =
            "http://127.0.0.1:" + std::to_string(wnd::testing::gf_closedPort());
        ::setenv("WENDLE_SERVER_URL", down.c_str(), 1);
    }
    server.serve("/downloads/versions.json", c.versions);
    server.serve("/downloads/docs/ReleaseNotes.pdf", "%PDF notes");
    serveArchive(c.archive);
    const auto before = filesBelow(work);

    EXPECT_TRUE(wnd::gf_checkVersions());

    EXPECT_EQ(filesBelow(work), before);
    EXPECT_FALSE(wnd::gf_runControl().stopRequested());
    const std::string text = log.text();
    for (const std::string& line : c.logged) {
        EXPECT_THAT(text, HasSubstr(line));
    }
    EXPECT_EQ(text.find("dbase version not found") != std::string::npos, c.versionsRead) << text;
    EXPECT_THAT(requested(), testing::Not(HasSubstr("ReleaseNotes")));
    EXPECT_TRUE(opened.empty());
}

const std::string kFailed =
    "The downloading/unzipping of the new version failed? Try manually via the Ostrand website.";
const std::string kNewerJson = versionsJson(kNewer);

// One case a line or two.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, UpdaterFailureTest, testing::Values(
    FailureCase{"ServerDown", "", Archive::Missing, {"Download error: 'Couldn't connect to server'",
                "==> Downloading version info from my web site failed!"}, false},
    FailureCase{"VersionsAsHtml", "<html><body>Welcome</body></html>", Archive::Missing,
                {"==> versions.json is not valid JSON"}, false},
    FailureCase{"NoProgramMember", R"({"aig": "1.2.3"})", Archive::Html,
                {"p3d version not found", "==> aig version in versions.json is not readable"}},
    FailureCase{"ArchiveNotFound", kNewerJson, Archive::Missing,
                {"Downloading program installer file version " + kNewer.text() + " failed",
                 "==> install_new_version.exe does not exists?", kFailed}},
    FailureCase{"ArchiveAsHtml", kNewerJson, Archive::Html,
                {"==> Could not open " + wnd::gf_installerArchiveName(kNewer), kFailed}},
    FailureCase{"ArchiveCutHalfWay", kNewerJson, Archive::Cut,
                {"Download error: 'Transferred a partial file'", kFailed}},
    FailureCase{"ArchiveDamaged", kNewerJson, Archive::Damaged, {"Unzipping error code: ", kFailed}},
    FailureCase{"EmptyEntry", kNewerJson, Archive::Empty,
                {"==> Archive entry " + kExe + " is empty", kFailed}},
    FailureCase{"EntryLeavingTheFolder", kNewerJson, Archive::DotDot,
                {"its entry ../evil.exe leaves the folder", kFailed}},
    FailureCase{"AbsoluteEntry", kNewerJson, Archive::Absolute,
                {"its entry /tmp/evil.exe leaves the folder", kFailed}},
    FailureCase{"RedirectToAnotherServer", kNewerJson, Archive::Redirect,
                {"Download error: 'HTTP status 302 not followed'", kFailed}}),
    [](const testing::TestParamInfo<FailureCase>& p) { return p.param.name; });
// clang-format on

// The handing over itself, with the release notes, is played by the e2e run.
TEST_F(UpdaterTest, MissingReleaseNotesAndAFolderThatWillNotOpenStillHandOver) {
    writeFile(work / "new_version" / "ReleaseNotes.pdf", "the older notes");
    canOpen = false;
    server.serve("/downloads/versions.json", versionsJson(kNewer));
    // The entry's name is not the one expected: it is the installer all the same.
    server.serve(kArchivePath, archive({{"docs/", ""}, {"Setup.exe", kInstaller}}));

    EXPECT_FALSE(wnd::gf_checkVersions());

    EXPECT_EQ(wnd::gf_runControl().exitReason(), wnd::ExitReason::NewVersion);
    // The older version's files are gone.
    EXPECT_EQ(filesBelow(work / "new_version"),
              (std::map<std::string, std::string>{{"install_new_version.exe", kInstaller},
                                                  {"README.txt", kNormalAdvice + "\n"}}));
    EXPECT_THAT(log.text(), HasSubstr("==> could not download " + server.url() +
                                      "/downloads/docs/ReleaseNotes.pdf to " +
                                      (fs::path("new_version") / "ReleaseNotes.pdf").string()));
    EXPECT_THAT(boxes, ElementsAre("Wendle: Could not open File Explorer at new version"));
    EXPECT_EQ(wnd::gf_board().status(),
              "Opening file explorer at the new version failed? Try manually via the Ostrand "
              "website.");
}

TEST_F(UpdaterTest, InstallerAdviceAsksForAnAdministratorOnlyWhereNeeded) {
    EXPECT_EQ(wnd::gf_installerAdvice(work), kNormalAdvice);  // a folder of the user's own
    EXPECT_FALSE(fs::exists(work / ".write_test.tmp"));
    // Below Program Files, no write rights, not elevated.
    EXPECT_EQ(wnd::gf_installerAdviceFor(true, false, false),
              "A new version is available. Run the installer as Administrator");
}

}  // namespace
