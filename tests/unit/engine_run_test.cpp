// The extraction run: callbacks, the run's final status, the command.
#include "engine_test_util.h"
#include "support/file_layer.h"
#include "support/host_text.h"
#include <string.h>
#include <filesystem>

namespace {

struct RunTest : ::testing::Test {
    KeepCurrentFolder keepFolder;
    TempDir dir;
    std::string out;
    int startsBefore = 0;
    void SetUp() override {
        ResetTestFrontEnd();
        out = dir.File("out");
        startsBefore = HostStartCount;
    }
    int Starts() const { return HostStartCount - startsBefore; }
};

TEST_F(RunTest, FailedEntryMakesTheRunFailEvenWhenItGoesOn) {
    ZipEntrySpec bad = Stored("bad.txt", "bad");
    bad.hasCrc = true;
    bad.crc = 7;
    ZipEntrySpec unsupported = Stored("new.txt", "x");
    unsupported.versionNeeded = 62;
    int result = RunImage(dir, Image({Stored("a.txt", "a"), bad, unsupported, Stored("z.txt", "z")}, "setup.exe"),
                          out, "setup.exe");
    EXPECT_EQ(result, SFX_ERR_CRC) << "the first failure, not the last";
    EXPECT_EQ(Archive.status, SFX_ERR_CRC);
    EXPECT_EQ(Front.entryStatuses,
              (std::vector<SfxStatus>{SFX_OK, SFX_ERR_CRC, SFX_ERR_UNSUPPORTED, SFX_OK}));
    EXPECT_EQ(Front.lastRunStatus, SFX_ERR_CRC);
    EXPECT_EQ(Front.lastRunName, "prog.exe");
    EXPECT_EQ(Starts(), 0) << "no command after a failed entry";
    EXPECT_EQ(ReadFileBytes(out + "/z.txt"), "z");
}

// Writers that mark folders by their attributes alone (no trailing slash):
// taken for an empty file, such a folder would block every file inside it.
TEST_F(RunTest, FoldersMarkedOnlyByTheirAttributesAreFolders) {
    ZipEntrySpec dos = Stored("dos", "");
    dos.externalAttributes = 0x10;
    ZipEntrySpec unix = Stored("unix", "");
    unix.versionMadeBy = 0x031E;
    unix.externalAttributes = 0040755u << 16;
    ZipEntrySpec modeOnFat = Stored("fat", "");     // a mode means nothing from MS-DOS
    modeOnFat.externalAttributes = 0040755u << 16;
    ZipEntrySpec withData = Stored("data", "x");    // data makes it a file
    withData.externalAttributes = 0x10;
    int result = RunImage(dir, Image({dos, Stored("dos/a.txt", "a"), unix, Stored("unix/b.txt", "b"), modeOnFat,
                                      withData}), out);
    EXPECT_EQ(result, SFX_OK);
    EXPECT_EQ(ListTree(out), (std::vector<std::string>{"data", "dos/", "dos/a.txt", "fat", "unix/", "unix/b.txt"}));
}

// Sizes and offsets taken from the Zip64 field, and offsets off by the
// program's length in front of a plainly joined archive, reach the entry
// extraction as the real ones: every entry comes out whole.
TEST_F(RunTest, Zip64AndJoinedArchivesExtractWhole) {
    ZipEntrySpec a = Stored("a.txt", Pattern(9000, 2));
    a.zip64Fields = 7;
    ZipEntrySpec b = Stored("sub/b.bin", Pattern(70000, 3));
    b.method = 8;
    b.zip64Fields = 6;
    ZipImageOptions o;
    o.zip64EndRecord = true;
    std::string image = MakeStubPrefix("", "", 777) + BuildZipImage({a, b}, o);
    EXPECT_EQ(RunImage(dir, image, out), SFX_OK);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_OK, SFX_OK}));
    EXPECT_EQ(ReadFileBytes(out + "/a.txt"), a.data);
    EXPECT_EQ(ReadFileBytes(out + "/sub/b.bin"), b.data);
}

TEST_F(RunTest, CancelInProgressIsTheRunsResult) {
    Front.progress = [](uint64_t, uint64_t) { return false; };
    int result = RunImage(dir, Image({Stored("a.txt", "a"), Stored("b.txt", "b")}), out, "go.exe");
    EXPECT_EQ(result, SFX_USER_ABORT);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_USER_ABORT, SFX_USER_ABORT}));
    EXPECT_EQ(Front.lastRunStatus, SFX_USER_ABORT);
    EXPECT_EQ(Starts(), 0);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{});
}

TEST_F(RunTest, EntryDoneAnsweringFalseEndsTheRunWithThatStatus) {
    ZipEntrySpec bad = Stored("bad.txt", "bad");
    bad.method = 9;
    Front.entryDone = [](const CatalogEntry*, const char*, SfxStatus s) { return s == SFX_OK; };
    int result = RunImage(dir, Image({bad, Stored("later.txt", "l")}), out);
    EXPECT_EQ(result, SFX_ERR_UNSUPPORTED);
    EXPECT_EQ(Front.entryDoneCalls, 1);
    EXPECT_FALSE(Exists(out + "/later.txt"));
}

TEST_F(RunTest, AbortAtTheFirstConfirmationExtractsNothing) {
    Front.confirm = [](const CatalogEntry*, const char*) { return 2; };
    int result = RunImage(dir, Image({Stored("a.txt", "a"), Stored("b.txt", "b")}), out, "go.exe");
    EXPECT_EQ(result, SFX_USER_ABORT);
    EXPECT_EQ(Front.confirmCalls, 1);
    EXPECT_EQ(Front.entryDoneCalls, 0);
    EXPECT_EQ(Front.lastRunStatus, SFX_USER_ABORT);
    EXPECT_EQ(Starts(), 0);
    EXPECT_FALSE(Exists(out));
}

TEST_F(RunTest, SkippingEveryEntryIsASuccessWithoutReports) {
    Front.confirm = [](const CatalogEntry*, const char*) { return 1; };
    int result = RunImage(dir, Image({Stored("a.txt", "a"), Stored("b.txt", "b")}), out);
    EXPECT_EQ(result, SFX_OK);
    EXPECT_EQ(Front.confirmCalls, 2);
    EXPECT_EQ(Front.entryDoneCalls, 0);
    EXPECT_FALSE(Exists(out));
}

// A front-end that may neither ask nor replace: the run ends at the existing
// file, which keeps its content; nothing after it is written or started.
TEST_F(RunTest, AnExistingFileThatMayNotBeAskedAboutEndsTheRun) {
    mkdir(out.c_str(), 0700);
    WriteFileBytes(out + "/b.txt", "old");
    Front.confirm = [](const CatalogEntry*, const char* path) {
        return FileExists(path) ? CONFIRM_REFUSE : CONFIRM_EXTRACT;
    };
    int result = RunImage(dir, Image({Stored("a.txt", "a"), Stored("b.txt", "new"), Stored("c.txt", "c")}), out,
                          "go.exe");
    EXPECT_EQ(result, SFX_ERR_EXISTS);
    EXPECT_EQ(Front.lastRunStatus, SFX_ERR_EXISTS);
    EXPECT_EQ(Front.entryDoneCalls, 1);
    EXPECT_EQ(ReadFileBytes(out + "/a.txt"), "a");
    EXPECT_EQ(ReadFileBytes(out + "/b.txt"), "old");
    EXPECT_FALSE(Exists(out + "/c.txt"));
    EXPECT_EQ(Starts(), 0);
}

TEST_F(RunTest, ConfirmationSeesTheMappedTargetPath) {
    static std::string seen;
    Front.confirm = [](const CatalogEntry* h, const char* path) {
        seen = path;
        return h->uncompressedSize == 3 ? 0 : 1;
    };
    RunImage(dir, Image({Stored("d/e/f.txt", "abc")}), out);
    EXPECT_EQ(seen, out + "\\d\\e\\f.txt");
    EXPECT_EQ(ReadFileBytes(out + "/d/e/f.txt"), "abc");
}

TEST_F(RunTest, CommandStartsInTheTargetFolderAfterAClean) {
    int result = RunImage(dir, Image({Stored("a.txt", "a")}), out, "setup.exe /q");
    EXPECT_EQ(result, SFX_RUN_STARTED);
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Starts(), 1);
    EXPECT_STREQ(HostStartedCommand, "setup.exe /q") << "no such program in the target folder";
    EXPECT_EQ(std::string(HostStartedFolder), out);
    EXPECT_EQ(Archive.archiveHandle, FILE_NONE) << "the archive is closed before the command runs";
}

// Windows looks for a program in the running program's folder first: a
// program that the archive brought along is started by its full path, so a
// self-extractor named setup.exe starts the extracted setup.exe, not itself.
TEST_F(RunTest, CommandOfAProgramInTheTargetFolderNamesItsFullPath) {
    std::string folder = out + "\\";
    RunImage(dir, Image({Stored("setup.exe", "MZ"), Stored("tool/x.exe", "MZ"), Stored("dir.exe/a", "a")}), out);
    struct Case {
        const char* command;
        std::string started;
    } cases[] = {
        {"setup.exe /q", "\"" + folder + "setup.exe\" /q"},
        {"setup", "\"" + folder + "setup.exe\""},
        {"\"tool\\x.exe\" -a \"b c\"", "\"" + folder + "tool\\x.exe\" -a \"b c\""},
        {"cmd /c start", "cmd /c start"},                   // not in the folder: as it is
        {"dir.exe", "dir.exe"},                             // a folder, not a program
        {"C:\\Windows\\notepad.exe", "C:\\Windows\\notepad.exe"},   // not relative
        {"setup.txt", "setup.txt"},                         // an extension of its own: not found
    };
    static char line[COMMAND_LINE_SIZE];
    for (const Case& c : cases) {
        EXPECT_TRUE(ResolveCommand(c.command, folder.c_str(), line)) << c.command;
        EXPECT_EQ(std::string(line), c.started) << c.command;
    }
}

// A target folder past 255 bytes (a deep one, or a short one in a script of
// three bytes per character) still finds the program: left as "setup.exe",
// the self-extractor of that name would start itself again. A line too long
// to start whole is not started cut.
TEST_F(RunTest, CommandInALongTargetFolderIsFoundAndNeverCut) {
    std::string deep = out;
    for (int i = 0; i < 6; ++i)
        deep += "/" + std::string(60, 'a' + i);
    std::string folder = deep + "\\";
    std::filesystem::create_directories(deep);
    RunImage(dir, Image({Stored("setup.exe", "MZ")}), deep);
    ASSERT_EQ(ReadFileBytes(deep + "/setup.exe"), "MZ");
    static char line[COMMAND_LINE_SIZE];
    ASSERT_TRUE(ResolveCommand("setup.exe /q", folder.c_str(), line));
    EXPECT_EQ(std::string(line), "\"" + folder + "setup.exe\" /q");
    std::string arguments(COMMAND_LINE_SIZE - folder.size() - 12, 'x');
    EXPECT_FALSE(ResolveCommand(("setup.exe " + arguments).c_str(), folder.c_str(), line));
    EXPECT_FALSE(ResolveCommand(std::string(COMMAND_LINE_SIZE, 'y').c_str(), folder.c_str(), line));
}

TEST_F(RunTest, MissingProgramFileIsReportedWithoutCallbacks) {
    int result = ExtractArchive(dir.File("missing.exe").c_str(), out.c_str(), "go.exe");
    EXPECT_EQ(result, SFX_ERR_IO);
    EXPECT_EQ(Front.runStatusCalls, 1);
    EXPECT_EQ(Front.lastRunStatus, SFX_ERR_IO);
    EXPECT_EQ(Front.lastRunName, "missing.exe");
    EXPECT_EQ(Front.confirmCalls + Front.entryDoneCalls, 0);
    EXPECT_EQ(Starts(), 0);
}

TEST_F(RunTest, EmptyCentralDirectoryEndsTheRunWithoutCommand) {
    int result = RunImage(dir, Image({}), out, "go.exe");
    EXPECT_EQ(result, SFX_ERR_EMPTY);
    EXPECT_EQ(Front.lastRunStatus, SFX_ERR_EMPTY);
    EXPECT_EQ(Starts(), 0);
}

TEST_F(RunTest, EveryRunAsksTheOverwriteQuestionAgain) {
    ReplaceAll = 1;
    RunImage(dir, Image({Stored("a.txt", "a")}), out);
    EXPECT_EQ(ReplaceAll, 0u);
}

TEST_F(RunTest, PasswordOfOneEntryIsTriedFirstForTheNext) {
    ZipEntrySpec a = Stored("a.bin", Pattern(5000, 1));
    a.password = "secret";
    ZipEntrySpec b = Stored("b.bin", Pattern(7000, 2));
    b.password = "secret";
    Front.password = AnswerSecret;
    ASSERT_EQ(RunImage(dir, Image({a, b}), out), SFX_OK);
    EXPECT_EQ(Front.passwordCalls, 1);
    EXPECT_EQ(ReadFileBytes(out + "/a.bin"), a.data);
    EXPECT_EQ(ReadFileBytes(out + "/b.bin"), b.data);
}

}  // namespace
