// The real `wendle` against scripts/serve with the server tree the build generates: as it is
// (this very version), and offering the next version with the build's test installer.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
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

const fs::path kTree = WENDLE_SERVER_TREE;

// scripts/serve on a free loopback port, and `wendle` in a working folder that asks it and
// whose desktop "opens" a folder by writing its name into opened.txt.
struct UpdaterRun {
    testkit::WorkFolder wf;
    testkit::ServedTree serve;
    Process::Options options = wf.options();

    explicit UpdaterRun(const fs::path& tree) : serve(tree, wf.dir.path()) {
        wf.writeParameters({{"SIM_INSTALL_PATH", (wf.dir / "Prepar3D v5").string()},
                            {"SCAN_LIVERIES", "false"},
                            {"SCAN_AIRPORTS", "false"}});
        testkit::writeFile(
            wf.dir / "bin" / "xdg-open",
            fmt::format("#!/bin/sh\necho \"$1\" >> '{}'\n", (wf.dir / "opened.txt").string()));
        fs::permissions(wf.dir / "bin" / "xdg-open", fs::perms::owner_all);
        options.env["WENDLE_SERVER_URL"] = serve.url;
        options.env["PATH"] = (wf.dir / "bin").string();
    }
    std::string requests() const {
        return std::regex_replace(readFile(wf.dir / "serve.err"),
                                  std::regex(R"re([^\n]*"GET (\S+) HTTP[^\n]*)re"), "$1");
    }
};

TEST(UpdaterE2E, TheBuildsOwnServerOffersThisVersion) {
    UpdaterRun run(kTree);
    Process p(testkit::binary("wendle"), {"--production"}, run.options);
    ASSERT_EQ(p.wait(60s), 0) << run.wf.log();
    EXPECT_NE(run.wf.log().find("p3d program version at web = " + gf_programVersion().text() +
                                "\np3d version up-to-date\n"),
              std::string::npos)
        << run.wf.log();
    EXPECT_FALSE(fs::exists(run.wf.work / "new_version"));
    EXPECT_EQ(run.requests().rfind("/downloads/versions.json\n", 0), 0U) << run.requests();
    EXPECT_EQ(run.requests().find("/release/"), std::string::npos);
}

TEST(UpdaterE2E, NewerVersionIsUnpackedIntoNewVersionAndEndsTheProgram) {
    const Version own = gf_programVersion();
    const Version next{own.major, own.minor, own.patch + 1};
    const auto archive = [](const Version& v) {
        return fmt::format("release/setup_{}_d_v{}.zip", kProductTitle, v.text());
    };
    testkit::TempDir tree;
    fs::create_directories(tree / "downloads" / "release");
    fs::copy(kTree / "downloads" / "docs", tree / "downloads" / "docs");
    fs::copy_file(kTree / "downloads" / archive(own), tree / "downloads" / archive(next));
    testkit::writeFile(tree / "downloads" / "versions.json",
                       fmt::format(R"({{"p3d": {{"major": {}, "minor": {}, "patch": {}}}}})",
                                   next.major, next.minor, next.patch));
    std::string installer;  // what the archive's entry holds
    auto zip = ZipArchive::openForReading(tree / "downloads" / archive(next));
    ASSERT_TRUE(zip && zip->entries().size() == 1U);
    ASSERT_TRUE(zip->readEntry(zip->entries().front(), [&](std::span<const char> piece) {
        installer.append(piece.data(), piece.size());
        return true;
    }));

    UpdaterRun run(tree.path());
    Process p(testkit::binary("wendle"), {}, run.options);
    ASSERT_EQ(p.wait(60s), 0) << run.wf.log();

    EXPECT_NE(run.wf.log().find("Exiting: NEW VERSION"), std::string::npos) << run.wf.log();
    const fs::path nv = run.wf.work / "new_version";
    EXPECT_EQ(readFile(nv / "install_new_version.exe"), installer);
    EXPECT_EQ(readFile(nv / "ReleaseNotes.pdf"),
              readFile(kTree / "downloads" / "docs" / "ReleaseNotes.pdf"));
    EXPECT_EQ(readFile(nv / "README.txt"),
              "A new version is available.\nThe installer can be executed normally (no "
              "Administrator rights required).\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(nv), fs::directory_iterator()), 3);
    EXPECT_EQ(readFile(run.wf.dir / "opened.txt"), nv.string() + "\n");
    // Nothing of the download stays in the working folder.
    for (const auto& e : fs::directory_iterator(run.wf.work)) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name.find(".zip") == std::string::npos && name != "versions.json" &&
                    name != "install_new_version.exe" && name.find(".part") == std::string::npos)
            << name;
    }
    EXPECT_EQ(run.requests(), "/downloads/versions.json\n/downloads/" + archive(next) +
                                  "\n/downloads/docs/ReleaseNotes.pdf\n");
}

}  // namespace
}  // namespace wnd
