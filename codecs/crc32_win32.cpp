// The stub's CRC-32: the 256-entry table, one byte per step (the stub's size
// budget matters more than the speed of this loop).
#include "codecs/crc32.h"

void Crc32Update(uint32_t& reg, const void* data, uint16_t count) {
    Crc32UpdateBytewise(reg, data, count);
}
