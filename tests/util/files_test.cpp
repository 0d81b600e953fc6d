#include "util/files.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "testkit/testkit.h"
#include "util/xml.h"

namespace fs = std::filesystem;

namespace wnd {
namespace {

using testkit::readFile;
using testkit::TempDir;
using testkit::writeFile;

TEST(Paths, NonAsciiFoldersWorkThroughThePathTypeAndReadAsUtf8) {
    TempDir dir;
    const std::string folderText = "Z\xC3\xBCrich \xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88";
    const fs::path folder = dir / gf_textPath(folderText);
    fs::create_directories(folder);
    const fs::path file = folder / "parameters.xml";
    ASSERT_TRUE(gf_writeFileAtomic(file, "<root/>"));
    EXPECT_EQ(readFile(file), "<root/>");
    EXPECT_EQ(gf_pathText(file.parent_path().filename()), folderText);
    EXPECT_EQ(gf_textPath(gf_pathText(file)), file);
}

TEST(Generations, NamesCopiesAndFailures) {
    TempDir dir;
    EXPECT_EQ(gf_generationName(dir / "Log.txt"), dir / "Log0.txt");
    EXPECT_EQ(gf_generationName(dir / "a.b.xml"), dir / "a.b0.xml");
    // The rotation itself is checked through the log; here: the file is copied, never moved.
    writeFile(dir / "p.xml", "run1");
    EXPECT_TRUE(gf_saveUpto3GenerationsOf(dir / "p.xml"));
    EXPECT_EQ(readFile(dir / "p.xml"), "run1");
    EXPECT_EQ(readFile(dir / "p0.xml"), "run1");

    EXPECT_TRUE(gf_save1GenerationOf(dir / "absent.txt"));
    EXPECT_FALSE(fs::exists(dir / "absent0.txt"));
    EXPECT_FALSE(gf_save1GenerationOf(dir / "nodot"));
    EXPECT_FALSE(gf_saveUpto3GenerationsOf(dir / "nodot"));
    // The first generation's name is taken by a folder: the copy fails, the file stays.
    fs::remove(dir / "p0.xml");
    fs::create_directory(dir / "p0.xml");
    EXPECT_FALSE(gf_save1GenerationOf(dir / "p.xml"));
    EXPECT_EQ(readFile(dir / "p.xml"), "run1");
}

TEST(Folders, ClearListAndCount) {
    TempDir dir;
    writeFile(dir / "tblo" / "A.XML", "");
    writeFile(dir / "tblo" / "b.xml", "");
    writeFile(dir / "tblo" / "c.txt", "");
    writeFile(dir / "tblo" / "sub" / "d.xml", "");
    gf_removeXMLFilesFromDirectory(dir / "tblo");
    EXPECT_FALSE(fs::exists(dir / "tblo" / "A.XML"));
    EXPECT_FALSE(fs::exists(dir / "tblo" / "b.xml"));
    EXPECT_TRUE(fs::exists(dir / "tblo" / "c.txt"));
    EXPECT_TRUE(fs::exists(dir / "tblo" / "sub" / "d.xml"));
    EXPECT_EQ(gf_countDirectoryEntries(dir / "tblo"), 2U);

    gf_removeFilesFromDirectory(dir / "tblo");
    EXPECT_EQ(gf_countDirectoryEntries(dir / "tblo"), 1U);  // the sub-folder stays
    gf_removeFilesFromDirectory(dir / "absent");            // nothing happens
    EXPECT_EQ(gf_countDirectoryEntries(dir / "absent"), 0U);

    writeFile(dir / "tp" / "EGLL.xml", "");
    writeFile(dir / "tp" / "KJFK.XML", "");
    writeFile(dir / "tp" / "notes.txt", "");
    auto names = gf_listThirdPartyXmlFiles(dir / "tp");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"EGLL.xml", "KJFK.XML"}));
    EXPECT_TRUE(gf_listThirdPartyXmlFiles(dir / "absent").empty());
}

TEST(SaveXml, DeclarationIndentAndAtomicReplace) {
    TempDir dir;
    const fs::path file = dir / "doc.xml";
    pugi::xml_document doc;
    doc.append_child("root").append_child("child").append_attribute("a").set_value("1");
    ASSERT_TRUE(gf_saveXmlDocument(doc, file));
    EXPECT_EQ(readFile(file),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <child a=\"1\" />\n</root>\n");

    // A declaration with other values is corrected, not duplicated.
    pugi::xml_document other;
    other.load_string("<?xml version=\"1.1\"?><r/>");
    ASSERT_TRUE(gf_saveXmlDocument(other, file));
    EXPECT_EQ(readFile(file).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r />", 0), 0U);

    // A failing write (a full disk) leaves the old file whole and no temporary behind.
    const std::string before = readFile(file);
    testing::failNextAtomicWrites(1);
    EXPECT_FALSE(gf_saveXmlDocument(doc, file));
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(gf_countDirectoryEntries(dir.path()), 1U);
    EXPECT_FALSE(gf_saveXmlDocument(doc, dir / "no" / "folder.xml"));
}

}  // namespace
}  // namespace wnd
