// String, memory and path routines.
#include <gtest/gtest.h>
#include <string>
#include "support/str_util.h"

namespace {

struct Parts {
    std::string drive, dir, name, ext;
};

Parts Split(const std::string& path) {
    char drive[256], dir[256], name[256], ext[256];
    // Garbage first: every part must be set, also the empty ones.
    memset(drive, 'x', sizeof drive);
    memset(dir, 'x', sizeof dir);
    memset(name, 'x', sizeof name);
    memset(ext, 'x', sizeof ext);
    SplitPath(path.c_str(), drive, dir, name, ext);
    return {drive, dir, name, ext};
}

struct SplitRow {
    const char* path;
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
};

const SplitRow kSplitTable[] = {
    {"D:\\dir\\sub\\file.txt", "D:", "\\dir\\sub\\", "file", ".txt"},
    {"file.tar.gz", "", "", "file.tar", ".gz"},
    {"D:file.txt", "D:", "", "file", ".txt"},
    {"dir\\", "", "dir\\", "", ""},
    {"dir\\..", "", "dir\\..", "", ""},
    {".profile", "", "", "", ".profile"},
    {"a/b.c", "", "a/", "b", ".c"},
    {"a.b.c", "", "", "a.b", ".c"},
    {"dir\\file.", "", "dir\\", "file", "."},
    {".", "", ".", "", ""},
    {"D:..", "D:", "..", "", ""},
    {"ab:c", "", "", "ab:c", ""},
};

TEST(SplitPath, ExampleTableRows) {
    for (const SplitRow& row : kSplitTable) {
        Parts p = Split(row.path);
        EXPECT_EQ(p.drive, row.drive) << row.path;
        EXPECT_EQ(p.dir, row.dir) << row.path;
        EXPECT_EQ(p.name, row.name) << row.path;
        EXPECT_EQ(p.ext, row.ext) << row.path;
    }
}

TEST(SplitPath, DotComponentsOnlyCountAsDirectoryWhenWhole) {
    // "x.." is a name with an extension ".", not a parent-directory step.
    Parts p = Split("dir\\x..");
    EXPECT_EQ(p.dir, "dir\\");
    EXPECT_EQ(p.name, "x.");
    EXPECT_EQ(p.ext, ".");
    // "...": the last dot is an extension; what is left, "..", is then a
    // whole dot component and goes to the directory.
    p = Split("...");
    EXPECT_EQ(p.dir, "..");
    EXPECT_EQ(p.name, "");
    EXPECT_EQ(p.ext, ".");
    p = Split("C:\\a\\.");
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.dir, "\\a\\.");
    EXPECT_EQ(p.name, "");
    p = Split("..");
    EXPECT_EQ(p.dir, "..");
    EXPECT_EQ(p.ext, "");
}

TEST(SplitPath, DotsInDirectoriesDoNotStartAnExtension) {
    Parts p = Split("C:\\my.dir\\readme");
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.dir, "\\my.dir\\");
    EXPECT_EQ(p.name, "readme");
    EXPECT_EQ(p.ext, "");
}

TEST(SplitPath, LeadingSpacesAreSkippedButNotTabs) {
    Parts p = Split("   C:\\x\\y.z");
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.dir, "\\x\\");
    p = Split("\tC:y");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.name, "\tC:y");
}

TEST(SplitPath, OnlyTheFirst256CharactersAreSeen) {
    std::string path = "  " + std::string(250, 'a') + "\\bcd.efghij";   // 261 after the spaces
    Parts p = Split(path);
    EXPECT_EQ(p.dir, std::string(250, 'a') + "\\");
    EXPECT_EQ(p.name, "bcd");   // 256 characters: 250 + '\' + "bcd" + ".e"
    EXPECT_EQ(p.ext, ".e");
    // A 300-character name without separators fills the name, cut to 255.
    p = Split(std::string(300, 'n'));
    EXPECT_EQ(p.name, std::string(255, 'n'));
}

TEST(SplitPath, NullOutputsAreLeftAlone) {
    char name[256] = "old";
    char ext[256] = "old";
    SplitPath("C:\\a\\b.c", nullptr, nullptr, name, nullptr);
    EXPECT_STREQ(name, "b");
    SplitPath("C:\\a\\b.c", nullptr, nullptr, nullptr, ext);
    EXPECT_STREQ(ext, ".c");
}

TEST(SplitPath, ColonOnlyMarksADriveInSecondPlace) {
    Parts p = Split("dir\\C:x");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.dir, "dir\\");
    EXPECT_EQ(p.name, "C:x");
    p = Split("C:");
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.dir, "");
    EXPECT_EQ(p.name, "");
    p = Split("");
    EXPECT_EQ(p.drive + p.dir + p.name + p.ext, "");
}

TEST(StrCopySub, StopsAtTheEndAndGivesEmptyBeyondIt) {
    char out[256];
    memset(out, 'x', sizeof out);
    EXPECT_STREQ(StrCopySub("abcdef", 2, 3, out), "cde");
    EXPECT_STREQ(StrCopySub("abcdef", 4, 10, out), "ef");
    EXPECT_STREQ(StrCopySub("abcdef", 6, 1, out), "");
    EXPECT_STREQ(StrCopySub("abcdef", 200, 1, out), "");
    strcpy(out, "zz");
    EXPECT_STREQ(StrCopySub("abcdef", 0, 0, out), "");
    EXPECT_STREQ(StrCopySub("abcdef", 0, 6, out), "abcdef");
    // A sub-text of a 255-character path up to its end.
    std::string longText(255, 'p');
    longText[254] = 'q';
    EXPECT_STREQ(StrCopySub(longText.c_str(), 250, 5, out), "ppppq");
}

TEST(StrCopySub, MayCopyWithinTheSameBuffer) {
    char text[32] = "C:\\dir\\sub";
    StrCopySub(text, 3, 3, text);
    EXPECT_STREQ(text, "dir");
}

TEST(StrDelete, RemovesInPlaceWithTerminator) {
    char text[32] = "abcdef";
    EXPECT_STREQ(StrDelete(text, 0, 2), "cdef");
    strcpy(text, "abcdef");
    EXPECT_STREQ(StrDelete(text, 2, 2), "abef");
    strcpy(text, "abcdef");
    EXPECT_STREQ(StrDelete(text, 4, 2), "abcd");
    strcpy(text, "abcdef");
    EXPECT_STREQ(StrDelete(text, 3, 0), "abcdef");
    strcpy(text, "abcdef");
    EXPECT_STREQ(StrDelete(text, 0, 6), "");
}

TEST(StrPos, FirstOccurrenceOr255) {
    EXPECT_EQ(StrPos('\\', "a\\b\\c"), 1);
    EXPECT_EQ(StrPos('a', "a\\b\\c"), 0);
    EXPECT_EQ(StrPos('z', "a\\b\\c"), 255);
    EXPECT_EQ(StrPos('a', ""), 255);
    EXPECT_EQ(StrPos(0, "abc"), 255);
    std::string t(254, 'x');
    t += 'y';
    EXPECT_EQ(StrPos('y', t.c_str()), 254);
}

TEST(StrNCopy, TerminatesOnlyWhenThereIsRoom) {
    char out[8];
    memset(out, 'x', sizeof out);
    StrNCopy(out, "abc", 3);
    EXPECT_EQ(std::string(out, 8), "abcxxxxx");   // no terminator at exactly n
    memset(out, 'x', sizeof out);
    StrNCopy(out, "abcdef", 3);
    EXPECT_EQ(std::string(out, 8), "abcxxxxx");
    memset(out, 'x', sizeof out);
    StrNCopy(out, "ab", 5);
    EXPECT_EQ(std::string(out, 8), std::string("ab\0\0\0xxx", 8));   // zero-filled to n
}

TEST(StrCopyMax, AlwaysTerminatesAndCutsAtTheLimit) {
    char out[8];
    memset(out, 'x', sizeof out);
    StrCopyMax(out, "abcdef", 3);
    EXPECT_EQ(std::string(out, 5), std::string("abc\0x", 5));
    memset(out, 'x', sizeof out);
    StrCopyMax(out, "abc", 3);
    EXPECT_EQ(std::string(out, 5), std::string("abc\0x", 5));
    StrCopyMax(out, "ab", 3);
    EXPECT_STREQ(out, "ab");
    StrCopyMax(nullptr, "ab", 3);   // must not crash
}

TEST(MemMove, OverlappingAreasInBothDirections) {
    char buf[16] = "0123456789";
    MemMove(buf + 2, buf, 6);   // destination inside source: backwards
    EXPECT_EQ(std::string(buf, 10), "0101234589");
    strcpy(buf, "0123456789");
    MemMove(buf, buf + 2, 6);   // destination before source: forwards
    EXPECT_EQ(std::string(buf, 10), "2345676789");
    strcpy(buf, "0123456789");
    MemMove(buf + 3, buf, 0);
    EXPECT_STREQ(buf, "0123456789");
}

TEST(StrRoutines, CopyAppendLengthFillSlashes) {
    char buf[64];
    StrCopy(buf, "C:\\a");
    StrAppend(buf, "\\b");
    EXPECT_STREQ(buf, "C:\\a\\b");
    EXPECT_EQ(StrLength(buf), 6u);
    EXPECT_EQ(StrLength(""), 0u);
    char filled[6] = "abcde";
    MemFill(filled + 1, 'z', 3);
    EXPECT_STREQ(filled, "azzze");
    char copy[6] = "-----";
    MemCopy(copy, "xy", 2);
    EXPECT_STREQ(copy, "xy---");
    char out[32];
    EXPECT_STREQ(SlashesToBackslashes("a/b/c.txt", out), "a\\b\\c.txt");
}

TEST(FormatText, DirectivesAndLimit) {
    char out[2048];
    EXPECT_EQ(FormatText(out, "Fehler (%u) in %s.", 19962u, "a.txt"), 24);
    EXPECT_STREQ(out, "Fehler (19962) in a.txt.");
    FormatText(out, "%d|%d|%u|%%|%s", -42, 0, 4294967295u, "");
    EXPECT_STREQ(out, "-42|0|4294967295|%|");
    // At most 1024 bytes, the terminator included.
    std::string big(3000, 'a');
    int n = FormatText(out, "%s%s", big.c_str(), "tail");
    EXPECT_EQ(n, 1023);
    EXPECT_EQ(strlen(out), 1023u);
}

}  // namespace
