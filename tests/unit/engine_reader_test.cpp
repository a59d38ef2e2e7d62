// The entry reader (NextByte) on its own, and the entries that run through
// it: deflated ones and encrypted ones across the chunk boundaries.
#include "engine_test_util.h"
#include "engine/input_reader.h"
#include "support/file_layer.h"
#include <string.h>

namespace {

struct ReaderTest : ::testing::Test {
    TempDir dir;
    uint8_t buffer[INPUT_BUFFER_SIZE];
    void Open(const std::string& bytes, uint32_t size) {
        WriteFileBytes(dir.File("data"), bytes);
        Archive.archiveHandle = FileOpen(dir.File("data").c_str(), "rb");
        ASSERT_NE(Archive.archiveHandle, FILE_NONE);
        Archive.status = SFX_OK;
        Archive.input.buffer = buffer;
        Archive.input.encrypted = 0;
        ResetInputReader(size);
    }
    void TearDown() override {
        if (Archive.archiveHandle != FILE_NONE) FileClose(Archive.archiveHandle);
        Archive.archiveHandle = FILE_NONE;
        Archive.input.buffer = nullptr;
    }
};

TEST_F(ReaderTest, HandsOutExactlyTheEntryBytesThenOnlyMinusOne) {
    std::string data = Pattern(10000, 3);
    Open(data + "trailing bytes of the next record", 10000);
    std::string got;
    for (int c; (c = NextByte()) != -1;) got.push_back(char(c));
    EXPECT_EQ(got, data);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(NextByte(), -1);
    EXPECT_EQ(Archive.status, SFX_OK) << "the end of the data is no error";
    EXPECT_EQ(Archive.input.failed, 0u);
}

TEST_F(ReaderTest, DataCutShortFailsOnceAndForAll) {
    Open(Pattern(5000, 4), 9000);
    int count = 0;
    while (NextByte() != -1) ++count;
    EXPECT_EQ(count, 4096) << "the first chunk is whole; the second read comes up short";
    EXPECT_EQ(Archive.status, SFX_ERR_IO);
    EXPECT_EQ(Archive.input.failed, 1u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(NextByte(), -1);
}

TEST_F(ReaderTest, EmptyEntryGivesMinusOneWithoutReading) {
    Open("", 0);
    EXPECT_EQ(NextByte(), -1);
    EXPECT_EQ(NextByte(), -1);
    EXPECT_EQ(Archive.status, SFX_OK);
}

struct CodedEntryTest : ::testing::Test {
    TempDir dir;
    std::string out;
    void SetUp() override {
        ResetTestFrontEnd();
        out = dir.File("out");
    }
};

TEST_F(CodedEntryTest, DeflatedEntriesOfManyShapesArriveWhole) {
    std::string text;
    while (text.size() < 200000) text += "Der Inhalt wiederholt sich, damit DEFLATE etwas zu tun hat. ";
    std::vector<ZipEntrySpec> entries;
    const std::pair<const char*, std::string> cases[] = {
        {"empty.txt", ""}, {"one.txt", "1"}, {"text.txt", text}, {"random.bin", Pattern(100000, 5)},
        {"window.bin", Pattern(32768, 6)},
    };
    for (const auto& c : cases) {
        ZipEntrySpec e = Stored(c.first, c.second);
        e.method = 8;
        entries.push_back(e);
    }
    ASSERT_EQ(RunImage(dir, Image(entries), out), SFX_OK);
    for (const auto& c : cases) {
        EXPECT_EQ(ReadFileBytes(out + "/" + c.first), c.second) << c.first;
        EXPECT_EQ(ModTime(out + "/" + c.first), DosToTime(entries[0].dosDate, entries[0].dosTime)) << c.first;
    }
}

TEST_F(CodedEntryTest, EncryptedDeflatedEntriesAcrossEveryChunkBoundary) {
    // Level 0 gives stored blocks: compressed size = data + 5, plus the 12
    // header bytes. These sizes put the end of the data just before, on and
    // after the first and second reader chunk.
    std::vector<ZipEntrySpec> entries;
    for (size_t size : {1u, 4079u, 4080u, 4081u, 4090u, 8175u, 8176u, 8177u, 30000u}) {
        ZipEntrySpec e = Stored("enc" + std::to_string(size) + ".bin", Pattern(size, uint32_t(size)));
        e.method = 8;
        e.level = 0;
        e.password = "secret";
        entries.push_back(e);
    }
    ZipEntrySpec text = Stored("text.txt", std::string(50000, 'a') + Pattern(20000, 9));
    text.method = 8;
    text.password = "secret";
    entries.push_back(text);
    Front.password = AnswerSecret;
    ASSERT_EQ(RunImage(dir, Image(entries), out), SFX_OK);
    EXPECT_EQ(Front.passwordCalls, 1);
    for (const ZipEntrySpec& e : entries) EXPECT_EQ(ReadFileBytes(out + "/" + e.name), e.data) << e.name;
}

TEST_F(CodedEntryTest, DeflatedDataCutByTheEndOfTheFileIsAnIoError) {
    ZipEntrySpec e = Stored("cut.bin", Pattern(300000, 10));
    e.method = 8;
    e.level = 0;
    e.hasPayload = true;
    std::string whole = RawDeflate(e.data, 0);
    e.payload = whole.substr(0, 70000);   // the rest is missing from the file
    e.hasCompressedSize = true;
    e.compressedSize = uint32_t(whole.size());
    RunImage(dir, Image({Stored("z.txt", "z"), e}), out);
    ASSERT_EQ(Front.entryStatuses.size(), 2u);
    EXPECT_EQ(Front.entryStatuses[1], SFX_ERR_IO);
    EXPECT_FALSE(Exists(out + "/cut.bin"));
}

TEST_F(CodedEntryTest, WrongPasswordThenRightOneUnlocksAndDecodes) {
    ZipEntrySpec e = Stored("d.txt", std::string(20000, 'q'));
    e.method = 8;
    e.password = "secret";
    Front.password = [](char* pw, const char*) {
        strcpy(pw, Front.passwordCalls == 1 ? "wrong" : "secret");
        return 1;
    };
    ASSERT_EQ(RunImage(dir, Image({e}), out), SFX_OK);
    EXPECT_EQ(Front.passwordCalls, 2);
    EXPECT_EQ(ReadFileBytes(out + "/d.txt"), e.data);
}

}  // namespace
