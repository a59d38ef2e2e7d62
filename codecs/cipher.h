// The traditional ZIP encryption: three keys that every plain byte advances
// through CRC-32 steps and a linear congruential step, and a key stream
// byte taken from the third key. Each entry's data start with a 12-byte
// encryption header, whose last byte, decrypted, checks the password.
#pragma once
#include "support/sfx_types.h"

const uint32_t ZIPCRYPTO_HEADER_SIZE = 12;

struct ZipCryptoKeys {
    uint32_t key[3];
};

// The keys for a password (zero-terminated, its bytes as given).
void ZipCryptoStart(ZipCryptoKeys* keys, const char* password);
void ZipCryptoDecrypt(ZipCryptoKeys* keys, uint8_t* data, uint32_t count);
void ZipCryptoEncrypt(ZipCryptoKeys* keys, uint8_t* data, uint32_t count);
// Starts the keys for password and decrypts a copy of the encryption
// header with them: the answer is its last byte, which equals the high
// byte of the entry's CRC-32 (or, for writers that stream their output,
// of its DOS time) when the password is right. The keys then stand behind
// the header.
uint8_t ZipCryptoHeaderCheck(ZipCryptoKeys* keys, const char* password, const uint8_t* header);
