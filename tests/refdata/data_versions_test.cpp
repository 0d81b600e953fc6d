#include "refdata/data_versions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "refdata/encrypted_file.h"
#include "refdata_test_util.h"
#include "settings/settings.h"
#include "test_http_server.h"
#include "testkit/log_capture.h"
#include "testkit/testkit.h"
#include "util/version.h"

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;
using wnd::testkit::readFile;
using wnd::testkit::writeFile;

namespace {

// Data files are fetched from the folder of the program's major version.
const std::string kDownloads = "/downloads/" + std::to_string(wnd::gf_programVersion().major) + "/";

// Runs a test inside a working folder of its own, against a loopback server.
class DataVersionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        oldCwd = fs::current_path();
        fs::create_directories(dir / "input");
        fs::create_directories(dir / "output");
        fs::current_path(dir.path());
        wnd::gs().resetValues();
        wnd::gs().filePath = dir / "parameters.xml";
        ::setenv("WENDLE_SERVER_URL", server.url().c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("WENDLE_SERVER_URL");
        wnd::gs().resetValues();
        wnd::gs().filePath = "parameters.xml";
        fs::current_path(oldCwd);
    }
    // An encrypted file as the server would offer it.
    std::string encrypted(const std::string& plain) {
        wnd::testing::packXml(dir / "made", "f.enc", plain);
        return readFile(dir / "made" / "f.enc");
    }
    static nlohmann::json version(int major, int minor, int patch) {
        return {{"major", major}, {"minor", minor}, {"patch", patch}};
    }
    std::string parameterInFile(const std::string& key) {
        return wnd::testkit::parameterValue(dir / "parameters.xml", key);
    }

    wnd::testkit::TempDir dir;
    wnd::testkit::LogCapture log;
    wnd::testing::TestHttpServer server;
    fs::path oldCwd;
};

TEST_F(DataVersionsTest, FetchesDueFilesAndSkipsMissingKeys) {
    wnd::Settings& s = wnd::gs();
    s.DBASE_VERSION.set("1.2.3");  // equal to the web, but the file is missing
    s.AIRPORTS_VERSION.set("2.0.0");
    writeFile("input/airports.enc", "current airports");
    s.AIG_VERSION.set("1.0.0");
    writeFile("input/AIG-regcodes.enc", "current regcodes");
    s.LIV_SCAN_VERSION.set("11.10.9");
    writeFile("output/LiveriesScanned.xml", "<root/>");
    s.SCAN_LIVERIES.set(false);
    const std::string dbase = encrypted("<root>fresh dbase</root>");
    server.serve(kDownloads + "dbase.enc", dbase);
    // A newer aig file, but what comes is no data file (the 404 path: downloader_test.cpp).
    server.serve(kDownloads + "AIG-regcodes.enc", "<html>a login page</html>");

    nlohmann::json versions = {{"p3d", version(11, 10, 9)},
                               {"airports", version(2, 0, 0)},
                               {"aig", version(1, 1, 0)},
                               {"liveries", version(11, 10, 9)},
                               {"dbase", version(1, 2, 3)}};
    wnd::gf_checkDataVersions(versions);

    EXPECT_EQ(readFile("input/dbase.enc"), dbase);
    EXPECT_EQ(s.DBASE_VERSION.value(), "1.2.3");
    EXPECT_EQ(parameterInFile("DBASE_VERSION"), "1.2.3");
    // The broken aig download leaves the file and the version as they were.
    EXPECT_EQ(readFile("input/AIG-regcodes.enc"), "current regcodes");
    EXPECT_EQ(s.AIG_VERSION.value(), "1.0.0");
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.enc.new"));
    EXPECT_FALSE(s.SCAN_LIVERIES.value());

    const std::string text = log.text();
    EXPECT_THAT(text, HasSubstr("airports version up-to-date"));
    EXPECT_THAT(text, HasSubstr("==> Downloading '" + server.url() + kDownloads +
                                "AIG-regcodes.enc' failed !"));
    EXPECT_THAT(text, HasSubstr("liveries version up-to-date"));
    EXPECT_THAT(text, HasSubstr("addons version not found"));
    EXPECT_THAT(text, HasSubstr("Downloaded '" + server.url() + kDownloads + "dbase.enc' to '" +
                                "input/dbase.enc'"));
    EXPECT_THAT(text, HasSubstr("dbase updated to 1.2.3"));
    EXPECT_THAT(text, Not(HasSubstr("aig updated")));
}

TEST_F(DataVersionsTest, DueScansSwitchTheirFlagsOn) {
    wnd::Settings& s = wnd::gs();
    s.SCAN_LIVERIES.set(false);
    s.SCAN_AIRPORTS.set(false);
    s.LIV_SCAN_VERSION.set("11.10.9");  // but LiveriesScanned.xml is missing
    s.ADDONS_SCAN_VERSION.set("11.10.8");
    wnd::gf_checkDataVersions({{"liveries", version(11, 10, 9)}, {"addons", version(11, 10, 9)}});
    EXPECT_TRUE(s.SCAN_LIVERIES.value());
    EXPECT_TRUE(s.SCAN_AIRPORTS.value());
    EXPECT_EQ(parameterInFile("SCAN_AIRPORTS"), "true");
    EXPECT_EQ(parameterInFile("ADDONS_SCAN_VERSION"), "11.10.9");
    EXPECT_THAT(log.text(), HasSubstr("liveries updated to 11.10.9"));
    EXPECT_THAT(log.text(), HasSubstr("addons updated to 11.10.9"));
}

TEST_F(DataVersionsTest, UnparsableOrEmptyVersionParameterCountsAsOutOfDate) {
    wnd::gs().DBASE_VERSION.set("abc");
    wnd::gs().AIRPORTS_VERSION.set("");  // a new installation
    writeFile("input/dbase.enc", "old");
    writeFile("input/airports.enc", "old");
    server.serve(kDownloads + "dbase.enc", encrypted("<root/>"));
    server.serve(kDownloads + "airports.enc", encrypted("<root/>"));
    wnd::gf_checkDataVersions({{"dbase", version(0, 0, 1)}, {"airports", version(0, 0, 1)}});
    EXPECT_EQ(wnd::gs().DBASE_VERSION.value(), "0.0.1");
    EXPECT_EQ(wnd::gs().AIRPORTS_VERSION.value(), "0.0.1");
    EXPECT_THAT(log.text(),
                HasSubstr("==> dbase version 'abc': invalid version format, taken as out of date"));
}

}  // namespace
