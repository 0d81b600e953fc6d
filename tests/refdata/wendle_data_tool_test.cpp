// Black-box: the real wendle-data tool packs and unpacks.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "testkit/testkit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

int lf_run(const wnd::testkit::TempDir& dir, const std::vector<std::string>& args) {
    wnd::testkit::Process::Options opt;
    opt.cwd = dir.path();
    wnd::testkit::Process p(wnd::testkit::binary("wendle-data"), args, opt);
    return p.wait(30s).value_or(-1);
}

TEST(WendleDataTool, PacksAndUnpacksAndRefusesBadInput) {
    wnd::testkit::TempDir dir;
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<root>" + std::string(10000, 'x') + "</root>\n";
    wnd::testkit::writeFile(dir / "in.xml", xml);
    EXPECT_EQ(lf_run(dir, {"pack", "in.xml", "out.enc"}), 0);
    EXPECT_EQ(lf_run(dir, {"unpack", "out.enc", "back.xml"}), 0);
    EXPECT_EQ(wnd::testkit::readFile(dir / "back.xml"), xml);

    wnd::testkit::writeFile(dir / "bad.enc", std::string(50, 'z'));
    EXPECT_EQ(lf_run(dir, {"unpack", "bad.enc", "bad.xml"}), 1);
    EXPECT_FALSE(fs::exists(dir / "bad.xml"));
    EXPECT_EQ(lf_run(dir, {"pack", "missing.xml", "x.enc"}), 1);
    EXPECT_FALSE(fs::exists(dir / "x.enc"));
    EXPECT_EQ(lf_run(dir, {"frobnicate"}), 2);
}

}  // namespace
