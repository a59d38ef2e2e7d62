// Opening the program file as an archive and the backward search for the
// end record.
#include <gtest/gtest.h>
#include <dirent.h>
#include <string.h>
#include <sys/stat.h>
#include <string>
#include "archive/archive_open.h"
#include "archive/config_block.h"
#include "engine/front_end.h"
#include "support/file_layer.h"
#include "support/zip_writer.h"

namespace {

ZipImageOptions StubbedAs(const std::string& target, const std::string& command) {
    ZipImageOptions options;
    options.prefix = MakeStubPrefix(target, command);
    return options;
}

const std::string kEndSig("PK\x05\x06", 4);

int OpenDescriptors() {
    int count = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++count;
        closedir(d);
    }
    return count;
}

// count bytes of filler (never forming a signature) with the end-record
// signature placed at each of the given offsets.
std::string FileWithSignatures(size_t size, std::initializer_list<size_t> at) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = char("xyz"[i % 3]);
    for (size_t pos : at) {
        bytes.replace(pos, 4, kEndSig);
        // A well-formed record behind it: zero counts, central offset 0,
        // comment length 0 (as far as the file goes).
        for (size_t i = pos + 4; i < pos + 22 && i < size; ++i) bytes[i] = 0;
    }
    return bytes;
}

struct OpenedFile {
    TempDir dir;
    std::string path;
    explicit OpenedFile(const std::string& bytes) : path(dir.File("prog.exe")) {
        WriteFileBytes(path, bytes);
        OpenArchive(path.c_str());
    }
    ~OpenedFile() { CloseArchive(); }
};

TEST(FindEndRecord, WorkedExampleFindsRecordBehindSignature) {
    OpenedFile f(FileWithSignatures(44741, {44719}));
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Archive.endRecordPos, 44723);
}

TEST(FindEndRecord, SignatureAcrossAWindowBoundaryIsFound) {
    const size_t size = 400;
    const size_t firstWindow = size - 64;
    for (size_t before = 1; before <= 3; ++before) {
        OpenedFile f(FileWithSignatures(size, {firstWindow - before}));
        EXPECT_EQ(Archive.status, SFX_OK) << before;
        EXPECT_EQ(Archive.endRecordPos, int32_t(firstWindow - before + 4)) << before;
    }
    // Deep in the file: the boundary of the third window.
    const size_t third = size - 64 - 60 - 60;
    for (size_t before = 1; before <= 3; ++before) {
        OpenedFile f(FileWithSignatures(size, {third - before}));
        EXPECT_EQ(Archive.endRecordPos, int32_t(third - before + 4)) << before;
    }
    // Exactly at the start of a window, and just fully inside the next one.
    OpenedFile a(FileWithSignatures(size, {firstWindow}));
    EXPECT_EQ(Archive.endRecordPos, int32_t(firstWindow + 4));
    OpenedFile b(FileWithSignatures(size, {firstWindow - 4}));
    EXPECT_EQ(Archive.endRecordPos, int32_t(firstWindow));
}

TEST(FindEndRecord, LowerOffsetWinsWithinOneWindow) {
    OpenedFile f(FileWithSignatures(500, {450, 475}));
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Archive.endRecordPos, 454);
    // In different windows, the later one (found first) wins.
    OpenedFile g(FileWithSignatures(500, {300, 470}));
    EXPECT_EQ(Archive.endRecordPos, 474);
}

TEST(FindEndRecord, SmallFilesAreSearchedInOneWindow) {
    OpenedFile a(FileWithSignatures(64, {0}));
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Archive.endRecordPos, 4);
    OpenedFile b(FileWithSignatures(30, {5}));
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Archive.endRecordPos, 9);
    OpenedFile c(FileWithSignatures(22, {0}));
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Archive.endRecordPos, 4);
}

TEST(OpenArchive, NoSignatureClosesTheArchive) {
    int before = OpenDescriptors();
    for (size_t size : {0, 3, 64, 65, 1000, 5003}) {
        std::string bytes = FileWithSignatures(size, {});
        if (size == 3) bytes = "PK\x05";   // a cut signature is no signature
        OpenedFile f(bytes);
        EXPECT_EQ(Archive.status, SFX_ERR_NO_ARCHIVE) << size;
        EXPECT_EQ(Archive.archiveHandle, FILE_NONE);
        EXPECT_EQ(OpenDescriptors(), before);
        CloseArchive();
        CloseArchive();
        EXPECT_EQ(Archive.archiveHandle, FILE_NONE);
    }
}

TEST(OpenArchive, TruncatedEndRecordIsAnError) {
    int before = OpenDescriptors();
    for (size_t tail : {4, 10, 21}) {
        {
            OpenedFile f(FileWithSignatures(300, {300 - tail}));
            EXPECT_EQ(Archive.catalog.status, SFX_ERR_IO) << tail;
        }
        EXPECT_EQ(Archive.archiveHandle, FILE_NONE);
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(OpenArchive, LongestArchiveCommentIsSkipped) {
    ZipEntrySpec e;
    e.name = "a.txt";
    e.data = "hello";
    ZipImageOptions options;
    options.prefix = MakeStubPrefix("C:\\Ziel", "");
    options.archiveComment = std::string(65535, 'c');
    std::string image = BuildZipImage({e}, options);
    OpenedFile f(image);
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Archive.endRecordPos, int32_t(image.size() - 65535 - 18));
    EXPECT_EQ(Archive.catalog.status, SFX_OK);
    EXPECT_EQ(Archive.catalog.count, 1u);
    EXPECT_STREQ(Archive.configTarget, "C:\\Ziel");   // the directory was reached
}

// The comment is never needed, but an end record cut short is no archive
// to read: its catalogue fails and nothing of it is used.
TEST(OpenArchive, EndRecordCutShortFailsItsCatalogue) {
    ZipEntrySpec e;
    e.name = "a.txt";
    ZipImageOptions options;
    options.prefix = MakeStubPrefix("C:\\Ziel", "");
    std::string image = BuildZipImage({e}, options);
    image.resize(image.size() - 5);
    OpenedFile f(image);
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Archive.catalog.status, SFX_ERR_IO);
    EXPECT_EQ(Archive.catalog.count, 0u);
    EXPECT_STREQ(Archive.configTarget, "");
}

TEST(OpenArchive, MissingFileKeepsThePreviousPath) {
    OpenedFile good(FileWithSignatures(100, {50}));
    ASSERT_EQ(Archive.status, SFX_OK);
    CloseArchive();
    OpenArchive((good.dir.path + "/missing.exe").c_str());
    EXPECT_EQ(Archive.status, SFX_ERR_IO);
    EXPECT_EQ(Archive.archiveHandle, FILE_NONE);
}

TEST(OpenArchive, PathsPastTheOldLimitOpen) {
    TempDir dir;
    // A real file behind a 300-character path: only the length refuses it.
    std::string folder = dir.path + "/" + std::string(100, 'a');
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    folder += "/" + std::string(100, 'b');
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    std::string longPath = folder + "/" + std::string(300 - folder.size() - 1, 'c');
    ASSERT_EQ(longPath.size(), 300u);
    WriteFileBytes(longPath, FileWithSignatures(100, {50}));
    OpenArchive(longPath.c_str());
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(Archive.endRecordPos, 54);
    CloseArchive();
}

int OtherPassword(char*, const char*) { return 1; }
bool OtherProgress(uint64_t, uint64_t) { return true; }

void DirtyRunFields() {
    Archive.passwordFn = OtherPassword;
    Archive.progress = OtherProgress;
    Archive.confirmEntry = FrontConfirmEntry;
    Archive.entryDone = FrontEntryDone;
    memset(Archive.password, 'p', sizeof Archive.password);
    memset(Archive.configTarget, 't', sizeof Archive.configTarget);
    memset(Archive.configCommand, 'c', sizeof Archive.configCommand);
    memset(Archive.targetFolder, 'f', sizeof Archive.targetFolder);
}

void ExpectRunFieldsReset() {
    EXPECT_EQ(Archive.passwordFn, &FrontAskPassword);
    EXPECT_EQ(Archive.progress, nullptr);
    EXPECT_EQ(Archive.confirmEntry, nullptr);
    EXPECT_EQ(Archive.entryDone, nullptr);
    EXPECT_EQ(std::string(Archive.password, sizeof Archive.password), std::string(sizeof Archive.password, '\0'));
    EXPECT_EQ(std::string(Archive.configTarget, 257), std::string(257, '\0'));
    EXPECT_EQ(std::string(Archive.configCommand, 257), std::string(257, '\0'));
    EXPECT_EQ(std::string(Archive.targetFolder, 261), std::string(261, '\0'));
}

TEST(OpenArchive, EveryOpeningStartsFromAFreshRunState) {
    TempDir dir;
    ZipEntrySpec e;
    e.name = "a.txt";
    std::string path = dir.File("plain.exe");
    WriteFileBytes(path, BuildZipImage({e}, StubbedAs("", "")));
    DirtyRunFields();
    OpenArchive(path.c_str());
    EXPECT_EQ(Archive.status, SFX_OK);
    ExpectRunFieldsReset();
    CloseArchive();
    // Also when the file cannot be opened.
    DirtyRunFields();
    OpenArchive(dir.File("missing").c_str());
    ExpectRunFieldsReset();
}

TEST(OpenArchive, LeavesNoHandleBehindAfterClose) {
    int before = OpenDescriptors();
    {
        ZipEntrySpec e;
        e.name = "a.txt";
        OpenedFile f(BuildZipImage({e}, StubbedAs("x", "y")));
        ASSERT_EQ(Archive.status, SFX_OK);
        EXPECT_EQ(OpenDescriptors(), before + 1);   // the configuration's second handle is closed
        // Opening again without closing does not leak the first handle.
        OpenArchive(f.path.c_str());
        EXPECT_EQ(OpenDescriptors(), before + 1);
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(FindEndRecord, LaterSearchesSeekToTheCachedPosition) {
    OpenedFile f(FileWithSignatures(1000, {700}));
    ASSERT_EQ(Archive.status, SFX_OK);
    FileSeek(Archive.archiveHandle, 10, 0);
    FindEndRecord();
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_EQ(FileTell(Archive.archiveHandle), 704);
}

TEST(FindBytes, BoundsAndNullArguments) {
    const uint8_t buf[] = {1, 2, 3, 1, 2, 3};
    const uint8_t pat[] = {2, 3};
    EXPECT_EQ(FindBytes(buf, 6, pat, 2), 1);
    EXPECT_EQ(FindBytes(buf + 2, 4, pat, 2), 2);
    EXPECT_EQ(FindBytes(buf, 3, buf + 1, 2), 1);
    EXPECT_EQ(FindBytes(buf, 6, buf + 4, 2), 1);   // {2,3} again, lowest index
    EXPECT_EQ(FindBytes(buf, 6, buf, 1), 0);
    EXPECT_EQ(FindBytes(buf, 6, buf + 2, 1), 2);
    EXPECT_EQ(FindBytes(buf, 6, buf + 1, 5), 1);
    const uint8_t cut[] = {2, 3, 9};   // would match only past the end
    EXPECT_EQ(FindBytes(buf, 6, cut, 3), 0xFFFF);
    EXPECT_EQ(FindBytes(buf + 1, 5, buf + 1, 5), 0);    // pattern as long as the buffer
    EXPECT_EQ(FindBytes(buf, 2, pat, 3), 0xFFFF);       // pattern longer than the buffer
    EXPECT_EQ(FindBytes(buf, 0, pat, 0), 0xFFFF);
    EXPECT_EQ(FindBytes(buf, 6, pat, 0), 0xFFFF);
    EXPECT_EQ(FindBytes(nullptr, 6, pat, 2), 0xFFFF);
    EXPECT_EQ(FindBytes(buf, 6, nullptr, 2), 0xFFFF);
    const uint8_t none[] = {9};
    EXPECT_EQ(FindBytes(buf, 6, none, 1), 0xFFFF);
}

}  // namespace
