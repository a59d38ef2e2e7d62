// The host file layer on a real folder: mode rules, failure results, and the
// translation of engine paths (backslashes, code page 1252) for the host.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include "support/file_layer.h"
#include "support/str_util.h"
#include "support/zip_writer.h"

namespace {

// The engine's form of a path below the temp folder: backslash separators.
std::string EnginePath(const TempDir& dir, const std::string& rel) {
    std::string p = dir.path + "\\" + rel;
    std::replace(p.begin() + dir.path.size(), p.end(), '/', '\\');
    return p;
}

bool ExistsOnHost(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

TEST(FileOpen, UnknownModeFailsWithoutTouchingTheFile) {
    TempDir dir;
    EXPECT_EQ(FileOpen(dir.File("new").c_str(), "ab"), FILE_NONE);
    EXPECT_FALSE(ExistsOnHost(dir.File("new")));
    WriteFileBytes(dir.File("old"), "keep");
    EXPECT_EQ(FileOpen(dir.File("old").c_str(), "a"), FILE_NONE);
    EXPECT_EQ(FileOpen(dir.File("old").c_str(), "Wb"), FILE_NONE);
    EXPECT_EQ(ReadFileBytes(dir.File("old")), "keep");
}

TEST(FileOpen, ReadModeNeedsAnExistingFileAndNoDirectory) {
    TempDir dir;
    EXPECT_EQ(FileOpen(dir.File("missing").c_str(), "rb"), FILE_NONE);
    EXPECT_FALSE(ExistsOnHost(dir.File("missing")));
    EXPECT_EQ(FileOpen(dir.path.c_str(), "rb"), FILE_NONE);
}

TEST(FileOpen, WriteModeEmptiesAnExistingFileAndCreatesWithUmask) {
    TempDir dir;
    WriteFileBytes(dir.File("f"), "old content");
    FileHandle f = FileOpen(dir.File("f").c_str(), "wb");
    ASSERT_NE(f, FILE_NONE);
    EXPECT_EQ(FileSize(f), 0);
    EXPECT_EQ(FileWrite("new", 3, f), 3);
    EXPECT_EQ(FileClose(f), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("f")), "new");

    mode_t old = umask(027);
    f = FileOpen(dir.File("g").c_str(), "wb");
    umask(old);
    ASSERT_NE(f, FILE_NONE);
    FileClose(f);
    struct stat info;
    ASSERT_EQ(stat(dir.File("g").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(FileOpen, SecondReadOpenIsIndependent) {
    TempDir dir;
    WriteFileBytes(dir.File("a"), "0123456789");
    FileHandle first = FileOpen(dir.File("a").c_str(), "rb");
    ASSERT_NE(first, FILE_NONE);
    ASSERT_EQ(FileSeek(first, 6, 0), 6);
    FileHandle second = FileOpen(dir.File("a").c_str(), "rb");
    ASSERT_NE(second, FILE_NONE);
    char buf[4] = {};
    EXPECT_EQ(FileRead(buf, 2, second), 2);
    EXPECT_EQ(std::string(buf, 2), "01");
    EXPECT_EQ(FileClose(second), 0);
    EXPECT_EQ(FileTell(first), 6);
    EXPECT_EQ(FileRead(buf, 4, first), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    FileClose(first);
}

TEST(FileReadSeek, EndOfFileNegativeSeekAndOrigins) {
    TempDir dir;
    WriteFileBytes(dir.File("a"), "0123456789");
    FileHandle f = FileOpen(dir.File("a").c_str(), "rb");
    ASSERT_NE(f, FILE_NONE);
    EXPECT_EQ(FileSize(f), 10);
    EXPECT_EQ(FileSeek(f, -3, 2), 7);
    EXPECT_EQ(FileSeek(f, 2, 1), 9);
    char buf[8];
    EXPECT_EQ(FileRead(buf, 8, f), 1);   // a short count is no error here
    EXPECT_EQ(FileRead(buf, 8, f), 0);   // at the end: 0, not -1
    EXPECT_EQ(FileSeek(f, -1, 0), -1);
    EXPECT_EQ(FileSeek(f, -20, 1), -1);
    EXPECT_EQ(FileSeek(f, 0, 0), 0);
    EXPECT_EQ(FileTell(f), 0);
    EXPECT_EQ(FileClose(f), 0);
    EXPECT_EQ(FileRead(buf, 1, f), -1);  // closed handle
    EXPECT_EQ(FileSize(f), -1);
    EXPECT_EQ(FileSeek(f, 0, 0), -1);
}

TEST(FileExists, EmptyPathDirectoryAndMissing) {
    TempDir dir;
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(FileExists(dir.path.c_str()));
    EXPECT_FALSE(FileExists(dir.File("nope").c_str()));
    WriteFileBytes(dir.File("ro"), "x");
    chmod(dir.File("ro").c_str(), 0400);
    EXPECT_TRUE(FileExists(dir.File("ro").c_str()));
}

TEST(FileDelete, MissingFileFailsExistingIsRemoved) {
    TempDir dir;
    EXPECT_EQ(FileDelete(dir.File("missing").c_str()), -1);
    WriteFileBytes(dir.File("f"), "x");
    EXPECT_EQ(FileDelete(EnginePath(dir, "f").c_str()), 0);
    EXPECT_FALSE(ExistsOnHost(dir.File("f")));
}

TEST(MakeDirectory, CreatesOnceAndFailsWhenParentMissing) {
    TempDir dir;
    EXPECT_EQ(MakeDirectory(EnginePath(dir, "sub").c_str()), 0);
    EXPECT_EQ(MakeDirectory(EnginePath(dir, "sub").c_str()), -1);
    EXPECT_EQ(MakeDirectory(EnginePath(dir, "x/y").c_str()), -1);
    EXPECT_EQ(MakeDirectory(EnginePath(dir, "sub/deeper\\").c_str()), 0);
    EXPECT_EQ(ListTree(dir.path), (std::vector<std::string>{"sub/", "sub/deeper/"}));
}

TEST(HostPaths, BackslashesAndUtf8NamesReachTheHostAsTheyAre) {
    TempDir dir;
    ASSERT_EQ(MakeDirectory(EnginePath(dir, "Ordner").c_str()), 0);
    std::string name = EnginePath(dir, "Ordner\\M\xC3\xA4rz \xE2\x82\xAC.txt");
    FileHandle f = FileOpen(name.c_str(), "wb");
    ASSERT_NE(f, FILE_NONE);
    FileClose(f);
    EXPECT_EQ(ListTree(dir.path),
              (std::vector<std::string>{"Ordner/", "Ordner/M\xC3\xA4rz \xE2\x82\xAC.txt"}));
    EXPECT_TRUE(FileExists(name.c_str()));
    EXPECT_EQ(FileDelete(name.c_str()), 0);
    EXPECT_EQ(ListTree(dir.path), (std::vector<std::string>{"Ordner/"}));
}

// A temporary name that happens to be taken must never be opened: the file
// under it belongs to the user.
TEST(FileCreateNew, CreatesOnlyWhereNoFileExists) {
    TempDir dir;
    WriteFileBytes(dir.File("taken"), "user data");
    EXPECT_EQ(FileCreateNew(EnginePath(dir, "taken").c_str()), FILE_NONE);
    EXPECT_EQ(ReadFileBytes(dir.File("taken")), "user data");
    FileHandle f = FileCreateNew(EnginePath(dir, "free").c_str());
    ASSERT_NE(f, FILE_NONE);
    EXPECT_EQ(FileWrite("abc", 3, f), 3);
    FileClose(f);
    EXPECT_EQ(ReadFileBytes(dir.File("free")), "abc");
    EXPECT_EQ(FileCreateNew(EnginePath(dir, "none\\x").c_str()), FILE_NONE) << "missing folder";
}

TEST(FileReplace, ReplacesNamesButNeverFoldersProtectedFilesWithoutConsentOrLinkedFiles) {
    TempDir dir;
    auto replace = [&](const char* from, const char* to, bool consent) {
        return FileReplace(EnginePath(dir, from).c_str(), EnginePath(dir, to).c_str(),
                           EnginePath(dir, "backup").c_str(), consent);
    };
    WriteFileBytes(dir.File("target"), "old");
    WriteFileBytes(dir.File("new.tmp"), "new");
    EXPECT_EQ(replace("new.tmp", "target", false), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("target")), "new");
    EXPECT_EQ(replace("gone.tmp", "target", false), -1);
    EXPECT_EQ(ReadFileBytes(dir.File("target")), "new");

    mkdir(dir.File("folder").c_str(), 0755);
    WriteFileBytes(dir.File("a.tmp"), "a");
    EXPECT_EQ(replace("a.tmp", "folder", true), -1);

    WriteFileBytes(dir.File("readonly"), "keep");
    chmod(dir.File("readonly").c_str(), 0444);
    EXPECT_EQ(replace("a.tmp", "readonly", false), -1);
    EXPECT_EQ(ReadFileBytes(dir.File("readonly")), "keep");
    EXPECT_EQ(replace("a.tmp", "readonly", true), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("readonly")), "a");

    // A link to a read-only file elsewhere: the link is replaced, the file
    // it pointed to keeps its content and its permissions.
    WriteFileBytes(dir.File("outside"), "outside");
    chmod(dir.File("outside").c_str(), 0444);
    ASSERT_EQ(symlink(dir.File("outside").c_str(), dir.File("link").c_str()), 0);
    WriteFileBytes(dir.File("b.tmp"), "b");
    EXPECT_EQ(replace("b.tmp", "link", true), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("link")), "b");
    EXPECT_EQ(ReadFileBytes(dir.File("outside")), "outside");
    struct stat st;
    ASSERT_EQ(stat(dir.File("outside").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(ListTree(dir.path), (std::vector<std::string>{"folder/", "link", "outside", "readonly", "target"}));
}

TEST(MemAlloc, BlocksAreUsableAndNullFreeIsHarmless) {
    uint8_t* block = static_cast<uint8_t*>(MemAlloc(70000));
    ASSERT_NE(block, nullptr);
    MemFill(block, 0xA5, 70000);
    EXPECT_EQ(block[69999], 0xA5);
    MemFree(block);
    MemFree(nullptr);
    void* empty = MemAlloc(0);
    EXPECT_NE(empty, nullptr);
    MemFree(empty);
}

}  // namespace
