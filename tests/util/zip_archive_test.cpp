// The zip archive class on real files: written, read back in pieces, and what happens to
// archives that are damaged or never closed.
#include "util/zip_archive.h"

#include <gtest/gtest.h>

#include "testkit/testkit.h"

namespace wnd {
namespace {

std::string lf_content(const ZipArchive& z, const ZipArchive::Entry& e, std::size_t piece) {
    std::string out;
    EXPECT_TRUE(z.readEntry(
        e,
        [&](std::span<const char> s) {
            EXPECT_LE(s.size(), piece);
            out.append(s.data(), s.size());
            return true;
        },
        piece));
    return out;
}

TEST(ZipArchive, WhatIsWrittenIsReadBackInPieces) {
    testkit::TempDir dir;
    const auto path = dir / "f\xC3\xBCr tblo.zip";  // a name outside ASCII
    const std::string big(100000, 'x');
    {
        auto z = ZipArchive::createNew(path);
        ASSERT_TRUE(z);
        EXPECT_TRUE(z->addData("LSZH.xml", "<root/>"));
        EXPECT_TRUE(z->addData("big.bin", big));
        // An archive dropped before it is closed is never written.
        auto dropped = ZipArchive::createNew(dir / "dropped.zip");
        ASSERT_TRUE(dropped);
        EXPECT_TRUE(dropped->addData("a", "b"));
        EXPECT_TRUE(z->close());
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "dropped.zip"));
    auto z = ZipArchive::openForReading(path);
    ASSERT_TRUE(z);
    const auto entries = z->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "LSZH.xml");
    EXPECT_EQ(entries[1].size, big.size());
    EXPECT_EQ(lf_content(*z, entries[0], 4), "<root/>");
    EXPECT_EQ(lf_content(*z, entries[1], 524288), big);
    // The sink may stop early.
    int pieces = 0;
    EXPECT_TRUE(z->readEntry(
        entries[1], [&](std::span<const char>) { return ++pieces < 2; }, 1000));
    EXPECT_EQ(pieces, 2);
    EXPECT_TRUE(z->close());
}

TEST(ZipArchive, DamagedOrMissingArchivesAreNotOpened) {
    testkit::TempDir dir;
    std::string error;
    EXPECT_FALSE(ZipArchive::openForReading(dir / "none.zip", &error));
    EXPECT_FALSE(error.empty());
    testkit::writeFile(dir / "html.zip", "<html><body>Not found</body></html>");
    EXPECT_FALSE(ZipArchive::openForReading(dir / "html.zip", &error));
    // A good archive cut in half.
    {
        auto z = ZipArchive::createNew(dir / "good.zip");
        ASSERT_TRUE(z);
        z->addData("setup.exe", std::string(5000, 'e'));
        ASSERT_TRUE(z->close());
    }
    const std::string whole = testkit::readFile(dir / "good.zip");
    testkit::writeFile(dir / "cut.zip", whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(ZipArchive::openForReading(dir / "cut.zip", &error));
}

}  // namespace
}  // namespace wnd
