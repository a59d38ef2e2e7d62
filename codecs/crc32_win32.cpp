// The Windows programs' CRC-32 tables: 9 KB built on first use into
// zero-filled memory, which the program file does not carry (as constant
// data they would cost the stub 9 KB, the byte table alone 1 KB).
#include "codecs/crc32.h"

uint32_t Crc32Tables[8][256];

void Crc32PrepareTables() {
    uint32_t* entry = Crc32Tables[0];
    // Entry 128 is the polynomial itself: zero only before the first build.
    if (entry[128] != 0) return;
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t reg = n;
        for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1u)));
        entry[n] = reg;
    }
    // Slice k: one zero byte more than slice k - 1, whose entry lies 256
    // places before.
    for (uint32_t i = 256; i < 8 * 256; ++i) entry[i] = Crc32Step(0, entry[i - 256]);
}
