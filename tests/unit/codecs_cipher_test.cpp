// Traditional decryption and the password check: key schedule, chunked
// decryption, the check byte rules and the prompting across entries.
#include <gtest/gtest.h>
#include <deque>
#include <string>
#include "archive/archive_state.h"
#include "codecs/cipher.h"
#include "engine/input_reader.h"
#include "engine/unlock_entry.h"
#include "support/file_layer.h"
#include "support/zip_writer.h"

namespace {

std::deque<std::string>& Answers() {
    static std::deque<std::string> answers;
    return answers;
}
int& PromptCount() {
    static int count = 0;
    return count;
}
std::string& LastShownName() {
    static std::string name;
    return name;
}
const char* const CANCEL = "\x01" "cancel";

// Scripted password prompt: takes the next answer, or cancels.
int ScriptedPassword(char* password, const char* entryName) {
    ++PromptCount();
    LastShownName() = entryName;
    if (Answers().empty() || Answers().front() == CANCEL) {
        if (!Answers().empty()) Answers().pop_front();
        return 0;
    }
    std::string answer = Answers().front();
    Answers().pop_front();
    snprintf(password, PASSWORD_SIZE, "%s", answer.c_str());
    return 1;
}

// One encrypted entry on disk, with the reader set up on its data as the
// entry extraction does before the password check.
struct EncryptedEntry {
    TempDir dir;
    std::string plain;
    EncryptedEntry(const std::string& data, const std::string& password, uint32_t crc, uint16_t flags = 1,
                   uint16_t dosTime = 0x6C21, bool checkFromTime = false) {
        plain = data;
        uint8_t check = checkFromTime ? uint8_t(dosTime >> 8) : uint8_t(crc >> 24);
        std::string stored = ZipEncrypt(data, password, check, 7);
        WriteFileBytes(dir.File("entry.bin"), stored);
        Archive.archiveHandle = FileOpen(dir.File("entry.bin").c_str(), "rb");
        Archive.entry = CatalogEntry();
        Archive.entry.header.flags = flags;
        Archive.entry.header.dosTime = dosTime;
        Archive.entry.header.crc32 = crc;
        Archive.entry.compressedSize = (uint32_t)stored.size();
        StartInput(stored.size());
        EXPECT_TRUE(ReadInput());
    }
    ~EncryptedEntry() {
        FileClose(Archive.archiveHandle);
        Archive.archiveHandle = FILE_NONE;
    }
    // The rest of the entry through the input layer, decrypted as it comes.
    std::string ReadRest() {
        std::string out;
        for (;;) {
            CodecInput& in = EntryInput.codec;
            out.append((const char*)in.next, (size_t)(in.end - in.next));
            in.next = in.end;
            if (in.final || !ReadInput()) return out;
        }
    }
};

void StartRun() {
    Archive.password[0] = 0;
    Archive.passwordFn = ScriptedPassword;
    Answers().clear();
    PromptCount() = 0;
}

}  // namespace

TEST(Cipher, DecryptingInChunksOfAnySizeEqualsOnePieceAndUndoesEncryption) {
    std::string plain;
    for (int i = 0; i < 3000; ++i) plain.push_back(char(i * 7 + i / 13));
    std::string stored = ZipEncrypt(plain, "Passwort", 0x42, 3);
    ZipCryptoKeys keys;
    ZipCryptoStart(&keys, "Passwort");
    std::string whole = stored;
    ZipCryptoDecrypt(&keys, (uint8_t*)&whole[0], (uint32_t)whole.size());
    ASSERT_EQ(whole.substr(12), plain);
    EXPECT_EQ((uint8_t)whole[11], 0x42);
    for (size_t chunk = 1; chunk <= 64; ++chunk) {
        ZipCryptoStart(&keys, "Passwort");
        std::string pieces = stored;
        for (size_t pos = 0; pos < pieces.size(); pos += chunk)
            ZipCryptoDecrypt(&keys, (uint8_t*)&pieces[pos], (uint32_t)std::min(chunk, pieces.size() - pos));
        ASSERT_EQ(pieces, whole) << "chunk " << chunk;
    }
    // The builder's direction gives back what the writer of the tests wrote.
    ZipCryptoStart(&keys, "Passwort");
    std::string again = whole;
    ZipCryptoEncrypt(&keys, (uint8_t*)&again[0], (uint32_t)again.size());
    EXPECT_EQ(again, stored);
}

TEST(Cipher, CheckByteFromTheTimeCountsOnlyWithBit3) {
    const uint32_t crc = 0xAB000000u | 0x1234;
    const uint16_t time = 0x7E21;   // high byte 0x7E differs from the CRC's 0xAB
    {
        EncryptedEntry e("data", "pw", crc, 1 | 8, time, true);
        StartRun();
        Answers() = {"pw", CANCEL};
        EXPECT_TRUE(UnlockEntry("a.txt"));
        EXPECT_EQ(PromptCount(), 1);
        EXPECT_EQ(e.ReadRest(), "data");
    }
    {
        // Without bit 3 the time byte is no match: the right password is
        // refused and the prompt comes back until cancelled.
        EncryptedEntry e("data", "pw", crc, 1, time, true);
        StartRun();
        Answers() = {"pw", "pw", CANCEL};
        EXPECT_FALSE(UnlockEntry("a.txt"));
        EXPECT_EQ(PromptCount(), 3);
    }
    {
        // With bit 3 the CRC byte is still accepted.
        EncryptedEntry e("data", "pw", crc, 1 | 8, time, false);
        StartRun();
        Answers() = {"pw"};
        EXPECT_TRUE(UnlockEntry("a.txt"));
    }
}

TEST(Cipher, PasswordIsRememberedAcrossEntriesAndAskedAgainWhenItFails) {
    StartRun();
    {
        EncryptedEntry e("first entry", "geheim", 0xC1000000u);
        Answers() = {"geheim"};
        ASSERT_TRUE(UnlockEntry("dir/first.txt"));
        EXPECT_EQ(PromptCount(), 1);
        EXPECT_EQ(LastShownName(), "dir\\first.txt");
        EXPECT_EQ(e.ReadRest(), "first entry");
    }
    {
        EncryptedEntry e("second entry", "geheim", 0xC2000000u);
        ASSERT_TRUE(UnlockEntry("second.txt"));
        EXPECT_EQ(PromptCount(), 1) << "the same password must not prompt again";
        EXPECT_EQ(e.ReadRest(), "second entry");
    }
    {
        EncryptedEntry e("third entry", "anders", 0xC3000000u);
        Answers() = {"anders"};
        ASSERT_TRUE(UnlockEntry("third.txt"));
        EXPECT_EQ(PromptCount(), 2) << "the remembered password fails, one prompt";
        EXPECT_EQ(e.ReadRest(), "third entry");
    }
    {
        // An empty answer after a failure prompts again at once.
        EncryptedEntry e("fourth", "viertes", 0xC4000000u);
        Answers() = {"", "", "viertes"};
        ASSERT_TRUE(UnlockEntry("fourth.txt"));
        EXPECT_EQ(PromptCount(), 5);
    }
    {
        EncryptedEntry e("fifth", "fuenftes", 0xC5000000u);
        Answers() = {"falsch", CANCEL};
        EXPECT_FALSE(UnlockEntry("fifth.txt"));
        EXPECT_EQ(PromptCount(), 7);
    }
}

TEST(Cipher, FirstPromptIsTestedEvenWhenEmptyAndCancelEndsIt) {
    {
        // The first answer, empty, is tested: it is the right one here.
        StartRun();
        EncryptedEntry e("leer", "", 0xD1000000u);
        Answers() = {""};
        EXPECT_TRUE(UnlockEntry("x"));
        EXPECT_EQ(PromptCount(), 1);
    }
    {
        StartRun();
        EncryptedEntry e("abc", "pw", 0xD2000000u);
        Answers() = {CANCEL};
        EXPECT_FALSE(UnlockEntry("x"));
        EXPECT_EQ(PromptCount(), 1);
    }
    {
        // No prompt installed: refused without reading the header.
        StartRun();
        Archive.passwordFn = nullptr;
        EncryptedEntry e("abc", "pw", 0xD3000000u);
        EXPECT_FALSE(UnlockEntry("x"));
        EXPECT_EQ(PromptCount(), 0);
    }
}
