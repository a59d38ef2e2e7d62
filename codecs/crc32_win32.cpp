// The Windows programs' CRC-32 tables: 9 KB built on first use into
// zero-filled memory, which the program file does not carry (as constant
// data they would cost the stub 9 KB, the byte table alone 1 KB).
#include "codecs/crc32.h"

uint32_t Crc32Table[256];
uint32_t Crc32Slices[7][256];

void Crc32PrepareTables() {
    // Entry 128 is the polynomial itself: zero only before the first build.
    if (Crc32Table[128] != 0) return;
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t reg = n;
        for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1u)));
        Crc32Table[n] = reg;
    }
    // Slice k: one zero byte more than slice k - 1.
    const uint32_t* previous = Crc32Table;
    for (int k = 0; k < 7; ++k) {
        for (uint32_t n = 0; n < 256; ++n) Crc32Slices[k][n] = Crc32Step(0, previous[n]);
        previous = Crc32Slices[k];
    }
}
