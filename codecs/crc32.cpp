// The CRC-32 table and the byte-at-a-time update shared by the stub and the
// host; the table also drives the key schedule of the traditional decryption.
#include "codecs/crc32.h"
#include "codecs/crc32_table.h"

#define CRC32_BASE_ENTRY(s, n) Crc32SliceEntry(0, (uint32_t)(n))
extern const uint32_t Crc32Table[256] = { CRC32_ROW256(CRC32_BASE_ENTRY, 0) };
static_assert(Crc32SliceEntry(0, 1) == 0x77073096u, "CRC-32 table generation");
static_assert(Crc32SliceEntry(0, 255) == 0x2D02EF8Du, "CRC-32 table generation");

void Crc32UpdateBytewise(uint32_t& reg, const void* data, uint16_t count) {
    if (count == 0 || data == nullptr) return;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t r = reg;
    for (uint32_t i = 0; i < count; ++i) r = Crc32Step(p[i], r);
    reg = r;
}
