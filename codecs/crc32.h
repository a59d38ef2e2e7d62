// ZIP CRC-32 (reflected, polynomial 0xEDB88320). The caller owns the register:
// it starts at 0xFFFFFFFF and is complemented after the last byte.
#pragma once
#include "support/sfx_types.h"

// The eight tables of the sliced update. Slice k, entry n: the register
// after byte n followed by k zero bytes; slice 0 is the byte table. The host
// build has them as constant data; the Windows programs build them on first
// use into zero-filled memory, where they cost no bytes of the file.
#ifdef SFX_HOST
extern const uint32_t Crc32Tables[8][256];
inline void Crc32PrepareTables() {}
#else
extern uint32_t Crc32Tables[8][256];
// Fills the tables unless that is done already; cheap to call again.
void Crc32PrepareTables();
#endif

// The byte step; the tables must be ready (Crc32Update and the cipher's key
// set-up prepare them).
inline uint32_t Crc32Step(uint8_t byte, uint32_t reg) {
    return Crc32Tables[0][(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

// Feeds count bytes through the register; count 0 or a null pointer leaves it
// unchanged. Any split of the data into chunks gives the same final register.
// Folding by carry-less multiplication where the processor has it, else the
// sliced loop.
void Crc32Update(uint32_t& reg, const void* data, uint32_t count);

// The byte-at-a-time loop over the byte table, kept as the reference the sliced
// loop is tested against.
void Crc32UpdateBytewise(uint32_t& reg, const void* data, uint32_t count);

// Slicing-by-8 (by-4 in a 32-bit build): one table lookup per byte, all of
// a step's lookups independent of each other.
void Crc32UpdateSliced(uint32_t& reg, const void* data, uint32_t count);

#if defined(__x86_64__) || defined(__i386__)
// Folding by carry-less multiplication (PCLMULQDQ): true when the processor
// has it. Without it, Crc32UpdateFolded is the sliced loop.
bool Crc32FoldingAvailable();
void Crc32UpdateFolded(uint32_t& reg, const void* data, uint32_t count);
#endif
