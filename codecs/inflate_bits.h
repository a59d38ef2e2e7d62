// Bit input and window copies shared by the parts of the DEFLATE decoder.
#pragma once
#include "codecs/inflate.h"
#include "engine/input_reader.h"

// The data ran out (NextByte answered -1): every further bit reads as one. A
// failed read, or more than a few bytes of such bits, ends the stream.
inline void NoteInputEnd() {
    if (Archive.input.failed || ++Decoder.overrun > INPUT_OVERRUN_LIMIT) Decoder.broken = 1;
}

// need(k), k up to 16: at least k bits in the bit buffer.
inline void NeedBits(unsigned k) {
    while (Decoder.bitCount < k) {
        int byte = NextByte();
        if (byte < 0) NoteInputEnd();
        Decoder.bitBuffer |= (uint32_t)byte << Decoder.bitCount;
        Decoder.bitCount += 8;
    }
}

inline unsigned PeekBits(unsigned k) {
    return Decoder.bitBuffer & ((1u << k) - 1);   // k <= 16
}

inline void DropBits(unsigned k) {
    Decoder.bitBuffer >>= k;
    Decoder.bitCount -= k;
}

// need(k), then the next k bits, taken off the buffer.
unsigned TakeBits(unsigned k);

// Looks a symbol up one bit-buffer refill at a time and takes its bits; null
// for an invalid code or an empty table.
const HuffEntry* CarefulLookup(HuffTable table, unsigned width);

// Copies n bytes forward, one after another as far as the result goes: when
// the source lies shortly before the destination, bytes written early in the
// copy are read again later in it, so the last (dst - src) bytes repeat.
inline void CopyForward(uint8_t* dst, const uint8_t* src, unsigned n) {
#if SFX_STUB
    // Byte by byte gives the same result; the stub keeps the smaller loop.
    while (n--) *dst++ = *src++;
#else
    if (src >= dst || dst - src >= 8) {
        // Eight bytes are loaded before any of them is stored, and a chunk
        // never reads what a later store of the same copy writes.
        while (n >= 8) {
            uint64_t chunk;
            __builtin_memcpy(&chunk, src, 8);   // constant size: inlined moves
            __builtin_memcpy(dst, &chunk, 8);
            dst += 8;
            src += 8;
            n -= 8;
        }
        while (n--) *dst++ = *src++;
    } else if (dst - src == 1) {
        __builtin_memset(dst, *src, n);
    } else {
        while (n--) *dst++ = *src++;
    }
#endif
}
