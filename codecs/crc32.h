// ZIP CRC-32 (reflected, polynomial 0xEDB88320). The caller owns the register:
// it starts at 0xFFFFFFFF and is complemented after the last byte.
#pragma once
#include "support/sfx_types.h"

extern const uint32_t Crc32Table[256];

inline uint32_t Crc32Step(uint8_t byte, uint32_t reg) {
    return Crc32Table[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

// Feeds count bytes through the register; count 0 or a null pointer leaves it
// unchanged. Any split of the data into chunks gives the same final register.
// The build chooses the implementation: the stub keeps the small byte-at-a-time
// loop, the host build a table-sliced one that reads eight bytes per step.
void Crc32Update(uint32_t& reg, const void* data, uint16_t count);

// The byte-at-a-time loop over Crc32Table, present in every build.
void Crc32UpdateBytewise(uint32_t& reg, const void* data, uint16_t count);

#ifdef SFX_HOST
// Slicing-by-8 over eight build-time tables; the host's Crc32Update.
void Crc32UpdateSliced(uint32_t& reg, const void* data, uint16_t count);
#endif
