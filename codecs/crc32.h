// ZIP CRC-32 (reflected, polynomial 0xEDB88320). The caller owns the register:
// it starts at 0xFFFFFFFF and is complemented after the last byte.
#pragma once
#include "support/sfx_types.h"

extern const uint32_t Crc32Table[256];

inline uint32_t Crc32Step(uint8_t byte, uint32_t reg) {
    return Crc32Table[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

void Crc32Update(uint32_t& reg, const void* data, uint16_t count);
