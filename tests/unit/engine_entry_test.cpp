// Extraction of single entries: stored copies and their chunking, times,
// CRC checks, refused methods, corrupt and lying archives, encrypted entries.
#include "engine_test_util.h"
#include "engine/extract_entry.h"
#include "archive/archive_open.h"
#include "archive/catalog.h"
#include "support/file_layer.h"
#include <string.h>

namespace {

struct EntryTest : ::testing::Test {
    TempDir dir;
    std::string out;
    void SetUp() override {
        ResetTestFrontEnd();
        out = dir.File("out");
    }
};

struct SizeCase {
    size_t size;
    std::vector<uint64_t> progress;
};

TEST_F(EntryTest, StoredEntriesArriveWholeInPiecesWithTheirTime) {
    const SizeCase cases[] = {
        {0, {0}},
        {1, {1}},
        {65536, {65536}},
        {65537, {65536, 65537}},
        {150000, {65536, 131072, 150000}},
    };
    for (const SizeCase& c : cases) {
        ResetTestFrontEnd();
        std::string data = Pattern(c.size, uint32_t(c.size));
        ZipEntrySpec e = Stored("f" + std::to_string(c.size) + ".bin", data);
        e.dosDate = 0x4A21;   // 2017-01-01
        e.dosTime = 0x8C6E;   // 17:35:28
        std::string target = out + std::to_string(c.size);
        int result = RunImage(dir, Image({e}), target);
        EXPECT_EQ(result, SFX_OK) << c.size;
        EXPECT_EQ(ReadFileBytes(target + "/" + e.name), data) << c.size;
        EXPECT_EQ(ModTime(target + "/" + e.name), DosToTime(e.dosDate, e.dosTime)) << c.size;
        EXPECT_EQ(Front.progressDone, c.progress) << c.size;
        EXPECT_EQ(Front.entryStatuses, std::vector<SfxStatus>{SFX_OK}) << c.size;
        EXPECT_EQ(ListTree(target), std::vector<std::string>{e.name}) << "no temporary file left";
    }
}

TEST_F(EntryTest, SeveralMegabytesStoredReportProgressPerPiece) {
    const size_t size = 3 * 1024 * 1024 + 77;
    std::string data = Pattern(size, 9);
    int result = RunImage(dir, Image({Stored("big.bin", data)}), out);
    ASSERT_EQ(result, SFX_OK);
    EXPECT_EQ(ReadFileBytes(out + "/big.bin"), data);
    ASSERT_EQ(Front.progressDone.size(), size / 65536 + 1);
    for (size_t i = 0; i + 1 < Front.progressDone.size(); ++i)
        ASSERT_EQ(Front.progressDone[i], (i + 1) * 65536);
    EXPECT_EQ(Front.progressDone.back(), size);
}

TEST_F(EntryTest, SeveralEntriesFollowTheirCentralOffsetsInAnyLocalOrder) {
    ZipImageOptions options;
    options.prefix = MakeStubPrefix();
    options.reverseLocalOrder = true;
    std::string image = BuildZipImage({Stored("a.txt", "alpha"), Stored("sub/b.txt", Pattern(9000, 2)),
                                       Stored("sub/deeper/c.txt", "gamma")}, options);
    ASSERT_EQ(RunImage(dir, image, out), SFX_OK);
    EXPECT_EQ(ReadFileBytes(out + "/a.txt"), "alpha");
    EXPECT_EQ(ReadFileBytes(out + "/sub/b.txt"), Pattern(9000, 2));
    EXPECT_EQ(ReadFileBytes(out + "/sub/deeper/c.txt"), "gamma");
}

TEST_F(EntryTest, LocalNameDiffersFromCentralNameTheCentralOneIsWritten) {
    ZipEntrySpec e = Stored("central.txt", "data");
    e.hasLocalName = true;
    e.localName = "local-name-that-is-longer.txt";
    ASSERT_EQ(RunImage(dir, Image({e}), out), SFX_OK);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"central.txt"});
    EXPECT_EQ(ReadFileBytes(out + "/central.txt"), "data");
}

// Only stored and deflated data can be written: any other method is refused
// before a file exists, whatever its sizes and CRC claim (an entry of method
// 1 with size and CRC 0 would otherwise pass as an empty file).
// Version 4.5 (Zip64) is read; 6.2 (an encrypted central directory) is not.
TEST_F(EntryTest, VersionAboveZip64AndUnknownMethodsAreRefusedWithoutAFile) {
    ZipEntrySpec v62 = Stored("v62.txt", "x");
    v62.versionNeeded = 62;
    ZipEntrySpec v45high = Stored("v45high.txt", "ok");
    v45high.versionNeeded = 0x0B2D;   // host byte set, version 45
    std::vector<ZipEntrySpec> entries = {v62, v45high};
    for (uint16_t method : {1, 6, 7, 9, 99}) {
        ZipEntrySpec e = Stored("m" + std::to_string(method) + ".txt", "");
        e.method = method;
        e.hasUncompressedSize = true;
        e.uncompressedSize = 1000;
        entries.push_back(e);
    }
    RunImage(dir, Image(entries), out);
    std::vector<SfxStatus> expected(entries.size(), SFX_ERR_UNSUPPORTED);
    expected[1] = SFX_OK;
    EXPECT_EQ(Front.entryStatuses, expected);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"v45high.txt"});
}

// Data that ends before its declared size is incomplete even when its CRC
// matches what is there: the run fails and an existing file stays as it was.
TEST_F(EntryTest, DataShorterThanItsDeclaredSizeFailsAndKeepsNothing) {
    ZipEntrySpec stored = Stored("stored.txt", "abc");
    stored.hasUncompressedSize = true;
    stored.uncompressedSize = 1000;
    ZipEntrySpec deflated = Stored("deflated.txt", std::string(5000, 'q'));
    deflated.method = 8;
    deflated.hasUncompressedSize = true;
    deflated.uncompressedSize = 5001;
    mkdir(out.c_str(), 0755);
    WriteFileBytes(out + "/stored.txt", "old");
    int result = RunImage(dir, Image({stored, deflated}), out);
    EXPECT_EQ(result, SFX_ERR_BAD_DATA);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_ERR_BAD_DATA, SFX_ERR_BAD_DATA}));
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"stored.txt"});
    EXPECT_EQ(ReadFileBytes(out + "/stored.txt"), "old");
}

TEST_F(EntryTest, WrongCrcLeavesNoNewFileWhereNothingStoodThere) {
    // Corrupt data must not appear under the entry's name, as if complete.
    ZipEntrySpec e = Stored("bad.txt", "some data");
    e.hasCrc = true;
    e.crc = 0x12345678;
    ZipEntrySpec d = Stored("deflated.txt", "jello world");
    d.method = 8;
    d.hasCrc = true;
    d.crc = 0x0D4A1185;   // the CRC-32 of "hello world"
    int result = RunImage(dir, Image({e, d}), out);
    EXPECT_EQ(result, SFX_ERR_CRC);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_ERR_CRC, SFX_ERR_CRC}));
    EXPECT_EQ(ListTree(out), std::vector<std::string>{}) << "no file and no temporary file";
}

TEST_F(EntryTest, StoredDataLongerThanItsDeclaredSizeStopsAtOnce) {
    ZipEntrySpec e = Stored("liar.bin", Pattern(10000, 3));
    e.hasUncompressedSize = true;
    e.uncompressedSize = 5000;   // the copy would pass this in its second chunk
    int result = RunImage(dir, Image({e, Stored("next.txt", "n")}), out);
    EXPECT_EQ(result, SFX_ERR_BAD_DATA);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_ERR_BAD_DATA, SFX_OK}));
    EXPECT_EQ(Front.progressDone, (std::vector<uint64_t>{1})) << "nothing reported of the liar";
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"next.txt"});
}

TEST_F(EntryTest, DataCutShortByTheEndOfTheFileEndsWithAnIoError) {
    // The last entry claims far more data than the file holds behind it.
    ZipEntrySpec e = Stored("cut.bin", Pattern(100, 4));
    e.hasCompressedSize = true;
    e.compressedSize = 1000000;
    e.hasUncompressedSize = true;
    e.uncompressedSize = 1000000;
    int result = RunImage(dir, Image({Stored("first.txt", "1"), e}), out);
    EXPECT_EQ(result, SFX_ERR_IO);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_OK, SFX_ERR_IO}));
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"first.txt"});
}

TEST_F(EntryTest, LocalHeaderPastTheEndOfTheFileIsAnIoError) {
    ZipEntrySpec e = Stored("far.txt", "x");
    e.hasLocalOffset = true;
    e.localOffset = 0x7FFFFF00;
    RunImage(dir, Image({e, Stored("near.txt", "y")}), out);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_ERR_IO, SFX_OK}));
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"near.txt"});
}

TEST_F(EntryTest, EncryptedStoredEntryIsDecryptedAcrossPiecesWithProgress) {
    std::string data = Pattern(100000, 5);
    ZipEntrySpec e = Stored("secret.bin", data);
    e.password = "secret";
    Front.password = AnswerSecret;
    ASSERT_EQ(RunImage(dir, Image({e}), out), SFX_OK);
    EXPECT_EQ(ReadFileBytes(out + "/secret.bin"), data);
    EXPECT_EQ(Front.progressDone, (std::vector<uint64_t>{65536 - 12, 65536, 100000}));
    EXPECT_EQ(Front.passwordCalls, 1);
    EXPECT_EQ(ModTime(out + "/secret.bin"), DosToTime(e.dosDate, e.dosTime));
}

TEST_F(EntryTest, CancelledPasswordLeavesNoFileAndAnExistingOneUntouched) {
    ZipEntrySpec fresh = Stored("fresh.txt", "new");
    fresh.password = "secret";
    ZipEntrySpec old = Stored("old.txt", "replacement");
    old.password = "secret";
    mkdir(out.c_str(), 0755);
    WriteFileBytes(out + "/old.txt", "precious");
    int result = RunImage(dir, Image({fresh, old}), out);   // no password: every prompt cancels
    EXPECT_EQ(result, SFX_ERR_PASSWORD);
    EXPECT_EQ(Front.entryStatuses, (std::vector<SfxStatus>{SFX_ERR_PASSWORD, SFX_ERR_PASSWORD}));
    EXPECT_EQ(Front.passwordCalls, 2) << "the second entry asks again";
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"old.txt"});
    EXPECT_EQ(ReadFileBytes(out + "/old.txt"), "precious");
}

TEST_F(EntryTest, EncryptedEntryTooShortForItsHeaderIsRefusedBeforeAnyPrompt) {
    ZipEntrySpec e = Stored("short.txt", "abc");
    e.password = "secret";
    e.hasCompressedSize = true;
    e.compressedSize = 11;
    Front.password = AnswerSecret;
    RunImage(dir, Image({e}), out);
    EXPECT_EQ(Front.entryStatuses, std::vector<SfxStatus>{SFX_ERR_BAD_DATA});
    EXPECT_EQ(Front.passwordCalls, 0);
    EXPECT_FALSE(Exists(out + "/short.txt"));
}

TEST_F(EntryTest, EncryptedEntryCutByTheEndOfTheFileIsAnIoErrorNotEndlessPrompts) {
    ZipEntrySpec e = Stored("cut.bin", Pattern(50, 6));
    e.password = "secret";
    e.hasCompressedSize = true;
    e.compressedSize = 100000;
    e.hasUncompressedSize = true;
    e.uncompressedSize = 100000 - 12;
    // Every prompt answers, with a wrong password: only an end to the reads
    // stops the questions.
    Front.password = [](char* pw, const char*) { strcpy(pw, "wrong"); return Front.passwordCalls < 50 ? 1 : 0; };
    RunImage(dir, Image({e}), out);
    EXPECT_EQ(Front.entryStatuses, std::vector<SfxStatus>{SFX_ERR_IO});
    EXPECT_FALSE(Exists(out + "/cut.bin"));
}

TEST_F(EntryTest, EncryptedStoredDataLongerThanDeclaredStopsAtOnce) {
    ZipEntrySpec e = Stored("liar.bin", Pattern(20000, 7));
    e.password = "secret";
    e.hasUncompressedSize = true;
    e.uncompressedSize = 100;
    Front.password = AnswerSecret;
    RunImage(dir, Image({e}), out);
    EXPECT_EQ(Front.entryStatuses, std::vector<SfxStatus>{SFX_ERR_BAD_DATA});
    EXPECT_FALSE(Exists(out + "/liar.bin"));
}

TEST_F(EntryTest, ArchivePositionIsTheSameAfterAnEntryAsBefore) {
    TempDir work;
    std::string image = Image({Stored("a.txt", Pattern(5000, 8))});
    WriteFileBytes(work.File("prog.exe"), image);
    ResetTestFrontEnd();
    OpenArchive(work.File("prog.exe").c_str());
    ASSERT_EQ(Archive.status, SFX_OK);
    Catalog catalog;
    ClearCatalog(&catalog);
    ReadCatalog(&catalog);
    const CatalogEntry* entry = NextCatalogEntry(&catalog);
    ASSERT_NE(entry, nullptr);
    FileSeek(Archive.archiveHandle, 1234, 0);
    SetTargetFolder(work.path.c_str());
    std::string target = work.path + "\\a.txt";
    ExtractEntry(entry, target.c_str());
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(FileTell(Archive.archiveHandle), 1234);
    EXPECT_EQ(ReadFileBytes(work.File("a.txt")), Pattern(5000, 8));
    FreeCatalog(&catalog);
    CloseArchive();
}

}  // namespace
