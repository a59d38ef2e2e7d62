// Reading an entry's data piece by piece through the decryption layer.
#include "engine/input_reader.h"
#include "archive/archive_state.h"
#include "support/file_layer.h"
#include "support/str_util.h"

InputReader EntryInput;

// Zero-filled memory: the program file does not carry it.
static uint8_t InputBuffer[INPUT_BUFFER_SIZE];

void StartInput(uint64_t compressedSize) {
    InputReader& in = EntryInput;
    in.buffer = InputBuffer;
    in.codec.next = in.codec.end = InputBuffer;
    in.codec.final = compressedSize == 0;
    in.remaining = compressedSize;
    in.cipher = INPUT_PLAIN;
}

bool ReadInput() {
    InputReader& in = EntryInput;
    uint32_t kept = (uint32_t)(in.codec.end - in.codec.next);
    if (kept > CODEC_INPUT_MARGIN) {
        Archive.status = SFX_ERR_BAD_DATA;
        return false;
    }
    MemMove(in.buffer, in.codec.next, kept);
    uint32_t want = in.remaining < INPUT_READ_SIZE ? (uint32_t)in.remaining : INPUT_READ_SIZE;
    uint8_t* piece = in.buffer + kept;
    // A cut-off archive: the entry still needs bytes the file does not
    // have, and a decoder must not be handed stale ones.
    if (FileRead(piece, want, Archive.archiveHandle) != (int32_t)want) {
        Archive.status = SFX_ERR_IO;
        return false;
    }
    DecryptInput(piece, want);
    in.remaining -= want;
    in.codec.next = in.buffer;
    in.codec.end = piece + want;
    in.codec.final = in.remaining == 0;
    return true;
}

void DecryptInput(uint8_t* data, uint32_t count) {
    InputReader& in = EntryInput;
    if (in.cipher == INPUT_ZIPCRYPTO) ZipCryptoDecrypt(&in.keys, data, count);
    if (in.cipher == INPUT_AES) WinZipAesDecrypt(in.aes, data, count);
}

bool AuthenticateInput() {
    InputReader& in = EntryInput;
    while (in.remaining != 0) {
        in.codec.next = in.codec.end;
        if (!ReadInput()) return false;
    }
    uint8_t code[WINZIP_AES_CODE_SIZE];
    if (FileRead(code, WINZIP_AES_CODE_SIZE, Archive.archiveHandle) != (int32_t)WINZIP_AES_CODE_SIZE) {
        Archive.status = SFX_ERR_IO;
        return false;
    }
    if (WinZipAesAuthentic(in.aes, code)) return true;
    Archive.status = SFX_ERR_CRC;
    return false;
}
