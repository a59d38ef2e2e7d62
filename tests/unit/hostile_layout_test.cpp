// Hostile archive layouts: local headers outside the file, entries that share
// or overlap their data, central directories that point back into the archive
// or run past its end, and sizes that lie in both directions.
#include "hostile_helpers.h"

namespace {

const std::string VICTIM = "victim.txt";
const std::string PRECIOUS = "the existing file, which no failed entry may touch\n";

std::string Text(size_t size) {
    std::string s;
    for (size_t i = 0; s.size() < size; ++i) s += "line " + std::to_string(i) + " of some compressible text\n";
    s.resize(size);
    return s;
}

class HostileLayout : public HostileArchiveTest {
protected:
    void SeedVictim() { WriteFileBytes(TargetFile(VICTIM), PRECIOUS); }

    // The general promise for a broken entry named VICTIM over an existing
    // file: either the run fails and the existing file is untouched, or the
    // entry came out exactly right. No temporary file stays behind.
    void ExpectFailedOrCorrect(const HostileRun& run, const std::string& data) {
        EXPECT_NOTHING_OUTSIDE(run);
        EXPECT_EQ(TargetFiles(), std::vector<std::string>{VICTIM});
        std::string now = ReadFileBytes(TargetFile(VICTIM));
        if (run.result == SFX_OK)
            EXPECT_EQ(now, data) << "a run that reports success wrote wrong data";
        else
            EXPECT_EQ(now, PRECIOUS) << "status " << run.result << " destroyed the existing file";
    }
};

TEST_F(HostileLayout, LocalHeaderPastTheEndOfTheFileFails) {
    for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
        for (uint32_t offset : {0u, 1u, 0x7FFFFFF0u, 0xFFFFFFF0u}) {
            SCOPED_TRACE("method " + std::to_string(method) + ", offset " + std::to_string(offset));
            ZipEntrySpec e = Entry(VICTIM, Text(3000), method);
            std::string image = Image({e});
            e.hasLocalOffset = true;
            e.localOffset = offset == 0 ? uint32_t(image.size()) : offset == 1 ? uint32_t(image.size() - 10) : offset;
            SeedVictim();
            HostileRun run = Run(Image({e}));
            EXPECT_NE(run.result, SFX_OK);
            ExpectFailedOrCorrect(run, e.data);
        }
    }
}

TEST_F(HostileLayout, EntriesSharingOneLocalHeaderBothExtract) {
    const std::string data = Text(5000);
    ZipEntrySpec first = Entry("first.txt", data, 8);
    std::string image = Image({first});
    ZipEntrySpec second = first;
    second.name = "second.txt";
    second.hasLocalOffset = true;
    second.localOffset = 64 + 514;   // where first's local header starts
    HostileRun run = Run(Image({first, second}));
    EXPECT_NOTHING_OUTSIDE(run);
    EXPECT_EQ(run.result, SFX_OK);
    EXPECT_EQ(ReadFileBytes(TargetFile("first.txt")), data);
    EXPECT_EQ(ReadFileBytes(TargetFile("second.txt")), data);
}

// The second entry's local header points into the middle of the first
// entry's data, so its "header" is whatever bytes stand there.
TEST_F(HostileLayout, LocalHeaderInsideAnotherEntrysDataFailsCleanly) {
    const std::string data = Text(4000);
    for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
        for (uint32_t into : {1u, 30u, 100u, 777u}) {
            SCOPED_TRACE("method " + std::to_string(method) + ", " + std::to_string(into) + " bytes in");
            ZipEntrySpec first = Entry("first.txt", data, method);
            ZipEntrySpec second = Entry(VICTIM, Text(2000), method);
            second.hasLocalOffset = true;
            second.localOffset = 64 + 514 + into;
            SeedVictim();
            unlink(TargetFile("first.txt").c_str());
            HostileRun run = Run(Image({first, second}));
            EXPECT_NOTHING_OUTSIDE(run);
            EXPECT_EQ(ReadFileBytes(TargetFile("first.txt")), data);
            std::string now = ReadFileBytes(TargetFile(VICTIM));
            ASSERT_EQ(Front.entryStatuses.size(), 2u);
            if (Front.entryStatuses[1] == SFX_OK) EXPECT_EQ(now, second.data);
            else EXPECT_EQ(now, PRECIOUS);
            EXPECT_EQ(TargetFiles(), (std::vector<std::string>{"first.txt", VICTIM}));
        }
    }
}

class CentralDirectoryTricks : public HostileLayout {
protected:
    // Two stored entries and an end record; returns the image and the offsets
    // of the central directory and of the end record.
    std::string Base(uint32_t* central, uint32_t* endRecord) {
        std::string image = Image({Entry("one.txt", Text(300)), Entry("two.txt", Text(200))});
        *endRecord = uint32_t(image.size() - 22);
        *central = uint32_t(image[*endRecord + 16] & 0xFF) | uint32_t(image[*endRecord + 17] & 0xFF) << 8 |
                   uint32_t(image[*endRecord + 18] & 0xFF) << 16 | uint32_t(image[*endRecord + 19] & 0xFF) << 24;
        return image;
    }
    static void Put32(std::string& image, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) image[at + i] = char((v >> (8 * i)) & 0xFF);
    }
    static void Put16(std::string& image, size_t at, uint16_t v) {
        image[at] = char(v & 0xFF);
        image[at + 1] = char(v >> 8);
    }
    void ExpectFailsWritingNothing(const std::string& image) {
        HostileRun run = Run(image);
        EXPECT_NOTHING_OUTSIDE(run);
        EXPECT_NE(run.result, SFX_OK);
        EXPECT_EQ(Front.entryDoneCalls, 0);
        EXPECT_TRUE(TargetFiles().empty());
    }
};

// The size still says two entries: a directory that is not where it says.
TEST_F(CentralDirectoryTricks, OffsetAtTheEndRecordIsRefused) {
    uint32_t central, end;
    std::string image = Base(&central, &end);
    Put32(image, end + 16, end);
    HostileRun run = Run(image);
    EXPECT_EQ(run.result, SFX_ERR_BAD_DATA);
    EXPECT_TRUE(TargetFiles().empty());
    EXPECT_NOTHING_OUTSIDE(run);
}

TEST_F(CentralDirectoryTricks, OffsetBackAtALocalHeaderIsRefused) {
    uint32_t central, end;
    std::string image = Base(&central, &end);
    Put32(image, end + 16, 64 + 514);
    ExpectFailsWritingNothing(image);
}

TEST_F(CentralDirectoryTricks, OffsetPastTheEndOfTheFileFails) {
    for (uint32_t offset : {0u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        uint32_t central, end;
        std::string image = Base(&central, &end);
        Put32(image, end + 16, offset == 0 ? uint32_t(image.size() + 5) : offset);
        SCOPED_TRACE(offset);
        ExpectFailsWritingNothing(image);
    }
}

// A comment or name length in the last central header that skips over the
// end record leaves the walk reading past the end of the file, where short
// reads would otherwise repeat the last record forever.
TEST_F(CentralDirectoryTricks, LengthFieldsThatSkipPastTheEndRecordEnd) {
    for (size_t field : {28u, 30u, 32u}) {   // name, extra, comment length in the record
        uint32_t central, end;
        std::string image = Base(&central, &end);
        size_t second = central + 46 + 7;    // "one.txt" is 7 bytes
        ASSERT_EQ(image.substr(second, 4), std::string("PK\1\2", 4));
        Put16(image, second + field, 60000);
        SCOPED_TRACE(field);
        ExpectFailsWritingNothing(image);
    }
}

// The first central header claims a name that swallows the second header;
// whatever follows is garbage, never a repeat of what was read.
TEST_F(CentralDirectoryTricks, LengthFieldsThatLandInsideARecordAreRefused) {
    uint32_t central, end;
    std::string image = Base(&central, &end);
    Put16(image, central + 28, 7 + 10);
    ExpectFailsWritingNothing(image);
}

// A directory that claims more than the file can hold (its size, its count
// of entries, or the same through Zip64 records) is refused before anything
// is allocated for it or written.
TEST_F(CentralDirectoryTricks, DirectoryClaimingMoreThanTheFileHoldsIsRefused) {
    uint32_t central, end;
    std::string image = Base(&central, &end);
    std::string big = image;
    Put32(big, end + 12, 0x7FFFFFF0);
    ExpectFailsWritingNothing(big);
    big = image;
    Put16(big, end + 10, 0xFFFE);
    ExpectFailsWritingNothing(big);
    ZipImageOptions o;
    o.prefix = MakeStubPrefix();
    o.zip64EndRecord = true;
    for (size_t field : {32u, 40u, 48u}) {   // entry count, size, offset in the Zip64 end record
        std::string lie = BuildZipImage({Entry("one.txt", Text(300))}, o);
        size_t record = lie.size() - 22 - 20 - 56;
        ASSERT_EQ(lie.substr(record, 4), std::string("PK\6\6", 4));
        for (int i = 0; i < 8; ++i) lie[record + field + i] = char(0x7F);
        SCOPED_TRACE(field);
        ExpectFailsWritingNothing(lie);
    }
}

// A Zip64 extra field whose sizes or offset lie: the entry fails or comes
// out right; the existing file stays as it was.
TEST_F(HostileLayout, Zip64FieldsThatLieFailOrExtractCorrectly) {
    for (uint64_t lie : {0x100000000ull, 0xFFFFFFFFFFFFFFFFull, 0x7FFFFFFFFFFFFFFFull, 5ull}) {
        for (int field = 0; field < 3; ++field) {
            ZipEntrySpec e = Entry(VICTIM, Text(3000), 8);
            e.zip64Fields = 7;
            std::string image = Image({e});
            // The Zip64 field's values follow its 4-byte head behind the name.
            size_t at = image.find(std::string("\x01\x00\x18\x00", 4), image.rfind(std::string("PK\1\2", 4)));
            ASSERT_NE(at, std::string::npos);
            for (int i = 0; i < 8; ++i) image[at + 4 + 8 * field + i] = char(lie >> (8 * i));
            SeedVictim();
            SCOPED_TRACE(std::to_string(field) + ": " + std::to_string(lie));
            ExpectFailedOrCorrect(Run(image), e.data);
        }
    }
}

// Sizes that lie. For both methods: a compressed size too large or too small
// fails or extracts correctly; an uncompressed size too small ends with
// SFX_ERR_BAD_DATA before more than the declared bytes are written; one too
// large is data that ends early, SFX_ERR_BAD_DATA as well.
struct SizeLie {
    const char* what;
    int64_t compressedDelta;     // added to the real compressed size
    int64_t uncompressedDelta;   // added to the real uncompressed size
    bool mustBeBadData;
};

TEST_F(HostileLayout, LyingSizesFailOrExtractCorrectlyAndNeverWriteBeyondTheDeclaredSize) {
    const std::string data = Text(70000);
    const SizeLie lies[] = {
        {"compressed +1", 1, 0, false},         {"compressed +5000", 5000, 0, false},
        {"compressed huge", 0x7FFF0000, 0, false}, {"compressed -1", -1, 0, false},
        {"compressed half", -1000000, 0, false},   {"compressed 0", -0x7FFFFFFF, 0, false},
        {"uncompressed -1", 0, -1, true},       {"uncompressed -40000", 0, -40000, true},
        {"uncompressed 1", 0, 1 - 70000, true}, {"uncompressed +1", 0, 1, true},
        {"uncompressed x2", 0, 70000, true},    {"uncompressed huge", 0, 0x7FFF0000, true},
    };
    for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
        const uint32_t realCompressed = method == 8 ? uint32_t(RawDeflate(data).size()) : uint32_t(data.size());
        for (const SizeLie& lie : lies) {
            SCOPED_TRACE(std::string(lie.what) + (method == 8 ? ", deflated" : ", stored"));
            ZipEntrySpec e = Entry(VICTIM, data, method);
            if (lie.compressedDelta) {
                e.hasCompressedSize = true;
                int64_t c = int64_t(realCompressed) + lie.compressedDelta;
                e.compressedSize = uint32_t(c < 0 ? realCompressed / 2 : c);
                if (lie.compressedDelta == -0x7FFFFFFF) e.compressedSize = 0;
            }
            uint32_t declared = uint32_t(data.size());
            if (lie.uncompressedDelta) {
                e.hasUncompressedSize = true;
                declared = e.uncompressedSize = uint32_t(int64_t(data.size()) + lie.uncompressedDelta);
            }
            SeedVictim();
            HostileRun run = Run(Image({e}));
            ExpectFailedOrCorrect(run, data);
            EXPECT_LE(run.mostReported, declared) << "written beyond the declared size";
            if (lie.mustBeBadData) {
                EXPECT_EQ(run.result, SFX_ERR_BAD_DATA);
            }
        }
    }
}

// Highly compressed data within its declared size is extracted; the same
// stream declared smaller than it inflates to is cut off at the declared size.
TEST_F(HostileLayout, DeflateBombWithinItsDeclaredSizeExtracts) {
    const std::string zeros(16u << 20, '\0');
    HostileRun run = Run(Image({Entry("bomb.bin", zeros, 8)}));
    EXPECT_NOTHING_OUTSIDE(run);
    EXPECT_EQ(run.result, SFX_OK);
    EXPECT_TRUE(ReadFileBytes(TargetFile("bomb.bin")) == zeros);
}

TEST_F(HostileLayout, DeflateBombBeyondItsDeclaredSizeIsCutOff) {
    ZipEntrySpec e = Entry(VICTIM, std::string(16u << 20, '\0'), 8);
    e.hasUncompressedSize = true;
    e.uncompressedSize = 65536;
    SeedVictim();
    HostileRun run = Run(Image({e}));
    EXPECT_EQ(run.result, SFX_ERR_BAD_DATA);
    EXPECT_LE(run.mostReported, 65536u);
    ExpectFailedOrCorrect(run, e.data);
}

// Many entries share one small bomb: each is bounded by its own declared size.
TEST_F(HostileLayout, ManyEntriesSharingOneBombAreEachBounded) {
    std::vector<ZipEntrySpec> entries;
    ZipEntrySpec first = Entry("bomb0.bin", std::string(1u << 20, 'z'), 8);
    first.hasUncompressedSize = true;
    first.uncompressedSize = 4096;
    entries.push_back(first);
    for (int i = 1; i < 20; ++i) {
        ZipEntrySpec e = first;
        e.name = "bomb" + std::to_string(i) + ".bin";
        e.hasLocalOffset = true;
        e.localOffset = 64 + 514;
        entries.push_back(e);
    }
    HostileRun run = Run(Image(entries));
    EXPECT_NOTHING_OUTSIDE(run);
    EXPECT_EQ(run.result, SFX_ERR_BAD_DATA);
    EXPECT_EQ(Front.entryStatuses, std::vector<SfxStatus>(20, SFX_ERR_BAD_DATA));
    EXPECT_LE(run.mostReported, 4096u);
    EXPECT_TRUE(TargetFiles().empty());
}

}  // namespace
