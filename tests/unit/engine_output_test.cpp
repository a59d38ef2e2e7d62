// Output files: the directory walk with its attempt counts, and the rule
// that an existing file survives every failed replacement.
#include "engine_test_util.h"
#include "engine/output_file.h"
#include "support/file_layer.h"
#include <string.h>
#include <algorithm>
#include <unistd.h>
#include <sys/stat.h>

namespace {

struct OutputTest : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        ResetTestFrontEnd();
        OutputCreateAttempts = 0;
        Archive.outputHandle = FILE_NONE;
    }
    void TearDown() override {
        if (Archive.outputHandle != FILE_NONE) FileClose(Archive.outputHandle);
        Archive.outputHandle = FILE_NONE;
    }
    std::string Engine(const std::string& rel) const { return dir.path + "\\" + rel; }
};

TEST_F(OutputTest, AppendBackslashLeavesEmptyPathsRootsAndDrivesAlone) {
    char out[256];
    EXPECT_STREQ(AppendBackslash("", out), "");
    EXPECT_STREQ(AppendBackslash("C:", out), "C:");
    EXPECT_STREQ(AppendBackslash("C:\\", out), "C:\\");
    EXPECT_STREQ(AppendBackslash("a\\b", out), "a\\b\\");
    char same[256] = "x";
    EXPECT_STREQ(AppendBackslash(same, same), "x\\");
}

TEST_F(OutputTest, ExistingFolderCostsOneAttemptAndNoDirectory) {
    CreateOutputFile(Engine("file.txt").c_str());
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(OutputCreateAttempts, 1u);
    EXPECT_NE(Archive.outputHandle, FILE_NONE);
    // The file is a fresh temporary one beside the target, not the target.
    EXPECT_EQ(ListTree(dir.path).size(), 1u);
    EXPECT_FALSE(Exists(dir.File("file.txt")));
    std::string temp = Archive.outputTempPath;
    EXPECT_EQ(temp.compare(0, dir.path.size() + 1, dir.path + "\\"), 0) << temp;
}

TEST_F(OutputTest, TwoMissingLevelsBelowAnExistingFolderCostFourAttempts) {
    // dir stands for the drive's folder "Ziel"; the walk starts at the root.
    mkdir(dir.File("Ziel").c_str(), 0755);
    CreateOutputFile(Engine("Ziel\\a\\b\\c.txt").c_str());
    EXPECT_EQ(Archive.status, SFX_OK);
    // Root component (the host's absolute prefix) exists: attempt 2; Ziel
    // exists: 3; a made: 4; b made: 5.
    EXPECT_EQ(OutputCreateAttempts, 5u);
    std::vector<std::string> tree = ListTree(dir.path);
    ASSERT_EQ(tree.size(), 4u);
    EXPECT_EQ(tree[0], "Ziel/");
    EXPECT_EQ(tree[1], "Ziel/a/");
    EXPECT_EQ(tree[2], "Ziel/a/b/");
    EXPECT_EQ(tree[3].compare(0, 9, "Ziel/a/b/"), 0);
}

TEST_F(OutputTest, RelativePathsAreWalkedFromTheCurrentFolder) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    mkdir("Ziel", 0755);
    OutputCreateAttempts = 0;
    CreateOutputFile("Ziel\\a\\b\\c.txt");
    SfxStatus status = Archive.status;
    uint32_t attempts = OutputCreateAttempts;
    CreateOutputFile("plain.txt");   // no backslash at all: exactly one attempt
    uint32_t plainAttempts = OutputCreateAttempts - attempts;
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(status, SFX_OK);
    EXPECT_EQ(attempts, 4u) << "Ziel exists, a and b are made";
    EXPECT_EQ(plainAttempts, 1u);
    EXPECT_TRUE(Exists(dir.File("Ziel/a/b")));
}

TEST_F(OutputTest, DoubledBackslashIsTestedNotMade) {
    mkdir(dir.File("x").c_str(), 0755);
    CreateOutputFile((Engine("x") + "\\\\y\\f.txt").c_str());
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_TRUE(Exists(dir.File("x/y")));
}

TEST_F(OutputTest, FileInTheWayOfADirectoryFails) {
    mkdir(dir.File("a").c_str(), 0755);
    WriteFileBytes(dir.File("a/blocker"), "keep");
    OutputCreateAttempts = 0;
    CreateOutputFile(Engine("a\\blocker\\sub\\f.txt").c_str());
    EXPECT_EQ(Archive.status, SFX_ERR_IO);
    EXPECT_EQ(Archive.outputHandle, FILE_NONE);
    EXPECT_EQ(ReadFileBytes(dir.File("a/blocker")), "keep");
}

TEST_F(OutputTest, CreateThatKeepsFailingIsTriedOnceAtTheStartAndOncePerLevel) {
    // Every level exists, the last one as a file: the create can never
    // succeed, and no directory may be made on the way.
    std::string host = dir.path, engine = dir.path;
    int levels = 0;
    while (engine.size() < 200) {
        std::string part(40, char('a' + levels));
        host += "/" + part;
        engine += "\\" + part;
        mkdir(host.c_str(), 0755);
        ++levels;
    }
    WriteFileBytes(host + "/blocker", "keep");
    std::vector<std::string> before = ListTree(dir.path);
    CreateOutputFile((engine + "\\blocker\\f").c_str());
    EXPECT_EQ(Archive.status, SFX_ERR_IO);
    EXPECT_EQ(Archive.outputHandle, FILE_NONE);
    // The start, the host's absolute prefix, one per level and the file.
    EXPECT_EQ(OutputCreateAttempts, uint32_t(2 + levels + 1));
    EXPECT_EQ(ListTree(dir.path), before) << "no directory made, nothing left";
}

struct ReplaceTest : OutputTest {
    std::string out;
    void SetUp() override {
        OutputTest::SetUp();
        out = dir.File("out");
        mkdir(out.c_str(), 0755);
    }
};

TEST_F(ReplaceTest, FolderAtTheTargetPathIsACreateErrorAndStaysIntact) {
    mkdir((out + "/clash.txt").c_str(), 0755);
    WriteFileBytes(out + "/clash.txt/inner", "inner");
    int result = RunImage(dir, Image({Stored("clash.txt", "data"), Stored("next.txt", "n")}), out);
    EXPECT_EQ(result, SFX_ERR_CREATE);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_ERR_CREATE, SFX_OK}));
    EXPECT_EQ(ListTree(out), (std::vector<std::string>{"clash.txt/", "clash.txt/inner", "next.txt"}));
    EXPECT_EQ(ReadFileBytes(out + "/clash.txt/inner"), "inner");
}

// "Replace all" lets an entry through without asking, but a read-only file is
// still not replaced (rename() alone would replace it, also for root).
TEST_F(ReplaceTest, ReadOnlyFileAtTheTargetIsACreateErrorAndKeepsItsContent) {
    WriteFileBytes(out + "/locked.txt", "old content");
    chmod((out + "/locked.txt").c_str(), 0444);
    int result = RunImage(dir, Image({Stored("locked.txt", "new content"), Stored("next.txt", "n")}), out);
    EXPECT_EQ(result, SFX_ERR_CREATE);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_ERR_CREATE, SFX_OK}));
    EXPECT_EQ(ReadFileBytes(out + "/locked.txt"), "old content");
    EXPECT_EQ(ListTree(out), (std::vector<std::string>{"locked.txt", "next.txt"})) << "no temporary file left";
}

// "Ja" consents to replacing a read-only file, but the file is touched only
// when the entry turned out complete and correct.
TEST_F(ReplaceTest, ConsentReplacesAReadOnlyFileOnlyWithACorrectEntry) {
    WriteFileBytes(out + "/locked.txt", "old content");
    chmod((out + "/locked.txt").c_str(), 0444);
    Front.confirm = [](const CatalogEntry*, const char*) { return CONFIRM_REPLACE_PROTECTED; };
    ZipEntrySpec bad = Stored("locked.txt", "new content");
    bad.hasCrc = true;
    bad.crc = 1;
    EXPECT_EQ(RunImage(dir, Image({bad}), out), SFX_ERR_CRC);
    struct stat st;
    ASSERT_EQ(stat((out + "/locked.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(ReadFileBytes(out + "/locked.txt"), "old content");
    EXPECT_EQ(RunImage(dir, Image({Stored("locked.txt", "new content")}), out), SFX_OK);
    EXPECT_EQ(ReadFileBytes(out + "/locked.txt"), "new content");
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"locked.txt"});
}

// A target path of 255 characters leaves a folder of 254: the temporary name
// must fit behind it, and names that are taken (files of the user's that look
// like temporary ones) are passed over, never opened or replaced.
TEST_F(ReplaceTest, DeepestFolderWorksAndTakenTemporaryNamesAreLeftAlone) {
    std::string host = out;
    while (host.size() < 253) {
        size_t length = std::min<size_t>(100, 253 - host.size() - 1);
        host += "/" + std::string(length, 'd');
        mkdir(host.c_str(), 0755);
    }
    ASSERT_EQ(host.size(), 253u);   // the folder with its backslash: 254
    std::vector<std::string> userFiles;
    for (int n = 0; n < 300; ++n) {
        char name[8];
        snprintf(name, sizeof name, "~%04X", n);
        WriteFileBytes(host + "/" + name, name);
        userFiles.push_back(name);
    }
    std::string entry = host.substr(out.size() + 1) + "/g";
    ASSERT_EQ(RunImage(dir, Image({Stored(entry, "entry")}), out), SFX_OK);
    EXPECT_EQ(ReadFileBytes(host + "/g"), "entry");
    for (const std::string& name : userFiles)
        EXPECT_EQ(ReadFileBytes(host + "/" + name), name);
    EXPECT_EQ(ListTree(host).size(), userFiles.size() + 1) << "no temporary file left";
}

TEST_F(ReplaceTest, CrcFailureOverAnExistingFileKeepsTheOldFile) {
    WriteFileBytes(out + "/keep.txt", "old content");
    ZipEntrySpec e = Stored("keep.txt", "new content");
    e.hasCrc = true;
    e.crc = 1;
    int result = RunImage(dir, Image({e}), out);
    EXPECT_EQ(result, SFX_ERR_CRC);
    EXPECT_EQ(ReadFileBytes(out + "/keep.txt"), "old content");
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"keep.txt"});
}

TEST_F(ReplaceTest, SuccessfulReplacementTakesTheNewDataAndTime) {
    WriteFileBytes(out + "/f.txt", "old content that is longer than the new");
    ZipEntrySpec e = Stored("f.txt", "new");
    ASSERT_EQ(RunImage(dir, Image({e}), out), SFX_OK);
    EXPECT_EQ(ReadFileBytes(out + "/f.txt"), "new");
    EXPECT_EQ(ModTime(out + "/f.txt"), DosToTime(e.dosDate, e.dosTime));
}

TEST_F(ReplaceTest, CancelDuringTheCopyKeepsTheExistingFile) {
    WriteFileBytes(out + "/big.bin", "old");
    Front.progress = [](uint64_t done, uint64_t) { return done < 8192; };
    int result = RunImage(dir, Image({Stored("big.bin", Pattern(20000, 1)), Stored("after.txt", "a")}), out);
    EXPECT_EQ(result, SFX_USER_ABORT);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_USER_ABORT, SFX_OK}));
    EXPECT_EQ(Front.progressDone, (std::vector<uint64_t>{20000, 1}));
    EXPECT_EQ(ReadFileBytes(out + "/big.bin"), "old");
    EXPECT_EQ(ListTree(out), (std::vector<std::string>{"after.txt", "big.bin"}));
}

TEST_F(ReplaceTest, MissingDirectoriesMadeOnTheWayStayAfterAFailure) {
    ZipEntrySpec e = Stored("new/dir/bad.txt", "x");
    e.hasUncompressedSize = true;
    e.uncompressedSize = 0;   // the copy overruns at once
    RunImage(dir, Image({e}), out);
    EXPECT_EQ(Front.entryStatuses, std::vector<SfxStatus>{SFX_ERR_BAD_DATA});
    EXPECT_EQ(ListTree(out), (std::vector<std::string>{"new/", "new/dir/"}));
}

}  // namespace
