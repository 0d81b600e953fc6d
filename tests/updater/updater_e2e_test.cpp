// The real `wendle` against scripts/serve: the server tree the build generates, as it is
// (this very version) and with a newer version on offer.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "testkit/testkit.h"
#include "util/program.h"
#include "util/version.h"
#include "util/zip_archive.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace wnd {
namespace {

using testkit::Process;
using testkit::readFile;
using testkit::writeFile;

const fs::path kTree = WENDLE_SERVER_TREE;

// scripts/serve on a free loopback port.
class Serve {
  public:
    Serve(const fs::path& tree, const fs::path& logs) {
        Process::Options o;
        o.cwd = logs;
        o.stdoutFile = logs / "serve.out";
        o.stderrFile = logs / "serve.err";
        process_ = std::make_unique<Process>(testkit::sourceDir() / "scripts" / "serve",
                                             std::vector<std::string>{tree.string()}, o);
        const std::regex line(R"(serving .* at (http://127\.0\.0\.1:\d+))");
        std::smatch m;
        testkit::waitUntil(
            [&] {
                const std::string out = process_->out();
                return std::regex_search(out, m, line) && (url_ = m[1].str(), true);
            },
            10s);
    }
    const std::string& url() const { return url_; }
    // The paths asked for, in order.
    std::vector<std::string> requests() const {
        std::vector<std::string> paths;
        const std::string err = process_->err();
        const std::regex get(R"re("GET (\S+) HTTP)re");
        for (auto it = std::sregex_iterator(err.begin(), err.end(), get);
             it != std::sregex_iterator(); ++it) {
            paths.push_back((*it)[1].str());
        }
        return paths;
    }

  private:
    std::unique_ptr<Process> process_;
    std::string url_;
};

// A working folder whose program asks that server, and whose desktop "opens" a folder by
// writing its name into opened.txt.
struct UpdaterRun {
    testkit::WorkFolder wf;
    Process::Options options;
    explicit UpdaterRun(const std::string& serverUrl) {
        wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()},
                            {"SCAN_LIVERIES", "false"},
                            {"SCAN_AIRPORTS", "false"}});
        const fs::path bin = wf.dir / "bin";
        writeFile(bin / "xdg-open", fmt::format("#!/bin/sh\necho \"$1\" >> '{}'\n",
                                                (wf.dir / "opened.txt").string()));
        fs::permissions(bin / "xdg-open", fs::perms::owner_all);
        options = wf.options();
        options.env["WENDLE_SERVER_URL"] = serverUrl;
        options.env["PATH"] = bin.string();
    }
    std::set<std::string> workFiles() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(wf.work)) {
            names.insert(e.path().filename().string());
        }
        return names;
    }
};

TEST(UpdaterE2E, TheBuildsOwnServerOffersThisVersion) {
    testkit::TempDir logs;
    Serve serve(kTree, logs.path());
    ASSERT_FALSE(serve.url().empty()) << readFile(logs / "serve.err");
    UpdaterRun run(serve.url());
    Process p(testkit::binary("wendle"), {"--production"}, run.options);
    ASSERT_EQ(p.wait(60s), 0) << run.wf.log();
    const std::string log = run.wf.log();
    EXPECT_NE(log.find("p3d program version at web = " + std::string(kProgramVersionText)),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("p3d version up-to-date"), std::string::npos);
    EXPECT_FALSE(fs::exists(run.wf.work / "new_version"));
    EXPECT_EQ(serve.requests(), std::vector<std::string>{"/downloads/versions.json"});
}

TEST(UpdaterE2E, NewerVersionIsUnpackedIntoNewVersionAndEndsTheProgram) {
    // The build's tree, offering the next patch version with the build's test installer.
    const Version own = gf_programVersion();
    const Version next{own.major, own.minor, own.patch + 1};
    const std::string ownArchive = fmt::format("setup_{}_d_v{}.zip", kProductTitle, own.text());
    const std::string nextArchive = fmt::format("setup_{}_d_v{}.zip", kProductTitle, next.text());
    testkit::TempDir tree;
    fs::create_directories(tree / "downloads" / "release");
    fs::copy(kTree / "downloads" / "docs", tree / "downloads" / "docs");
    fs::copy_file(kTree / "downloads" / "release" / ownArchive,
                  tree / "downloads" / "release" / nextArchive);
    writeFile(tree / "downloads" / "versions.json",
              fmt::format(R"({{"p3d": {{"major": {}, "minor": {}, "patch": {}}}}})", next.major,
                          next.minor, next.patch));
    // What the installer entry holds.
    std::string installer;
    {
        auto zip = ZipArchive::openForReading(tree / "downloads" / "release" / nextArchive);
        ASSERT_TRUE(zip.has_value());
        ASSERT_EQ(zip->entries().size(), 1U);
        ASSERT_TRUE(zip->readEntry(zip->entries().front(), [&](std::span<const char> piece) {
            installer.append(piece.data(), piece.size());
            return true;
        }));
    }

    Serve serve(tree.path(), tree.path());
    ASSERT_FALSE(serve.url().empty()) << readFile(tree / "serve.err");
    UpdaterRun run(serve.url());
    Process p(testkit::binary("wendle"), {}, run.options);
    ASSERT_EQ(p.wait(60s), 0) << run.wf.log();

    const std::string log = run.wf.log();
    EXPECT_NE(log.find("p3d program version at web = " + next.text()), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: NEW VERSION"), std::string::npos) << log;
    const fs::path nv = run.wf.work / "new_version";
    EXPECT_EQ(readFile(nv / "install_new_version.exe"), installer);
    EXPECT_EQ(readFile(nv / "ReleaseNotes.pdf"),
              readFile(kTree / "downloads" / "docs" / "ReleaseNotes.pdf"));
    EXPECT_EQ(readFile(nv / "README.txt"),
              "A new version is available.\nThe installer can be executed normally (no "
              "Administrator rights required).\n");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(nv)) {
        ++files;
    }
    EXPECT_EQ(files, 3U);
    EXPECT_EQ(readFile(run.wf.dir / "opened.txt"), nv.string() + "\n");
    // Nothing of the download stays in the working folder.
    for (const std::string& name : run.workFiles()) {
        EXPECT_TRUE(name.find(".zip") == std::string::npos && name != "versions.json" &&
                    name != "install_new_version.exe" && name.find(".part") == std::string::npos)
            << name;
    }
    EXPECT_EQ(serve.requests(), (std::vector<std::string>{"/downloads/versions.json",
                                                          "/downloads/release/" + nextArchive,
                                                          "/downloads/docs/ReleaseNotes.pdf"}));
}

}  // namespace
}  // namespace wnd
