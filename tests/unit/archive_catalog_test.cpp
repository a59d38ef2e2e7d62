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
    uint64_t localHeaderOffset;
    uint64_t compressedSize;
    uint64_t uncompressedSize;
};

struct CatalogRun {
    SfxStatus openStatus = 0xFFFF;
    SfxStatus status = 0xFFFF;
    uint32_t count = 0;
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
        Catalog& catalog = Archive.catalog;
        run.status = catalog.status;
        run.count = catalog.count;
        while (const CatalogEntry* e = NextCatalogEntry(&catalog)) {
            EXPECT_EQ(strlen(e->name), e->nameLength);
            run.entries.push_back({e->name, e->header, e->folder, e->localHeaderOffset, e->compressedSize,
                                   e->uncompressedSize});
        }
        EXPECT_EQ(run.entries.size(), catalog.count);
    }
    CloseArchive();
    EXPECT_EQ(Archive.catalog.directory, nullptr);
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

TEST(ReadCatalog, LongestNamesAreKeptWholeAndTheNextRecordStillRead) {
    std::string longName = std::string(250, 'n') + "ABCDE" + std::string(65535 - 255, 'z');
    ZipEntrySpec big = Entry(longName, "x");
    big.comment = "COMMENT";
    std::string oem(65535, '\xDB');   // a full block in CP850: three bytes of UTF-8 each
    std::string wide;
    for (int i = 0; i < 65535; ++i) wide += "\xE2\x96\x88";
    CatalogRun run = ReadImage(BuildZipImage({big, Entry(oem), Entry("next.txt", "y")}, WithStub()));
    ASSERT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, 3u);
    EXPECT_EQ(run.entries[0].name, longName);
    EXPECT_EQ(run.entries[1].name, wide);
    EXPECT_EQ(run.entries[2].name, "next.txt");
}

// Names as their archive means them: bit 11 says UTF-8; else an Info-ZIP
// Unicode path field written for this very name gives it; else a name made
// on Unix or macOS that is valid UTF-8 is UTF-8; else the stored bytes are
// CP850. Nothing is guessed: bad UTF-8 keeps '?' where it is broken, which
// no name may hold, and so does a zero byte.
TEST(ReadCatalog, NamesAsTheirArchiveMeansThem) {
    std::vector<ZipEntrySpec> e;
    e.push_back(Entry("M\x84rz.txt"));                        // CP850 ä
    e.push_back(Entry("\xCE\xA9mega \xE6\x97\xA5\xE6\x9C\xAC.txt"));
    e.back().flags = ZIP_FLAG_UTF8;
    e.push_back(Entry("M\xC3\xA4rz.txt"));                    // UTF-8 bytes, no flag, from MS-DOS
    e.push_back(Entry("M\xC3\xA4rz.txt"));                    // the same from Unix
    e.back().versionMadeBy = 0x031E;
    e.push_back(Entry("Gr\x94\xE1" "e.txt"));                 // from macOS, not UTF-8: CP850
    e.back().versionMadeBy = 0x1314;
    e.push_back(Entry("a\xC0\xAF" "b"));                      // overlong, flagged
    e.back().flags = ZIP_FLAG_UTF8;
    e.push_back(Entry(std::string("ab\0cd", 5)));
    // The Unicode path field: version 1, CRC-32 of the stored name, the name.
    std::string unicode = "\xCE\xA9mega_Info.txt";
    auto field = [&](uint32_t crc) {
        std::string data = std::string(1, '\x01');
        for (int i = 0; i < 4; ++i) data += char(crc >> (8 * i));
        data += unicode;
        std::string f = std::string("\x75\x70", 2);
        f += char(data.size());
        f += '\0';
        return f + data;
    };
    e.push_back(Entry("x_plain.txt"));
    e.back().extra = field(ZipCrc32("x_plain.txt"));
    e.push_back(Entry("renamed.txt"));                       // the field of an older name
    e.back().extra = field(ZipCrc32("x_plain.txt"));
    CatalogRun run = ReadImage(BuildZipImage(e, WithStub()));
    ASSERT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, e.size());
    EXPECT_EQ(run.entries[0].name, "M\xC3\xA4rz.txt");
    EXPECT_EQ(run.entries[1].name, "\xCE\xA9mega \xE6\x97\xA5\xE6\x9C\xAC.txt");
    EXPECT_EQ(run.entries[2].name, "M\xE2\x94\x9C\xC3\xB1rz.txt");   // CP850: box corner and ñ
    EXPECT_EQ(run.entries[3].name, "M\xC3\xA4rz.txt");
    EXPECT_EQ(run.entries[4].name, "Gr\xC3\xB6\xC3\x9F" "e.txt");
    EXPECT_EQ(run.entries[5].name, "a??b");
    EXPECT_EQ(run.entries[6].name, "ab?cd");
    EXPECT_EQ(run.entries[7].name, unicode);
    EXPECT_EQ(run.entries[8].name, "renamed.txt");
}

TEST(ReadCatalog, EmptyDirectoryIsReported) {
    EXPECT_EQ(ReadImage(BuildZipImage({}, WithStub())).status, SFX_ERR_EMPTY);
}

// The directory is read as the end record describes it: records that do not
// fill it exactly, or a directory offset that does not match where it stands
// (unless the whole archive is off by the same amount), are damage.
TEST(ReadCatalog, ForeignOrMisplacedRecordIsBadData) {
    ZipImageOptions o = WithStub();
    o.hasCentralOffset = true;
    o.centralOffset = uint32_t(o.prefix.size());   // the first local header
    CatalogRun run = ReadImage(BuildZipImage({Entry("a", "data")}, o));
    EXPECT_EQ(run.status, SFX_ERR_BAD_DATA);
    EXPECT_EQ(run.count, 0u);
    o.centralOffset = 0;   // the executable image
    EXPECT_EQ(ReadImage(BuildZipImage({Entry("a", "data")}, o)).status, SFX_ERR_BAD_DATA);
    // Entries present, but the directory offset points at the end record.
    std::string image = BuildZipImage({Entry("a")}, WithStub());
    o.centralOffset = uint32_t(image.size() - 22);
    EXPECT_EQ(ReadImage(BuildZipImage({Entry("a")}, o)).status, SFX_ERR_BAD_DATA);
    // A foreign record after good ones: nothing of the directory is used.
    image = BuildZipImage({Entry("a"), Entry("b"), Entry("c")}, WithStub());
    image[CentralHeaderAt(image, 2) + 2] = 7;
    run = ReadImage(image);
    EXPECT_EQ(run.status, SFX_ERR_BAD_DATA);
    EXPECT_EQ(run.count, 0u);
}

TEST(ReadCatalog, LengthsRunningPastTheDirectoryFail) {
    std::string good = BuildZipImage({Entry("a", "1"), Entry("b", "2")}, WithStub());
    // Name, extra and comment lengths of the last header that run over the
    // end record and out of the file.
    for (size_t field : {28, 30, 32}) {
        std::string image = good;
        Put16At(image, CentralHeaderAt(image, 1) + field, 60000);
        CatalogRun run = ReadImage(image);
        EXPECT_EQ(run.status, SFX_ERR_BAD_DATA) << field;
        EXPECT_EQ(run.count, 0u) << field;
    }
    // A name length that lands inside the end record.
    std::string image = good;
    Put16At(image, CentralHeaderAt(image, 1) + 28, 3);
    EXPECT_EQ(ReadImage(image).status, SFX_ERR_BAD_DATA);
}

// A directory that claims more than the file holds is refused before
// anything is allocated for it: its size, or its count of entries.
TEST(ReadCatalog, DirectoryClaimingMoreThanTheFileHoldsIsRefused) {
    std::string good = BuildZipImage({Entry("a", "1"), Entry("b", "2")}, WithStub());
    size_t end = good.size() - 22;
    std::string image = good;
    for (int i = 0; i < 4; ++i) image[end + 12 + i] = char(0xF0);   // size 0xF0F0F0F0
    EXPECT_EQ(ReadImage(image).status, SFX_ERR_BAD_DATA);
    image = good;
    Put16At(image, end + 10, 60000);   // 60000 entries in 2 records
    EXPECT_EQ(ReadImage(image).status, SFX_ERR_BAD_DATA);
    // A size off by a few bytes either way no longer meets the records.
    for (int delta : {-10, 10}) {
        image = good;
        uint32_t size = uint32_t(good[end + 12] & 0xFF) + delta;
        image[end + 12] = char(size);
        EXPECT_EQ(ReadImage(image).status, SFX_ERR_BAD_DATA) << delta;
    }
}

// Zip64: the end record's all-ones fields come from the Zip64 end record,
// and each header field that is all ones from the entry's Zip64 extra field,
// where only those fields stand, in the order the format gives them.
TEST(ReadCatalog, Zip64RecordsGiveTheRealSizesAndOffsets) {
    std::vector<ZipEntrySpec> entries;
    for (uint8_t fields : {7, 1, 2, 4, 5, 6, 3, 0}) {
        ZipEntrySpec e = Entry("z" + std::to_string(fields), std::string(100 + fields, 'q'), 8);
        e.zip64Fields = fields;
        e.extra = std::string("\x55\x54\x01\x00\x07", 5);   // a field behind the Zip64 one
        entries.push_back(e);
    }
    ZipImageOptions o = WithStub();
    CatalogRun plain = ReadImage(BuildZipImage(entries, o));
    o.zip64EndRecord = true;
    std::string image = BuildZipImage(entries, o);
    CatalogRun run = ReadImage(image);
    ASSERT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, entries.size());
    ASSERT_EQ(plain.count, entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(run.entries[i].uncompressedSize, entries[i].data.size()) << i;
        EXPECT_EQ(run.entries[i].compressedSize, plain.entries[i].compressedSize) << i;
        EXPECT_EQ(run.entries[i].localHeaderOffset, plain.entries[i].localHeaderOffset) << i;
        EXPECT_EQ(image.substr(run.entries[i].localHeaderOffset, 4), std::string("PK\x03\x04", 4)) << i;
    }
    // A Zip64 field too short for the fields it must hold is a record that lies.
    entries[3].extra = "";
    entries[3].zip64Fields = 0;
    entries[3].hasLocalOffset = true;
    entries[3].localOffset = 0xFFFFFFFF;
    entries[3].extra = std::string("\x01\x00\x04\x00\x00\x00\x00\x00", 8);
    EXPECT_EQ(ReadImage(BuildZipImage(entries, o)).status, SFX_ERR_BAD_DATA);
}

// An archive simply joined behind a program (no "zip -A"): every offset is
// off by the program's length, which the directory's real place tells.
TEST(ReadCatalog, ArchiveJoinedBehindDataIsReadByTheDifference) {
    std::vector<ZipEntrySpec> entries = {Entry("a.txt", "alpha"), Entry("b.txt", "beta", 8)};
    std::string prefix = MakeStubPrefix("C:\\Ziel", "go.exe", 3000);
    std::string image = prefix + BuildZipImage(entries);
    CatalogRun run = ReadImage(image);
    ASSERT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, 2u);
    EXPECT_EQ(run.entries[0].localHeaderOffset, prefix.size());
    EXPECT_EQ(image.substr(run.entries[1].localHeaderOffset, 4), std::string("PK\x03\x04", 4));
    // The same with Zip64 records, whose offsets are off alike.
    ZipImageOptions o;
    o.zip64EndRecord = true;
    entries[1].zip64Fields = 4;
    run = ReadImage(prefix + BuildZipImage(entries, o));
    ASSERT_EQ(run.status, SFX_OK);
    EXPECT_EQ(run.entries[1].localHeaderOffset, ReadImage(image).entries[1].localHeaderOffset);
    // A difference that does not make the first local header line up.
    entries[0].hasLocalOffset = true;
    entries[0].localOffset = 7;
    EXPECT_EQ(ReadImage(prefix + BuildZipImage(entries)).status, SFX_ERR_BAD_DATA);
}

// Writers without Zip64 records let the 16-bit count wrap; the directory
// itself tells how many entries there are.
TEST(ReadCatalog, MoreEntriesThanASixteenBitCountHolds) {
    std::vector<ZipEntrySpec> entries(65537);
    for (size_t i = 0; i < entries.size(); ++i) entries[i].name = std::to_string(i);
    CatalogRun run = ReadImage(BuildZipImage(entries, WithStub()));
    EXPECT_EQ(run.status, SFX_OK);
    ASSERT_EQ(run.count, 65537u);
    EXPECT_EQ(run.entries.front().name, "0");
    EXPECT_EQ(run.entries.back().name, "65536");
}

}  // namespace
