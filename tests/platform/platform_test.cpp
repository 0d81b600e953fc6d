// The operating-system layer, run on Linux and (in Wine) on Windows: both implementations
// must give the rest of the program the same answers. The single-instance guard is played by
// the real program (tests/e2e; scripts/test-windows in Wine).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <random>
#include <string>

#include "testkit/testkit.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace wnd {
namespace {

using testkit::readFile;
using testkit::TempDir;

fs::path u8(std::string_view s) {
    return fs::path(std::u8string(s.begin(), s.end()));
}

TEST(Files, NonAsciiNamesOpenSyncAndRead) {
    // A user name like this one is in every per-user path on Windows.
    TempDir dir;
    const fs::path folder = dir / u8("J\xC3\xBCrgen \xC3\x98stberg \xE2\x82\xAC");
    fs::create_directories(folder);
    const fs::path file = folder / u8("parameters \xE6\x97\xA5\xE6\x9C\xAC.xml");
    std::FILE* f = platform::openFile(file, "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("<root/>", f);
    std::fclose(f);
    EXPECT_TRUE(platform::syncFile(file));
    EXPECT_EQ(readFile(file), "<root/>");
    EXPECT_EQ(platform::openFile(folder / "absent" / "x.txt", "rb"), nullptr);
    EXPECT_FALSE(platform::syncFile(folder / "absent.txt"));
}

TEST(Folders, RoamingAndProgramFiles) {
    EXPECT_FALSE(platform::roamingAppDataFolder().empty());
#ifdef _WIN32
    const char* pf = std::getenv("ProgramFiles");
    ASSERT_NE(pf, nullptr);
    const std::string programFiles = pf;
    EXPECT_TRUE(platform::isBelowProgramFiles(fs::path(programFiles) / "Wendle_P3D"));
    std::string lower = programFiles;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_TRUE(platform::isBelowProgramFiles(fs::path(lower) / "wendle_p3d" / ".."));
    EXPECT_FALSE(platform::isBelowProgramFiles(fs::path(programFiles + "Wendle")));
#endif
    EXPECT_FALSE(platform::isBelowProgramFiles(platform::roamingAppDataFolder() / "Wendle_P3D"));
}

TEST(CodePage, AnsiBytesToUtf16) {
    // Windows-1252: the default ANSI code page of the users' systems (and of Wine's).
    const auto text = platform::ansiToUtf16("Z\xFCrich \x80 \x93ok\x94", true);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, u"Z\u00FCrich \u20AC \u201Cok\u201D");
    // A byte the code page leaves undefined still comes through, as its C1 code point.
    EXPECT_EQ(platform::ansiToUtf16("a\x81", false), std::u16string(u"a\u0081"));
    EXPECT_EQ(platform::ansiToUtf16("", true), std::u16string());
}

TEST(Registry, SimulatorKeysInThe64BitView) {
    const std::string key = "SOFTWARE\\Wendle test " + std::to_string(std::random_device{}());
    EXPECT_FALSE(platform::registryKeyExists(key));
    EXPECT_FALSE(platform::registryReadString(key, "SetupPath").has_value());
#ifdef _WIN32
    // Written where a 64-bit installer writes; read back through the program's own calls.
    const std::wstring wkey(key.begin(), key.end());
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, wkey.c_str(), 0, nullptr, 0,
                          KEY_WRITE | KEY_WOW64_64KEY, nullptr, &h, nullptr) != ERROR_SUCCESS) {
        GTEST_SKIP() << "no write access to HKEY_LOCAL_MACHINE";
    }
    const std::wstring path = L"D:\\Sim\u00E9s\\Prepar3D v5\\";
    ::RegSetValueExW(h, L"SetupPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
    EXPECT_TRUE(platform::registryKeyExists(key));
    EXPECT_EQ(platform::registryReadString(key, "SetupPath"),
              std::string("D:\\Sim\xC3\xA9s\\Prepar3D v5\\"));
    EXPECT_FALSE(platform::registryReadString(key, "Absent").has_value());
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wkey.c_str(), KEY_WOW64_64KEY, 0);
    EXPECT_FALSE(platform::registryKeyExists(key));
#endif
}

}  // namespace
}  // namespace wnd
