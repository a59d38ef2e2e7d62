// SHA-1 (FIPS 180-4), the hash under the HMAC that keys and authenticates
// AES-encrypted entries. The state is the caller's record; the block
// function is the portable one or the processor's SHA instructions.
#pragma once
#include <stdint.h>
#include "codecs/cpu_x86.h"

const uint32_t SHA1_BLOCK_SIZE = 64;
const uint32_t SHA1_DIGEST_SIZE = 20;

struct Sha1 {
    uint32_t state[5];
    uint32_t filled;                // bytes waiting in block (below 64)
    // Bytes hashed so far, the waiting ones included, as two halves: a
    // 64-bit member would make every record on a 32-bit Windows stack ask
    // for 8-byte alignment.
    uint32_t lengthLow, lengthHigh;
    uint8_t block[SHA1_BLOCK_SIZE];
};

void Sha1Start(Sha1& sha);
void Sha1Update(Sha1& sha, const uint8_t* data, uint32_t count);
// Pads, writes the 20-byte digest; the record is used up afterwards.
void Sha1Finish(Sha1& sha, uint8_t digest[SHA1_DIGEST_SIZE]);

// The compression function over whole 64-byte blocks.
void Sha1Blocks(uint32_t state[5], const uint8_t* data, uint32_t blocks);
void Sha1BlocksPortable(uint32_t state[5], const uint8_t* data, uint32_t blocks);

#if defined(SFX_SHA_NI)
// The SHA extensions (SHA-NI): true when the processor has them.
bool Sha1HardwareAvailable();
void Sha1BlocksHardware(uint32_t state[5], const uint8_t* data, uint32_t blocks);
#endif
