// Traditional ZIP decryption: three keys advanced by every plain byte through
// CRC-32 steps and a linear congruential step, and the one-byte password check
// on the 12-byte encryption header in front of an encrypted entry's data.
#include "codecs/cipher.h"
#include "codecs/crc32.h"
#include "engine/input_reader.h"
#include "support/str_util.h"

static const uint32_t KEY0_START = 0x12345678;
static const uint32_t KEY1_START = 0x23456789;
static const uint32_t KEY2_START = 0x34567890;
static const uint32_t KEY_MULTIPLIER = 134775813;
static const int ENCRYPTION_HEADER_SIZE = 12;

void InitCipherKeys(const char* password) {
    Crc32PrepareTables();   // the key steps are CRC-32 steps
    Archive.keys[0] = KEY0_START;
    Archive.keys[1] = KEY1_START;
    Archive.keys[2] = KEY2_START;
    for (const char* p = password; *p; ++p) UpdateCipherKeys((uint8_t)*p);
}

uint8_t UpdateCipherKeys(uint8_t plain) {
    uint32_t* k = Archive.keys;
    k[0] = Crc32Step(plain, k[0]);
    k[1] = (k[1] + (k[0] & 0xFF)) * KEY_MULTIPLIER + 1;
    k[2] = Crc32Step((uint8_t)(k[1] >> 24), k[2]);
    return plain;
}

uint8_t NextKeystreamByte() {
    uint32_t t = (Archive.keys[2] & 0xFFFF) | 2;
    return (uint8_t)((t * (t ^ 1)) >> 8);
}

void DecryptInPlace(uint8_t* buffer, uint32_t count) {
    // The keys live in locals for the loop: this runs over every byte of an
    // encrypted entry.
    uint32_t k0 = Archive.keys[0], k1 = Archive.keys[1], k2 = Archive.keys[2];
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t t = (k2 & 0xFFFF) | 2;
        uint8_t plain = (uint8_t)(buffer[i] ^ (uint8_t)((t * (t ^ 1)) >> 8));
        buffer[i] = plain;
        k0 = Crc32Step(plain, k0);
        k1 = (k1 + (k0 & 0xFF)) * KEY_MULTIPLIER + 1;
        k2 = Crc32Step((uint8_t)(k1 >> 24), k2);
    }
    Archive.keys[0] = k0;
    Archive.keys[1] = k1;
    Archive.keys[2] = k2;
}

int CheckEncryptionHeader(const uint8_t header[12]) {
    InitCipherKeys(Archive.password);
    uint8_t copy[ENCRYPTION_HEADER_SIZE];
    for (int i = 0; i < ENCRYPTION_HEADER_SIZE; ++i) copy[i] = header[i];
    DecryptInPlace(copy, ENCRYPTION_HEADER_SIZE);
    uint8_t check = copy[ENCRYPTION_HEADER_SIZE - 1];
    if (check == (uint8_t)(Archive.passwordCheckCrc >> 24)) return 1;
    // Writers that stream their output (general purpose bit 3: sizes and CRC
    // follow the data) do not know the CRC when they write the header, so
    // they put the high byte of the entry's DOS time there instead.
    if ((Archive.entry.header.flags & ZIP_FLAG_DATA_DESCRIPTOR) && check == (uint8_t)(Archive.entry.header.dosTime >> 8))
        return 1;
    return 0;
}

bool UnlockEntry(const char* entryName) {
    char shownName[SFX_PATH_MAX];
    StrCopyMax(shownName, entryName, SFX_PATH_MAX - 1);
    SlashesToBackslashes(shownName, shownName);

    if (Archive.passwordFn == nullptr) return false;
    // A password typed for an earlier entry of this run is tried first.
    if (Archive.password[0] == 0 && !Archive.passwordFn(Archive.password, shownName)) return false;

    uint8_t header[ENCRYPTION_HEADER_SIZE];
    for (int i = 0; i < ENCRYPTION_HEADER_SIZE; ++i) header[i] = (uint8_t)NextByte();

    while (!CheckEncryptionHeader(header)) {
        // An empty answer after a refused password cannot be right: ask again
        // at once rather than test it.
        do {
            if (!Archive.passwordFn(Archive.password, shownName)) return false;
        } while (Archive.password[0] == 0);
    }
    return true;
}
