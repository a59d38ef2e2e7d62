// The input layer of an entry's data: the engine reads them in large
// pieces behind whatever the decoder has left untaken, and each piece
// passes the decryption layer once, as it comes in.
#pragma once
#include "codecs/cipher.h"
#include "codecs/codec.h"
#include "codecs/winzip_aes.h"
#include "support/sfx_types.h"

// One read. Under Wine every read has a fixed cost; the host and Wine
// gain nothing measurable beyond this size.
const uint32_t INPUT_READ_SIZE = 65536;
const uint32_t INPUT_BUFFER_SIZE = INPUT_READ_SIZE + CODEC_INPUT_MARGIN;

// How a piece is decrypted as it comes in.
enum InputCipher : uint8_t {
    INPUT_PLAIN,
    INPUT_ZIPCRYPTO,    // the traditional ZIP encryption, keys below
    INPUT_AES           // WinZip's AES, the record below
};

struct InputReader {
    uint8_t* buffer;            // INPUT_BUFFER_SIZE bytes
    CodecInput codec;           // what the decoder has not taken yet
    uint64_t remaining;         // bytes of the entry's data not read yet
    InputCipher cipher;
    ZipCryptoKeys keys;
    WinZipAes aes;
};

// Process-wide: one entry at a time.
extern InputReader EntryInput;

// An empty reader over compressedSize bytes at the archive's position.
void StartInput(uint64_t compressedSize);
// Keeps the untaken bytes, reads the next piece behind them and decrypts
// it. false, with the status set, after a read that failed or came short
// (SFX_ERR_IO), or when a decoder left more untaken than it may
// (SFX_ERR_BAD_DATA).
bool ReadInput();
// Decrypts bytes of the entry's data, in file order, with the reader's cipher.
void DecryptInput(uint8_t* data, uint32_t count);
// An AES entry's data end in the authentication code, which the reader was
// not started over: reads what the decoder left of the data (the code
// covers every byte), then the code, and compares. false, with the status
// set, when it differs (SFX_ERR_CRC) or cannot be read.
bool AuthenticateInput();
