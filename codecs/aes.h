// AES (FIPS-197), the forward cipher for 128-, 192- and 256-bit keys. Counter
// mode only ever encrypts blocks, so there is no inverse cipher.
#pragma once
#include <stdint.h>

const uint32_t AES_BLOCK_SIZE = 16;
const uint32_t AES_MAX_ROUNDS = 14;

// The round keys as the bytes stand in the key schedule, each column read as
// a little-endian word: the portable rounds and AES-NI take the same layout.
struct AesKey {
    uint32_t roundKeys[4 * (AES_MAX_ROUNDS + 1)];
    uint32_t rounds;    // 10, 12 or 14
};

// The table of the rounds (S-box and MixColumns in one word per byte value),
// built on first use into zero-filled memory. Cheap to call again; a program
// with threads calls it once before they start.
extern uint32_t AesTable[256];
void AesPrepareTables();

// length 16, 24 or 32.
void AesSetKey(AesKey& key, const uint8_t* bytes, uint32_t length);
void AesEncryptBlockPortable(const AesKey& key, const uint8_t in[AES_BLOCK_SIZE], uint8_t out[AES_BLOCK_SIZE]);
