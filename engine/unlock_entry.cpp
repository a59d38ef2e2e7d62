// The password check: the engine asks the front-end, the cipher answers.
#include "engine/unlock_entry.h"
#include "archive/archive_state.h"
#include "codecs/cipher.h"
#include "engine/input_reader.h"
#include "support/str_util.h"

// The decrypted header ends in the high byte of the entry's CRC-32.
// Writers that stream their output (general purpose bit 3: sizes and CRC
// follow the data) do not know the CRC when they write the header, so they
// put the high byte of the entry's DOS time there instead.
static bool PasswordFits(const uint8_t* header) {
    uint8_t check = ZipCryptoHeaderCheck(&EntryInput.keys, Archive.password, header);
    const CentralHeader& stored = Archive.entry.header;
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
    while (!PasswordFits(header)) {
        // An empty answer after a refused password cannot be right: ask
        // again at once rather than test it.
        do {
            if (!Archive.passwordFn(Archive.password, shownName)) return false;
        } while (Archive.password[0] == 0);
    }
    in.codec.next += ZIPCRYPTO_HEADER_SIZE;
    uint8_t* rest = in.buffer + (in.codec.next - in.buffer);
    ZipCryptoDecrypt(&in.keys, rest, (uint32_t)(in.codec.end - rest));
    in.cipher = INPUT_ZIPCRYPTO;
    return true;
}
