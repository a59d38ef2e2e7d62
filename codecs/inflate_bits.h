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
