// Build-time generation of CRC-32 lookup tables. Entry n of the base table is
// the register after shifting byte n through eight reflected steps from 0; the
// compiler evaluates every entry, so the tables are constant data in the image.
#pragma once
#include <stdint.h>

constexpr uint32_t Crc32ShiftByte(uint32_t reg) {
    for (int bit = 0; bit < 8; ++bit)
        reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1u)));
    return reg;
}

// Entry n of slice k: the register after byte n followed by k zero bytes.
constexpr uint32_t Crc32SliceEntry(int slice, uint32_t n) {
    uint32_t reg = Crc32ShiftByte(n);
    for (int k = 0; k < slice; ++k) reg = Crc32ShiftByte(reg & 0xFF) ^ (reg >> 8);
    return reg;
}

// Repetition macros: CRC32_ROW256(F, s) expands F(s, n) for n = 0..255.
#define CRC32_ROW4(F, s, n) F(s, (n)), F(s, (n) + 1), F(s, (n) + 2), F(s, (n) + 3)
#define CRC32_ROW16(F, s, n) CRC32_ROW4(F, s, n), CRC32_ROW4(F, s, (n) + 4), \
    CRC32_ROW4(F, s, (n) + 8), CRC32_ROW4(F, s, (n) + 12)
#define CRC32_ROW64(F, s, n) CRC32_ROW16(F, s, n), CRC32_ROW16(F, s, (n) + 16), \
    CRC32_ROW16(F, s, (n) + 32), CRC32_ROW16(F, s, (n) + 48)
#define CRC32_ROW256(F, s) CRC32_ROW64(F, s, 0), CRC32_ROW64(F, s, 64), \
    CRC32_ROW64(F, s, 128), CRC32_ROW64(F, s, 192)
#define CRC32_SLICE_ENTRY(s, n) Crc32SliceEntry(s, (uint32_t)(n))
