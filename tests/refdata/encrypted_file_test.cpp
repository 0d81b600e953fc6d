#include "refdata/encrypted_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testkit/log_capture.h"
#include "testkit/testkit.h"

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;
using wnd::testkit::readFile;
using wnd::testkit::writeFile;

namespace {

class EncryptedFileTest : public ::testing::Test {
  protected:
    // Packs `plain` and returns the encrypted bytes.
    std::string pack(const std::string& plain) {
        writeFile(home / "plain.in", plain);
        wnd::gf_streamEncrypt(home / "plain.in", enc);
        return readFile(enc);
    }
    // Decrypts `cipher` into out; on failure checks that no plain file stays.
    bool unpack(const std::string& cipher) {
        writeFile(enc, cipher);
        const bool ok = wnd::gf_streamDecrypt(enc, out);
        if (!ok) {
            EXPECT_FALSE(fs::exists(out));
        }
        return ok;
    }
    std::string sample(std::size_t n) {
        std::string s(n, '\0');
        for (std::size_t i = 0; i < n; ++i) {
            s[i] = static_cast<char>((i * 131 + 7) % 251);
        }
        return s;
    }

    wnd::testkit::TempDir dir;
    wnd::testkit::LogCapture log;
    // A user's folder like this one opens on Windows only through the wide calls.
    fs::path home = dir / fs::path(u8"Z\u00FCrich \u65E5\u672C");
    fs::path enc = home / "data.enc";
    fs::path out = home / "data.xml";
};

TEST_F(EncryptedFileTest, RoundTripsAtEveryChunkBoundary) {
    for (std::size_t n : {0UL, 1UL, 4095UL, 4096UL, 4097UL, 3 * 4096UL + 5}) {
        const std::string plain = sample(n);
        const std::string cipher = pack(plain);
        const std::size_t chunks = n == 0 ? 1 : (n + 4095) / 4096;  // last one tagged final
        EXPECT_EQ(cipher.size(), 24 + n + 17 * chunks) << n;
        ASSERT_TRUE(unpack(cipher)) << n;
        EXPECT_EQ(readFile(out), plain) << n;
        EXPECT_TRUE(wnd::gf_verifyEncryptedFile(enc));
    }
}

TEST_F(EncryptedFileTest, DamagedFilesFailWithTheirMessageAndLeaveNoPlainFile) {
    const std::string cipher = pack(sample(2 * 4096 + 100));
    // A short or foreign header.
    EXPECT_FALSE(unpack(cipher.substr(0, 23)));
    std::string foreign = cipher;
    foreign[3] = static_cast<char>(foreign[3] ^ 0x55);
    writeFile(out, "stale plain text");  // an old plain file goes, too
    EXPECT_FALSE(unpack(foreign));
    EXPECT_THAT(log.text(), HasSubstr("gf_streamDecrypt exception: Invalid header or key"));
    EXPECT_THAT(log.text(), Not(HasSubstr("Decryption failed")));
    // A damaged later chunk, a last chunk cut short.
    std::string damaged = cipher;
    damaged[24 + 4113 + 10] = static_cast<char>(damaged[24 + 4113 + 10] ^ 1);
    EXPECT_FALSE(unpack(damaged));
    EXPECT_FALSE(unpack(cipher.substr(0, cipher.size() - 5)));
    EXPECT_THAT(log.text(), HasSubstr("gf_streamDecrypt exception: Decryption failed"));
    // Cut at a chunk border: not taken as complete.
    EXPECT_FALSE(unpack(cipher.substr(0, 24 + 4113)));
    EXPECT_FALSE(unpack(cipher.substr(0, 24)));
    EXPECT_FALSE(wnd::gf_verifyEncryptedFile(enc));
    EXPECT_THAT(log.text(), HasSubstr("Decryption failed: the file ends before its final chunk"));
}

TEST_F(EncryptedFileTest, UnopenableFilesAreReported) {
    EXPECT_FALSE(wnd::gf_streamDecrypt(dir / "missing.enc", out));
    pack("x");
    const fs::path noFolder = dir / "no-such-folder" / "data.xml";
    EXPECT_FALSE(wnd::gf_streamDecrypt(enc, noFolder));
    const std::string text = log.text();
    EXPECT_THAT(text, HasSubstr("gf_streamDecrypt exception: Could not open input file: " +
                                (dir / "missing.enc").string()));
    EXPECT_THAT(text, HasSubstr("gf_streamDecrypt exception: Could not open output file: " +
                                noFolder.string()));
    EXPECT_THROW(wnd::gf_streamEncrypt(dir / "missing.xml", dir / "x.enc"), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir / "x.enc"));
}

TEST_F(EncryptedFileTest, RemoveIfExistsReportsAFailingDeletion) {
    EXPECT_TRUE(wnd::gf_removeIfExists(dir / "never-there"));
    writeFile(dir / "full" / "inside", "x");  // a folder that is not empty cannot go
    EXPECT_FALSE(wnd::gf_removeIfExists(dir / "full"));
    // The code is the system's: ENOTEMPTY on Linux; Windows' own numbers differ by version.
#ifdef _WIN32
    const std::string code;
#else
    const std::string code = "39";
#endif
    EXPECT_THAT(log.text(), HasSubstr("==> Warning: could not remove " + (dir / "full").string() +
                                      ", errorcode: " + code));
}

}  // namespace
