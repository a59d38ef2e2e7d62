// The CRC-32 update loops shared by every build; the tables come from
// crc32_host.cpp (constant data) or crc32_win32.cpp (built on first use).
#include "codecs/crc32.h"

// A host build that measures the 32-bit program's paths (SFX_WORD32).
#if defined(SFX_WORD32)
#define SFX_WORD32_BUILD 1
#else
#define SFX_WORD32_BUILD 0
#endif

void Crc32UpdateBytewise(uint32_t& reg, const void* data, uint32_t count) {
    if (count == 0 || data == nullptr) return;
    Crc32PrepareTables();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t r = reg;
    for (uint32_t i = 0; i < count; ++i) r = Crc32Step(p[i], r);
    reg = r;
}

// Little-endian load of four bytes at any address (x86 reads them unaligned).
static inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

void Crc32UpdateSliced(uint32_t& reg, const void* data, uint32_t count) {
    if (count == 0 || data == nullptr) return;
    Crc32PrepareTables();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t r = reg;
    uint32_t n = count;
    // Independent lookups instead of dependent ones: slice k folds in a byte
    // that k more bytes follow. A 64-bit build takes eight bytes per step,
    // a 32-bit one (fewer registers, smaller code) four.
    if (sizeof(void*) == 8 && !SFX_WORD32_BUILD) {
        for (; n >= 8; n -= 8, p += 8) {
            uint32_t lo = Load32(p) ^ r;
            uint32_t hi = Load32(p + 4);
            r = Crc32Tables[7][lo & 0xFF] ^ Crc32Tables[6][(lo >> 8) & 0xFF] ^
                Crc32Tables[5][(lo >> 16) & 0xFF] ^ Crc32Tables[4][lo >> 24] ^
                Crc32Tables[3][hi & 0xFF] ^ Crc32Tables[2][(hi >> 8) & 0xFF] ^
                Crc32Tables[1][(hi >> 16) & 0xFF] ^ Crc32Tables[0][hi >> 24];
        }
    } else {
        for (; n >= 4; n -= 4, p += 4) {
            uint32_t v = Load32(p) ^ r;
            r = Crc32Tables[3][v & 0xFF] ^ Crc32Tables[2][(v >> 8) & 0xFF] ^
                Crc32Tables[1][(v >> 16) & 0xFF] ^ Crc32Tables[0][v >> 24];
        }
    }
    for (; n != 0; --n) r = Crc32Step(*p++, r);
    reg = r;
}

void Crc32Update(uint32_t& reg, const void* data, uint32_t count) {
#if defined(__x86_64__) || defined(__i386__)
    Crc32UpdateFolded(reg, data, count);   // the sliced loop where it must
#else
    Crc32UpdateSliced(reg, data, count);
#endif
}
