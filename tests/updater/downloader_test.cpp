#include "updater/downloader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_http_server.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "updater/server.h"

namespace fs = std::filesystem;
using testing::HasSubstr;
using wnd::testing::TestHttpServer;
using wnd::testkit::LogCapture;

namespace {

class DownloaderTest : public ::testing::Test {
  protected:
    wnd::testkit::TempDir dir;
    LogCapture log;
    TestHttpServer server;
};

TEST_F(DownloaderTest, FetchesBinaryBytesExactlyWithOurUserAgent) {
    std::string body("\x00\x01\r\n\xff tail", 9);
    server.serve("/downloads/11/dbase.enc", body);
    const fs::path target = dir / "dbase.enc";
    ASSERT_TRUE(wnd::gf_downloadFile(server.url() + "/downloads/11/dbase.enc", target, true));
    EXPECT_EQ(wnd::testkit::readFile(target), body);
    EXPECT_EQ(server.userAgents().at(0), "Wendle");
    EXPECT_FALSE(fs::exists(dir / "dbase.enc.part"));
}

TEST_F(DownloaderTest, FailuresAreLoggedAndKeepTheOldFile) {
    // A server error (the path is not served).
    const fs::path target = dir / "versions.json";
    wnd::testkit::writeFile(target, "old");
    const std::string address = server.url() + "/downloads/versions.json";
    EXPECT_FALSE(wnd::gf_downloadFile(address, target, false));
    EXPECT_EQ(wnd::testkit::readFile(target), "old");
    EXPECT_FALSE(fs::exists(dir / "versions.json.part"));
    EXPECT_THAT(log.text(), HasSubstr("Download error: '"));
    EXPECT_THAT(log.text(), HasSubstr("' for " + address));
    // An unwritable target: nothing is asked of the server.
    server.serve("/f", "data");
    const fs::path noFolder = dir / "missing-folder" / "f";
    EXPECT_FALSE(wnd::gf_downloadFile(server.url() + "/f", noFolder, true));
    EXPECT_THAT(log.text(), HasSubstr("Could not open output file: " + noFolder.string()));
    EXPECT_THAT(server.requests(), testing::ElementsAre("/downloads/versions.json"));
    // An unreachable server.
    const std::string closed =
        "http://127.0.0.1:" + std::to_string(wnd::testing::gf_closedPort()) + "/x";
    EXPECT_FALSE(wnd::gf_downloadFile(closed, dir / "x", true));
    EXPECT_FALSE(fs::exists(dir / "x"));
    EXPECT_THAT(log.text(), HasSubstr("Download error: 'Couldn't connect to server' for"));
}

TEST(ServerAddress, OverriddenByTheEnvironmentWithoutTrailingSlash) {
    ::setenv("WENDLE_SERVER_URL", "http://127.0.0.1:9/", 1);
    EXPECT_EQ(wnd::gf_downloadsAddress(), "http://127.0.0.1:9/downloads/");
    ::unsetenv("WENDLE_SERVER_URL");
}

}  // namespace
