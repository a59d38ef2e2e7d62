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

TEST(HostPaths, BackslashesAndAnsiNamesReachTheHostAsUtf8) {
    TempDir dir;
    ASSERT_EQ(MakeDirectory(EnginePath(dir, "Ordner").c_str()), 0);
    std::string name = EnginePath(dir, "Ordner\\M\xE4rz \x80.txt");   // "März €.txt" in 1252
    FileHandle f = FileOpen(name.c_str(), "wb");
    ASSERT_NE(f, FILE_NONE);
    FileClose(f);
    EXPECT_EQ(ListTree(dir.path),
              (std::vector<std::string>{"Ordner/", "Ordner/M\xC3\xA4rz \xE2\x82\xAC.txt"}));
    EXPECT_TRUE(FileExists(name.c_str()));
    EXPECT_EQ(FileDelete(name.c_str()), 0);
    EXPECT_EQ(ListTree(dir.path), (std::vector<std::string>{"Ordner/"}));
}

TEST(FileCreateTemp, UniqueNewFilesInTheFolder) {
    TempDir dir;
    std::string folder = EnginePath(dir, "");   // ends in a backslash
    char first[264];
    char second[264];
    FileHandle a = FileCreateTemp(folder.c_str(), first);
    FileHandle b = FileCreateTemp(folder.c_str(), second);
    ASSERT_NE(a, FILE_NONE);
    ASSERT_NE(b, FILE_NONE);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(std::string(first).substr(0, folder.size()), folder);
    EXPECT_EQ(FileWrite("abc", 3, a), 3);
    FileClose(a);
    FileClose(b);
    EXPECT_EQ(ListTree(dir.path).size(), 2u);
    EXPECT_EQ(ReadFileBytes(dir.path + "/" + (first + folder.size())), "abc");
}

TEST(FileCreateTemp, MissingFolderFails) {
    TempDir dir;
    char path[264];
    EXPECT_EQ(FileCreateTemp(EnginePath(dir, "none\\").c_str(), path), FILE_NONE);
    EXPECT_TRUE(ListTree(dir.path).empty());
}

TEST(FileReplace, ReplacesTargetAndKeepsItWhenSourceIsMissing) {
    TempDir dir;
    WriteFileBytes(dir.File("target"), "old");
    WriteFileBytes(dir.File("new.tmp"), "new");
    EXPECT_EQ(FileReplace(EnginePath(dir, "new.tmp").c_str(), EnginePath(dir, "target").c_str()), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("target")), "new");
    EXPECT_EQ(ListTree(dir.path), (std::vector<std::string>{"target"}));
    EXPECT_EQ(FileReplace(EnginePath(dir, "gone.tmp").c_str(), EnginePath(dir, "target").c_str()), -1);
    EXPECT_EQ(ReadFileBytes(dir.File("target")), "new");
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
