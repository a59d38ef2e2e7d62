// Entry names from hostile archives: nothing may be written outside the
// target folder, nothing under a changed or cut name.
#include "engine_test_util.h"
#include "support/str_util.h"
#include <string.h>

namespace {

struct NamesTest : ::testing::Test {
    KeepCurrentFolder keepFolder;
    void SetUp() override {
        ResetTestFrontEnd();
        memset(Archive.targetFolder, 0, sizeof Archive.targetFolder);
    }
};

TEST_F(NamesTest, SlashesBecomeBackslashesAndEveryLeadingOneGoes) {
    SetTargetFolder("C:\\Ziel");
    static char path[SFX_PATH_BYTES];
    EXPECT_EQ(MapEntryPath("a/b/c.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\a\\b\\c.txt");
    EXPECT_EQ(MapEntryPath("/abs.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\abs.txt");
    EXPECT_EQ(MapEntryPath("//server/share/x.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\server\\share\\x.txt");
    EXPECT_EQ(MapEntryPath("\\\\\\x.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\x.txt");
    // Empty and "." components go, as Windows drops them without the
    // long-path prefix, which passes every component to the file system.
    EXPECT_EQ(MapEntryPath("./dot/./x.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\dot\\x.txt");
    EXPECT_EQ(MapEntryPath("a//b\\\\c", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\a\\b\\c");
}

TEST_F(NamesTest, TargetFolderGetsExactlyOneTrailingBackslash) {
    SetTargetFolder("C:\\Ziel");
    EXPECT_STREQ(Archive.targetFolder, "C:\\Ziel\\");
    SetTargetFolder("C:\\Ziel\\");
    EXPECT_STREQ(Archive.targetFolder, "C:\\Ziel\\");
    SetTargetFolder("D:");
    EXPECT_STREQ(Archive.targetFolder, "D:\\");
}

TEST_F(NamesTest, EmptyTargetFolderLeavesTheNameRelative) {
    static char path[SFX_PATH_BYTES];
    EXPECT_EQ(MapEntryPath("/a/b.txt", path), SFX_OK);
    EXPECT_STREQ(path, "a\\b.txt");
}

TEST_F(NamesTest, ClimbsDrivesStreamsAndForbiddenCharactersAreRefused) {
    SetTargetFolder("C:\\Ziel");
    const char* hostile[] = {
        "../evil.txt", "..\\evil.txt", "a/../../evil.txt", "a/..", "..", "C:\\evil.txt", "C:evil.txt",
        "C:/evil.txt", "a:stream", "file.txt:ads", "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b",
        "tab\there", "bell\x07", "esc\x1b", "x\x1f", "... /x.txt", ".../x.txt", ".. /x.txt", "dir./x.txt",
        "name ", "name.",
    };
    for (const char* name : hostile) {
        static char path[SFX_PATH_BYTES];
        EXPECT_EQ(MapEntryPath(name, path), SFX_ERR_BAD_DATA) << name;
    }
}

TEST_F(NamesTest, ReservedDeviceNamesAreRefusedInAnyCaseAndPlace) {
    SetTargetFolder("C:\\Ziel");
    const char* devices[] = {"CON", "con", "Prn.txt", "aux.tar.gz", "NUL", "dir/nul", "COM1", "com9.log",
                             "LPT1", "lpt9", "a/LpT5.x/b.txt", "CON .txt", "nul/inner.txt", "COM0", "lpt0.txt",
                             "COM\xC2\xB9", "com\xC2\xB2.log", "LPT\xC2\xB3", "CONIN$", "conout$.txt",
                             "d/Conin$/x"};
    for (const char* name : devices) {
        static char path[SFX_PATH_BYTES];
        EXPECT_EQ(MapEntryPath(name, path), SFX_ERR_BAD_DATA) << name;
    }
    const char* fine[] = {"CONSOLE.txt", "COM10", "lpt", "nul2.txt", "xcon", "auxiliary", "prn_", "COM\xC2\xB4",
                          "CONIN", "CONOUT", "CONIN$x", "CONERR$"};
    for (const char* name : fine) {
        static char path[SFX_PATH_BYTES];
        EXPECT_EQ(MapEntryPath(name, path), SFX_OK) << name;
    }
}

// Windows counts UTF-16 units, not bytes: 255 of them for one component,
// 32,767 for a path with the long-path prefix (less the room the prefix and
// the temporary names beside the target take). Beyond that a name is
// refused, never cut.
TEST_F(NamesTest, ComponentsAndPathsAreMeasuredInUtf16Units) {
    SetTargetFolder("C:\\Ziel");   // 8 units with the backslash
    static char path[SFX_PATH_BYTES];
    std::string japanese;
    for (int i = 0; i < 255; ++i) japanese += "\xE6\x97\xA5";   // 3 bytes, one unit
    EXPECT_EQ(MapEntryPath(japanese.c_str(), path), SFX_OK);
    EXPECT_EQ(MapEntryPath((japanese + "x").c_str(), path), SFX_ERR_CREATE);
    std::string emoji;
    for (int i = 0; i < 127; ++i) emoji += "\xF0\x9F\x98\x80";   // 4 bytes, two units
    EXPECT_EQ(MapEntryPath((emoji + "x").c_str(), path), SFX_OK);
    EXPECT_EQ(MapEntryPath((emoji + "xy").c_str(), path), SFX_ERR_CREATE);
    // A path of as many units as a target may have: folders of 200 units.
    std::string name;
    while (name.size() + 201 <= SFX_TARGET_UNITS - 8) name += std::string(200, 'd') + "/";
    name += std::string(SFX_TARGET_UNITS - 8 - name.size(), 'f');
    EXPECT_EQ(MapEntryPath(name.c_str(), path), SFX_OK);
    EXPECT_EQ(Utf16Length(path, uint32_t(strlen(path))), SFX_TARGET_UNITS);
    EXPECT_EQ(MapEntryPath((name + "g").c_str(), path), SFX_ERR_CREATE);
    std::string alone = name + "g";
    for (char& c : alone)
        if (c == '/') c = '\\';
    EXPECT_EQ(std::string(path), alone) << "refused under its name alone, uncut";
}

// The same names in a real archive, extracted below a folder deep inside a
// fresh tree: the whole tree is compared afterwards.
TEST_F(NamesTest, HostileArchiveWritesNothingOutsideTheTargetFolder) {
    TempDir dir;
    std::string root = dir.path;
    mkdir((root + "/deep").c_str(), 0755);
    std::string target = root + "/deep/out";
    const char* hostile[] = {
        "../evil1.txt", "..\\evil2.txt", "a/../../evil3.txt", "C:\\evil4.txt", "C:evil5.txt",
        "a:stream", "CON", "aux.txt", "dir/LPT1.log", "bad|name", "ctl\x01name", "x/.. /evil6.txt",
        "..\\.x", "../.y", "climb-to-tmp",
    };
    // Climbs to /tmp, under a name unique to this run.
    std::string escaped = dir.path + "-evil7.txt";
    std::string climb = "../../../../../../../.." + escaped;
    std::vector<ZipEntrySpec> entries;
    for (const char* name : hostile)
        entries.push_back(Stored(std::string(name) == "climb-to-tmp" ? climb : name, "bad"));
    entries.push_back(Stored("/abs.txt", "abs"));
    entries.push_back(Stored("\\\\server\\share\\unc.txt", "unc"));
    entries.push_back(Stored("../up/", ""));   // a directory entry: passed over silently
    int result = RunImage(dir, Image(entries), target);

    EXPECT_EQ(result, SFX_ERR_BAD_DATA) << "the first refusal is the run's result";
    EXPECT_EQ(Front.entryDoneCalls, int(sizeof hostile / sizeof hostile[0]) + 2);
    EXPECT_EQ(Front.confirmCalls, 2) << "refused names are never offered for confirmation";
    for (size_t i = 0; i < sizeof hostile / sizeof hostile[0]; ++i)
        EXPECT_EQ(Front.entryStatuses[i], SFX_ERR_BAD_DATA) << entries[i].name;
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"deep/", "deep/out/", "deep/out/abs.txt",
                                                        "deep/out/server/", "deep/out/server/share/",
                                                        "deep/out/server/share/unc.txt", "prog.exe"}));
    EXPECT_FALSE(Exists(escaped));
    unlink(escaped.c_str());
}

// Deep trees pass 255 characters easily; names past what Windows holds are
// refused whole, never written under a cut name (cut at a slash, this one
// would pass for a folder).
TEST_F(NamesTest, LongPathsAreWrittenAndNamesTooLongAreRefusedNotCut) {
    TempDir dir;
    std::string target = dir.File("out");
    std::string deep;
    for (int i = 0; i < 6; ++i) deep += std::string(150, char('a' + i)) + "/";
    std::string fits = deep + "f\xC3\xA4.txt";   // about 900 characters
    std::string component(256, 'z');
    std::string cutAtSlash = std::string(254, 'y') + "/" + std::string(45, 'w');
    std::string beyond;
    while (beyond.size() < SFX_TARGET_UNITS) beyond += std::string(200, 'p') + "/";
    beyond += "q";
    ZipEntrySpec first = Stored(fits, "fits");
    first.flags = ZIP_FLAG_UTF8;
    RunImage(dir, Image({first, Stored(component, "over"), Stored(cutAtSlash, "cut"),
                         Stored(beyond, "beyond")}), target);
    EXPECT_EQ(Front.entryStatuses,
              (std::vector<SfxStatus>{SFX_OK, SFX_ERR_CREATE, SFX_OK, SFX_ERR_CREATE}));
    EXPECT_EQ(ReadFileBytes(target + "/" + fits), "fits");
    EXPECT_EQ(ReadFileBytes(target + "/" + cutAtSlash), "cut");
    std::vector<std::string> tree = ListTree(target);
    EXPECT_EQ(std::count_if(tree.begin(), tree.end(), [](const std::string& p) { return p.back() != '/'; }), 2);
}

// Only names ending in a slash are folders. A dot file is a file like any
// other: passing it over would drop it while the run reports success.
TEST_F(NamesTest, DirectoryEntriesCreateAndReportNothingButDotFilesAreExtracted) {
    TempDir dir;
    std::string target = dir.File("out");
    Front.confirm = [](const CatalogEntry*, const char*) { return 0; };
    int result = RunImage(dir, Image({Stored("emptydir/", ""), Stored("a\\b\\", ""), Stored(".htaccess", "x"),
                                      Stored("conf/.env", "y")}),
                          target, "run.bat");
    EXPECT_EQ(result, SFX_RUN_STARTED);
    EXPECT_EQ(Front.confirmCalls, 2);
    EXPECT_EQ(Front.entryDoneCalls, 2);
    EXPECT_EQ(ListTree(target), (std::vector<std::string>{".htaccess", "conf/", "conf/.env"}));
}

}  // namespace
