// The configuration block read on every opening.
#include <gtest/gtest.h>
#include <string>
#include "archive/archive_open.h"
#include "archive/config_block.h"
#include "support/zip_writer.h"

namespace {

struct Config {
    SfxStatus status;
    SfxStatus catalogStatus;
    std::string target;
    std::string command;
    uint32_t firstLocal;
};

Config OpenImage(const std::string& image) {
    TempDir dir;
    std::string path = dir.File("prog.exe");
    WriteFileBytes(path, image);
    OpenArchive(path.c_str());
    Config c{Archive.status, Archive.catalog.status, "", "", uint32_t(Archive.firstLocalHeader)};
    char target[CONFIG_TEXT_SIZE];
    char command[CONFIG_TEXT_SIZE];
    memset(target, 'x', sizeof target);
    memset(command, 'x', sizeof command);
    GetConfigBlock(target, command);
    c.target = target;
    c.command = command;
    CloseArchive();
    return c;
}

ZipEntrySpec Entry(const std::string& name, const std::string& data = "x") {
    ZipEntrySpec e;
    e.name = name;
    e.data = data;
    return e;
}

std::string Image(const std::string& target, const std::string& command, size_t stub = 2048) {
    ZipImageOptions o;
    o.prefix = MakeStubPrefix(target, command, stub);
    return BuildZipImage({Entry("a.txt"), Entry("b.txt")}, o);
}

TEST(ConfigBlock, ZeroBlockGivesEmptyFields) {
    Config c = OpenImage(Image("", ""));
    EXPECT_EQ(c.status, SFX_OK);
    EXPECT_EQ(c.target, "");
    EXPECT_EQ(c.command, "");
    EXPECT_EQ(c.firstLocal, 2048u + 514u);
}

// Fields are code page 1252, as every program file before UTF-8 fields had
// them, unless they start with the UTF-8 byte order mark; either way they
// are held as UTF-8.
TEST(ConfigBlock, TargetAndCommandAreTakenAsTheyStand) {
    Config c = OpenImage(Image("C:\\Programme\\M\xE4rz \x80", "setup.exe /q"));
    EXPECT_EQ(c.status, SFX_OK);
    EXPECT_EQ(c.target, "C:\\Programme\\M\xC3\xA4rz \xE2\x82\xAC");
    EXPECT_EQ(c.command, "setup.exe /q");
    c = OpenImage(Image("D:\\Ziel", ""));
    EXPECT_EQ(c.target, "D:\\Ziel");
    EXPECT_EQ(c.command, "");
    c = OpenImage(Image("", "run.bat"));
    EXPECT_EQ(c.target, "");
    EXPECT_EQ(c.command, "run.bat");
    c = OpenImage(Image("\xEF\xBB\xBF%LOCALAPPDATA%\\\xC5\x81\xC3\xB3" "d\xC5\xBA", "\xEF\xBB\xBF\xE6\x97\xA5.exe \xFF"));
    EXPECT_EQ(c.target, "%LOCALAPPDATA%\\\xC5\x81\xC3\xB3" "d\xC5\xBA");
    EXPECT_EQ(c.command, "\xE6\x97\xA5.exe ?") << "UTF-8 fields are checked like names";
}

TEST(ConfigBlock, FullFieldsYield256Characters) {
    Config c = OpenImage(Image(std::string(257, 'T'), std::string(257, 'C')));
    EXPECT_EQ(c.status, SFX_OK);
    EXPECT_EQ(c.target, std::string(256, 'T'));
    EXPECT_EQ(c.command, std::string(256, 'C'));
}

TEST(ConfigBlock, FoundThroughTheFirstCentralEntry) {
    // The first central entry's local header stands last; the 514 bytes
    // before it are the end of the other entry's data, which holds a block.
    ZipImageOptions o;
    o.prefix = MakeStubPrefix("C:\\Falsch", "falsch.exe");
    o.reverseLocalOrder = true;
    ZipEntrySpec first = Entry("first.txt");
    ZipEntrySpec second = Entry("second.bin", "padding" + MakeConfigBlock("C:\\Richtig", "richtig.exe"));
    Config c = OpenImage(BuildZipImage({first, second}, o));
    EXPECT_EQ(c.status, SFX_OK);
    EXPECT_EQ(c.target, "C:\\Richtig");
    EXPECT_EQ(c.command, "richtig.exe");
}

TEST(ConfigBlock, NoRoomBeforeTheFirstLocalHeaderMeansNoBlock) {
    // 513 bytes of text before the archive: one byte short of a block.
    ZipImageOptions o;
    o.prefix = std::string(513, 'P');
    Config c = OpenImage(BuildZipImage({Entry("a")}, o));
    EXPECT_EQ(c.status, SFX_OK);
    EXPECT_EQ(c.target, "");
    EXPECT_EQ(c.command, "");
    // Exactly 514 bytes: the block at offset 0.
    o.prefix = MakeConfigBlock("C:\\Null", "");
    c = OpenImage(BuildZipImage({Entry("a")}, o));
    EXPECT_EQ(c.target, "C:\\Null");
    // A bare zip file: local header at 0.
    c = OpenImage(BuildZipImage({Entry("a")}));
    EXPECT_EQ(c.status, SFX_OK);
    EXPECT_EQ(c.target, "");
}

TEST(ConfigBlock, DirectoryOffsetPointingElsewhereOpensWithoutConfiguration) {
    ZipImageOptions o;
    o.prefix = MakeStubPrefix("C:\\Ziel", "x.exe");
    o.hasCentralOffset = true;
    o.centralOffset = 100;   // inside the stub
    Config c = OpenImage(BuildZipImage({Entry("a")}, o));
    EXPECT_EQ(c.status, SFX_OK);
    EXPECT_EQ(c.target, "");
    EXPECT_EQ(c.command, "");
    o.centralOffset = 0x7FFFFFF0u;   // far behind the end of the file
    c = OpenImage(BuildZipImage({Entry("a")}, o));
    EXPECT_EQ(c.catalogStatus, SFX_ERR_BAD_DATA);
    EXPECT_EQ(c.target, "");
}

TEST(ConfigBlock, FirstLocalOffsetBehindTheFileLeavesFieldsEmpty) {
    ZipImageOptions o;
    o.prefix = MakeStubPrefix("C:\\Ziel", "x.exe");
    ZipEntrySpec e = Entry("a");
    e.hasLocalOffset = true;
    e.localOffset = 5000000;
    Config c = OpenImage(BuildZipImage({e}, o));
    EXPECT_EQ(c.status, SFX_OK);
    EXPECT_EQ(c.target, "");
    EXPECT_EQ(c.command, "");
}

TEST(ConfigBlock, StaleConfigurationIsClearedByTheNextOpening) {
    Config c = OpenImage(Image("C:\\Alt", "alt.exe"));
    ASSERT_EQ(c.target, "C:\\Alt");
    c = OpenImage(Image("", ""));
    EXPECT_EQ(c.target, "");
    EXPECT_EQ(c.command, "");
}

}  // namespace
