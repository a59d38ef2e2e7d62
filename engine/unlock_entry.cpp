// The password check: the engine asks the front-end, the cipher answers.
#include "engine/unlock_entry.h"
#include "archive/archive_state.h"
#include "codecs/cipher.h"
#include "engine/entry_decode.h"
#include "engine/input_reader.h"
#include "support/str_util.h"

// An AES entry's data start with the salt and the 2-byte password verifier
// that the keys are derived with.
// The traditional kind's decrypted header ends in the high byte of the
// entry's CRC-32. Writers that stream their output (general purpose bit 3:
// sizes and CRC follow the data) do not know the CRC when they write the
// header, so they put the high byte of the entry's DOS time there instead.
static bool PasswordFits(const uint8_t* header, uint32_t saltSize) {
    if (saltSize != 0) {
        uint16_t verifier, expected;
        WinZipAesStart(EntryInput.aes, Archive.entry.aesStrength, (const uint8_t*)Archive.password,
                       StrLength(Archive.password), header, (uint8_t*)&verifier);
        __builtin_memcpy(&expected, header + saltSize, sizeof expected);
        return verifier == expected;
    }
    const CentralHeader& stored = Archive.entry.header;
    uint8_t check = ZipCryptoHeaderCheck(&EntryInput.keys, Archive.password, header);
    return check == (uint8_t)(stored.crc32 >> 24) ||
           ((stored.flags & ZIP_FLAG_DATA_DESCRIPTOR) && check == (uint8_t)(stored.dosTime >> 8));
}

bool UnlockEntry(const char* entryName) {
    char shownName[SFX_PATH_MAX];
    StrCopyMax(shownName, entryName, SFX_PATH_MAX - 1);
    SlashesToBackslashes(shownName, shownName);

    if (Archive.passwordFn == nullptr) return false;
    // A password typed for an earlier entry of this run is tried first.
    if (Archive.password[0] == 0 && !Archive.passwordFn(Archive.password, shownName)) return false;

    InputReader& in = EntryInput;
    const uint8_t* header = in.codec.next;
    uint32_t saltSize = Archive.entry.header.method == METHOD_AES ? WinZipAesSaltSize(Archive.entry.aesStrength) : 0;
    while (!PasswordFits(header, saltSize)) {
        // An empty answer after a refused password cannot be right: ask
        // again at once rather than test it.
        do {
            if (!Archive.passwordFn(Archive.password, shownName)) return false;
        } while (Archive.password[0] == 0);
    }
    in.codec.next += saltSize != 0 ? saltSize + WINZIP_AES_VERIFIER_SIZE : ZIPCRYPTO_HEADER_SIZE;
    in.cipher = saltSize != 0 ? INPUT_AES : INPUT_ZIPCRYPTO;
    uint8_t* rest = in.buffer + (in.codec.next - in.buffer);
    DecryptInput(rest, (uint32_t)(in.codec.end - rest));
    return true;
}
