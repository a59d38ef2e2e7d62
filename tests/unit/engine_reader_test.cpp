// The input layer on its own, and the entries that run through it: deflated
// ones and encrypted ones across the piece boundaries.
#include "engine_test_util.h"
#include "engine/input_reader.h"
#include "support/file_layer.h"
#include <string.h>

namespace {

struct ReaderTest : ::testing::Test {
    TempDir dir;
    void Open(const std::string& bytes, uint64_t size) {
        WriteFileBytes(dir.File("data"), bytes);
        Archive.archiveHandle = FileOpen(dir.File("data").c_str(), "rb");
        ASSERT_NE(Archive.archiveHandle, FILE_NONE);
        Archive.status = SFX_OK;
        StartInput(size);
    }
    // Takes every byte handed over, piece by piece, as a decoder would.
    std::string TakeAll(bool* failed) {
        std::string got;
        *failed = false;
        for (;;) {
            CodecInput& in = EntryInput.codec;
            got.append((const char*)in.next, (size_t)(in.end - in.next));
            in.next = in.end;
            if (in.final) return got;
            if (!ReadInput()) {
                *failed = true;
                return got;
            }
        }
    }
    void TearDown() override {
        if (Archive.archiveHandle != FILE_NONE) FileClose(Archive.archiveHandle);
        Archive.archiveHandle = FILE_NONE;
    }
};

TEST_F(ReaderTest, HandsOverExactlyTheEntryBytesInPiecesAndKeepsWhatIsLeftUntaken) {
    std::string data = Pattern(3 * INPUT_READ_SIZE + 1000, 3);
    Open(data + "trailing bytes of the next record", data.size());
    bool failed = false;
    EXPECT_EQ(TakeAll(&failed), data);
    EXPECT_FALSE(failed);
    EXPECT_EQ(Archive.status, SFX_OK) << "the end of the data is no error";

    // Bytes a decoder leaves untaken come first in the next piece.
    Open(data, data.size());
    ASSERT_TRUE(ReadInput());
    CodecInput& in = EntryInput.codec;
    in.next = in.end - 100;
    ASSERT_TRUE(ReadInput());
    EXPECT_EQ(std::string((const char*)in.next, 100 + INPUT_READ_SIZE), data.substr(INPUT_READ_SIZE - 100, 100 + INPUT_READ_SIZE));
}

TEST_F(ReaderTest, DataCutShortFailsAndADecoderThatKeepsTooMuchIsRefused) {
    Open(Pattern(INPUT_READ_SIZE + 5000, 4), 3 * INPUT_READ_SIZE);
    bool failed = false;
    EXPECT_EQ(TakeAll(&failed).size(), (size_t)INPUT_READ_SIZE) << "the first piece is whole; the second comes up short";
    EXPECT_TRUE(failed);
    EXPECT_EQ(Archive.status, SFX_ERR_IO);

    Open(Pattern(2 * INPUT_READ_SIZE, 5), 2 * INPUT_READ_SIZE);
    ASSERT_TRUE(ReadInput());
    EntryInput.codec.next = EntryInput.codec.end - (CODEC_INPUT_MARGIN + 1);
    EXPECT_FALSE(ReadInput());
    EXPECT_EQ(Archive.status, SFX_ERR_BAD_DATA);
}

TEST_F(ReaderTest, EmptyEntryIsFinalWithoutReading) {
    Open("", 0);
    EXPECT_TRUE(EntryInput.codec.final);
    EXPECT_EQ(EntryInput.codec.next, EntryInput.codec.end);
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
    // Level 0 gives stored blocks: compressed size = data + 5 per block of
    // at most 65535 bytes, plus the 12 header bytes. These sizes put the end
    // of the data just before, on and after the end of the first piece, and
    // into the second.
    std::vector<ZipEntrySpec> entries;
    for (size_t size : {1u, 65518u, 65519u, 65520u, 65530u, 131000u}) {
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
