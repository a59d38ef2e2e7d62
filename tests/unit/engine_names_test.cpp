// Entry names from hostile archives: nothing may be written outside the
// target folder, nothing under a changed or cut name.
#include "engine_test_util.h"
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
    char path[256];
    EXPECT_EQ(MapEntryPath("a/b/c.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\a\\b\\c.txt");
    EXPECT_EQ(MapEntryPath("/abs.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\abs.txt");
    EXPECT_EQ(MapEntryPath("//server/share/x.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\server\\share\\x.txt");
    EXPECT_EQ(MapEntryPath("\\\\\\x.txt", path), SFX_OK);
    EXPECT_STREQ(path, "C:\\Ziel\\x.txt");
    EXPECT_EQ(MapEntryPath("./dot/./x.txt", path), SFX_OK) << "a lone dot stays in place";
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
    char path[256];
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
        char path[256];
        EXPECT_EQ(MapEntryPath(name, path), SFX_ERR_BAD_DATA) << name;
    }
}

TEST_F(NamesTest, ReservedDeviceNamesAreRefusedInAnyCaseAndPlace) {
    SetTargetFolder("C:\\Ziel");
    const char* devices[] = {"CON", "con", "Prn.txt", "aux.tar.gz", "NUL", "dir/nul", "COM1", "com9.log",
                             "LPT1", "lpt9", "a/LpT5.x/b.txt", "CON .txt", "nul/inner.txt", "COM0", "lpt0.txt",
                             "COM\xB9", "com\xB2.log", "LPT\xB3", "CONIN$", "conout$.txt", "d/Conin$/x"};
    for (const char* name : devices) {
        char path[256];
        EXPECT_EQ(MapEntryPath(name, path), SFX_ERR_BAD_DATA) << name;
    }
    const char* fine[] = {"CONSOLE.txt", "COM10", "lpt", "nul2.txt", "xcon", "auxiliary", "prn_", "COM\xB4",
                          "CONIN", "CONOUT", "CONIN$x", "CONERR$"};
    for (const char* name : fine) {
        char path[256];
        EXPECT_EQ(MapEntryPath(name, path), SFX_OK) << name;
    }
}

TEST_F(NamesTest, TargetPathOf255CharactersFitsAnd256IsRefusedUncut) {
    SetTargetFolder("C:\\Ziel");   // 8 characters with the backslash
    std::string fits(255 - 8, 'n');
    std::string over(256 - 8, 'n');
    char path[256];
    EXPECT_EQ(MapEntryPath(fits.c_str(), path), SFX_OK);
    EXPECT_EQ(strlen(path), 255u);
    EXPECT_EQ(MapEntryPath(over.c_str(), path), SFX_ERR_CREATE);
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

TEST_F(NamesTest, NamesTooLongForTheTargetAreRefusedNotCut) {
    TempDir dir;
    std::string target = dir.File("out");
    size_t room = 255 - (target.size() + 1);
    // Components below the host's own limit on single names.
    auto longName = [](size_t length) {
        std::string n;
        while (n.size() < length) n += (n.size() % 100 == 99) ? '/' : 'x';
        if (n.back() == '/') n.back() = 'y';
        return n;
    };
    std::string fits = longName(room);
    std::string over = longName(room + 1);
    std::string beyond(300, 'z');   // longer than any name the catalogue keeps
    // Cut to 255 characters this one ends in a slash and would pass for a folder.
    std::string cutAtSlash = longName(254) + "/" + std::string(45, 'w');
    RunImage(dir, Image({Stored(fits, "fits"), Stored(over, "over"), Stored(beyond, "cut"),
                         Stored(cutAtSlash, "cut")}), target);
    EXPECT_EQ(Front.entryStatuses,
              (std::vector<SfxStatus>{SFX_OK, SFX_ERR_CREATE, SFX_ERR_CREATE, SFX_ERR_CREATE}));
    EXPECT_EQ(ReadFileBytes(target + "/" + fits), "fits");
    std::vector<std::string> tree = ListTree(target);
    EXPECT_EQ(std::count_if(tree.begin(), tree.end(), [](const std::string& p) { return p.back() != '/'; }), 1);
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
