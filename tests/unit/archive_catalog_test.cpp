// Reading the central directory into the catalogue, including damaged and
// hostile directories built with the in-test writer.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "archive/archive_open.h"
#include "archive/catalog.h"
#include "support/file_layer.h"
#include "support/zip_writer.h"

namespace {

struct Listed {
    std::string name;
    CentralHeader header;
    uint8_t folder;
};

struct CatalogRun {
    SfxStatus openStatus = 0xFFFF;
    SfxStatus status = 0xFFFF;
    uint16_t count = 0;
    std::vector<Listed> entries;
};

// Opens the image as a program file, reads the catalogue, checks the list's
// invariant, frees it and closes the archive.
CatalogRun ReadImage(const std::string& image) {
    TempDir dir;
    std::string path = dir.File("prog.exe");
    WriteFileBytes(path, image);
    CatalogRun run;
    OpenArchive(path.c_str());
    run.openStatus = Archive.status;
    if (Archive.status == SFX_OK) {
        Catalog catalog;
        ClearCatalog(&catalog);
        ReadCatalog(&catalog);
        run.status = Archive.status;
        run.count = uint16_t(catalog.count);
        while (const CatalogEntry* e = NextCatalogEntry(&catalog)) {
            EXPECT_EQ(strlen(e->name), e->nameLength);
            run.entries.push_back({e->name, e->header, e->folder});
        }
        EXPECT_EQ(run.entries.size(), catalog.count);
        FreeCatalog(&catalog);
        EXPECT_EQ(catalog.count, 0u);
    }
    CloseArchive();
    return run;
}

ZipEntrySpec Entry(const std::string& name, const std::string& data = "", uint16_t method = 0) {
    ZipEntrySpec e;
    e.name = name;
    e.data = data;
    e.method = method;
    return e;
}

ZipImageOptions WithStub() {
    ZipImageOptions o;
    o.prefix = MakeStubPrefix();
    return o;
}

void Put16At(std::string& image, size_t at, uint16_t v) {
    image[at] = char(v & 0xFF);
    image[at + 1] = char(v >> 8);
}

// File offset of the i-th central header's signature.
size_t CentralHeaderAt(const std::string& image, int i) {
    size_t pos = image.find(std::string("PK\x01\x02", 4));
    while (i-- > 0) pos = image.find(std::string("PK\x01\x02", 4), pos + 4);
    return pos;
}

TEST(ReadCatalog, ListsEveryEntryWithItsHeaderInOrder) {
    ZipEntrySpec a = Entry("a.txt", "alpha", 0);
    ZipEntrySpec b = Entry("dir/", "");
    ZipEntrySpec c = Entry("dir/c.bin", std::string(5000, 'c'), 8);
    c.extra = std::string("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
    c.comment = "a file comment";
    c.dosTime = 0x1234;
    c.dosDate = 0x4321;
    c.flags = 0x0002;
    ZipEntrySpec d = Entry("last.txt", "z");
    std::string image = BuildZipImage({a, b, c, d}, WithStub());
    CatalogRun run = ReadImage(image);
    ASSERT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, 4);
    EXPECT_EQ(run.entries[0].name, "a.txt");
    EXPECT_EQ(run.entries[1].name, "dir/");
    EXPECT_EQ(run.entries[2].name, "dir/c.bin");
    EXPECT_EQ(run.entries[3].name, "last.txt");
    EXPECT_EQ(run.entries[1].folder, 1);
    EXPECT_EQ(run.entries[2].folder, 0);
    const CentralHeader& h = run.entries[2].header;
    EXPECT_EQ(+h.method, 8);
    EXPECT_EQ(+h.flags, 0x0002);
    EXPECT_EQ(+h.dosTime, 0x1234);
    EXPECT_EQ(+h.dosDate, 0x4321);
    EXPECT_EQ(+h.crc32, ZipCrc32(c.data));
    EXPECT_EQ(+h.uncompressedSize, 5000u);
    EXPECT_EQ(+h.compressedSize, RawDeflate(c.data).size());
    EXPECT_EQ(+h.extraLength, 9);
    EXPECT_EQ(+h.commentLength, 14);
    EXPECT_EQ(+run.entries[0].header.localHeaderOffset, MakeStubPrefix().size());
    EXPECT_EQ(image.substr(run.entries[3].header.localHeaderOffset, 4), std::string("PK\x03\x04", 4));
}

TEST(ReadCatalog, OrderIsCentralOrderWhateverTheLocalOrder) {
    ZipImageOptions o = WithStub();
    o.reverseLocalOrder = true;
    CatalogRun run = ReadImage(BuildZipImage({Entry("1"), Entry("2"), Entry("3")}, o));
    ASSERT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, 3);
    EXPECT_EQ(run.entries[0].name, "1");
    EXPECT_EQ(run.entries[2].name, "3");
    EXPECT_GT(+run.entries[0].header.localHeaderOffset, +run.entries[2].header.localHeaderOffset);
}

TEST(ReadCatalog, LongNameIsCutAndTheNextRecordStillRead) {
    std::string longName = std::string(250, 'n') + "ABCDE" + std::string(45, 'z');
    ZipEntrySpec big = Entry(longName, "x");
    big.extra = "EXTRA";
    big.comment = "COMMENT";
    CatalogRun run = ReadImage(BuildZipImage({big, Entry("next.txt", "y")}, WithStub()));
    ASSERT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, 2);
    EXPECT_EQ(run.entries[0].name, longName.substr(0, 255));
    EXPECT_EQ(+run.entries[0].header.nameLength, 300);
    EXPECT_EQ(run.entries[1].name, "next.txt");
}

TEST(ReadCatalog, NamesAreConvertedFromOemOrUtf8ToAnsi) {
    ZipEntrySpec oem = Entry("M\x84rz.txt");                 // CP850 ä
    ZipEntrySpec utf = Entry("M\xC3\xA4rz.txt");             // UTF-8 ä
    utf.flags = ZIP_FLAG_UTF8;
    ZipEntrySpec foreign = Entry("\xC5\x91z.txt");           // UTF-8 ő, not in 1252
    foreign.flags = ZIP_FLAG_UTF8;
    ZipEntrySpec utfAsOem = Entry("M\xC3\xA4rz.txt");        // same bytes, no flag
    ZipEntrySpec euro = Entry("\xE2\x82\xAC.txt");           // UTF-8 €
    euro.flags = ZIP_FLAG_UTF8;
    CatalogRun run = ReadImage(BuildZipImage({oem, utf, foreign, utfAsOem, euro}, WithStub()));
    ASSERT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, 5);
    EXPECT_EQ(run.entries[0].name, "M\xE4rz.txt");
    EXPECT_EQ(run.entries[1].name, "M\xE4rz.txt");
    EXPECT_EQ(run.entries[2].name, "?z.txt");
    EXPECT_EQ(run.entries[3].name, "M?\xF1rz.txt");   // CP850 0xC3 is a box corner, 0xA4 is ñ
    EXPECT_EQ(run.entries[4].name, "\x80.txt");
}

TEST(ReadCatalog, NameWithZeroByteEndsThere) {
    CatalogRun run = ReadImage(BuildZipImage({Entry(std::string("ab\0cd", 5)), Entry("e")}, WithStub()));
    ASSERT_EQ(run.status, SFX_OK);
    EXPECT_EQ(run.entries[0].name, "ab");
    EXPECT_EQ(run.entries[1].name, "e");
}

TEST(ReadCatalog, EmptyDirectoryIsReported) {
    EXPECT_EQ(ReadImage(BuildZipImage({}, WithStub())).status, SFX_ERR_EMPTY);
    // Entries present, but the directory offset points at the end record.
    std::string image = BuildZipImage({Entry("a")}, WithStub());
    ZipImageOptions o = WithStub();
    o.hasCentralOffset = true;
    o.centralOffset = uint32_t(image.size() - 22);
    CatalogRun run = ReadImage(BuildZipImage({Entry("a")}, o));
    EXPECT_EQ(run.status, SFX_ERR_EMPTY);
    EXPECT_EQ(run.count, 0);
}

TEST(ReadCatalog, ForeignRecordIsBadData) {
    ZipImageOptions o = WithStub();
    o.hasCentralOffset = true;
    o.centralOffset = uint32_t(o.prefix.size());   // the first local header
    CatalogRun run = ReadImage(BuildZipImage({Entry("a", "data")}, o));
    EXPECT_EQ(run.status, SFX_ERR_BAD_DATA);
    EXPECT_EQ(run.count, 0);
    o.centralOffset = 0;   // the executable image
    EXPECT_EQ(ReadImage(BuildZipImage({Entry("a", "data")}, o)).status, SFX_ERR_BAD_DATA);
    // A foreign record after good ones: those stay listed until freed.
    std::string image = BuildZipImage({Entry("a"), Entry("b"), Entry("c")}, WithStub());
    image[CentralHeaderAt(image, 2) + 2] = 7;
    run = ReadImage(image);
    EXPECT_EQ(run.status, SFX_ERR_BAD_DATA);
    EXPECT_EQ(run.count, 2);
}

TEST(ReadCatalog, CorruptLengthsRunningPastTheEndFail) {
    std::string good = BuildZipImage({Entry("a", "1"), Entry("b", "2")}, WithStub());
    // Name, extra and comment lengths of the last header that skip over the
    // end record and out of the file.
    // A name cut short fails its entry; a skip past the end fails at the
    // next signature, after the entry itself was listed.
    struct Case { size_t field; uint16_t listed; };
    for (Case k : {Case{28, 1}, Case{30, 2}, Case{32, 2}}) {
        std::string image = good;
        Put16At(image, CentralHeaderAt(image, 1) + k.field, 60000);
        CatalogRun run = ReadImage(image);
        EXPECT_EQ(run.status, SFX_ERR_IO) << k.field;
        EXPECT_EQ(run.count, k.listed) << k.field;
    }
    // A name length that lands inside the end record: never SFX_OK.
    std::string image = good;
    Put16At(image, CentralHeaderAt(image, 1) + 28, 3);
    EXPECT_NE(ReadImage(image).status, SFX_OK);
}

TEST(ReadCatalog, RecordCutOffByTheEndOfTheFileFails) {
    // The directory offset points into the archive comment, which holds a
    // central header signature and only part of a header.
    std::string bait = std::string("PK\x01\x02", 4) + std::string(20, '\x01');
    std::string probe = BuildZipImage({Entry("a")}, WithStub());
    ZipImageOptions o = WithStub();
    o.archiveComment = bait;
    o.hasCentralOffset = true;
    o.centralOffset = uint32_t(probe.size());   // where the comment starts
    CatalogRun run = ReadImage(BuildZipImage({Entry("a")}, o));
    EXPECT_EQ(run.openStatus, SFX_ERR_IO);   // the configuration reader meets it first
    // The same with the name cut off: header whole, name running out.
    std::string header = std::string("PK\x01\x02", 4) + std::string(42, '\0');
    header[4 + 24] = 50;   // name length 50, only 3 bytes follow
    o.archiveComment = header + "abc";
    run = ReadImage(BuildZipImage({Entry("a")}, o));
    EXPECT_EQ(run.openStatus, SFX_ERR_IO);
}

TEST(ReadCatalog, RefusesMoreEntriesThanTheCountHolds) {
    std::vector<ZipEntrySpec> entries(65536);
    for (size_t i = 0; i < entries.size(); ++i) entries[i].name = std::to_string(i);
    std::string image = BuildZipImage(entries, WithStub());
    CatalogRun over = ReadImage(image);
    EXPECT_EQ(over.status, SFX_ERR_BAD_DATA);
    // The same directory entered at its second header: 65535 entries.
    uint32_t second = uint32_t(CentralHeaderAt(image, 1));
    for (int i = 0; i < 4; ++i) image[image.size() - 6 + i] = char(second >> (8 * i));
    CatalogRun full = ReadImage(image);
    EXPECT_EQ(full.status, SFX_OK);
    EXPECT_EQ(full.count, 65535);
    EXPECT_EQ(full.entries.front().name, "1");
    EXPECT_EQ(full.entries.back().name, "65535");
}

TEST(ReadEntryName, KeepsAtMostMaximumAndEndsBehindTheWholeName) {
    TempDir dir;
    std::string path = dir.File("names.bin");
    WriteFileBytes(path, std::string("M\x84rz-und-mehrNEXT") + std::string(40, '\0') + std::string("PK\x05\x06", 4) +
                             std::string(18, '\0'));
    OpenArchive(path.c_str());
    ASSERT_EQ(Archive.status, SFX_OK);
    FileSeek(Archive.archiveHandle, 0, 0);
    char name[256];
    memset(name, 'x', sizeof name);
    EXPECT_EQ(ReadEntryName(13, name, 5, 0), SFX_OK);
    EXPECT_STREQ(name, "M\xE4rz-");
    EXPECT_EQ(FileTell(Archive.archiveHandle), 13);
    EXPECT_EQ(ReadEntryName(0, name, 255, 0), SFX_OK);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(FileTell(Archive.archiveHandle), 13);
    EXPECT_EQ(SkipBytes(4), SFX_OK);
    EXPECT_EQ(FileTell(Archive.archiveHandle), 17);
    FileSeek(Archive.archiveHandle, -3, 2);
    EXPECT_EQ(ReadEntryName(10, name, 255, ZIP_FLAG_UTF8), SFX_ERR_IO);
    CloseArchive();
}

}  // namespace
