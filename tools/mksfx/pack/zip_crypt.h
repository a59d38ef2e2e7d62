// The traditional ZIP encryption (the writing side of what the stub decrypts).
#pragma once
#include <stdint.h>
#include <stddef.h>
#include <string>
#include "codecs/cipher.h"

// The keys of the extractor's own cipher: one key schedule for both sides.
struct ZipCipher {
    ZipCryptoKeys keys;
};

void StartCipher(ZipCipher& cipher, const std::string& password);
void EncryptBytes(ZipCipher& cipher, uint8_t* data, size_t count);
// The 12-byte header that starts an encrypted entry: 11 random bytes and the
// high byte of the entry's CRC-32, which the extractor checks the password by.
// Returns it encrypted, with the cipher ready for the entry's data.
std::string StartEncryptedEntry(ZipCipher& cipher, const std::string& password, uint32_t crc,
                                const uint8_t random[11]);

// The 11 bytes that open an entry's encryption header, derived from the
// password and the entry (stored name, CRC-32, size) by SipHash-2-4 under a
// key made from the password. In place of random bytes: the same inputs give
// the same program file, and without the password the bytes cannot be
// foretold (which would hand an attacker 12 bytes of known plaintext).
void HeaderBytesFor(const std::string& password, const std::string& storedName, uint32_t crc, uint32_t size,
                    uint8_t out[11]);
