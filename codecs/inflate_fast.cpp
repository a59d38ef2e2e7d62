// The fast loop of Huffman-coded blocks. Entry conditions (checked by the
// loop itself before each symbol): at least INFLATE_FAST_INPUT bytes of
// input, so that every refill may load a whole word; and the position at
// least INFLATE_FAST_ROOM below the limit, so that the longest match and the
// overrun of its last word copy stay inside the window ahead of the
// position, where only history older than any distance lies.
//
// The bit buffer is refilled without a branch: a word is or-ed in above the
// valid bits and as many whole bytes as fit are counted as taken; the bits
// of a byte that fit only in part lie above the count, and the next refill
// or-s the same bits into the same place. Table entries are taken whole:
// a length or distance drops its codeword and extra bits in one shift.
#include "codecs/inflate.h"

namespace {

const unsigned WORD_BITS = sizeof(InflateBits) * 8;
// A refill leaves at least this many valid bits: 56 or 24.
const unsigned REFILL_BITS = WORD_BITS - 8;
// 56 bits serve a whole length/distance pair (15 + 5 + 15 + 13 = 48 bits)
// or three literals and the lookup of the next symbol (3 * 15 + 11); with
// 24 the loop refills before the distance and, where needed, before its
// extra bits, and takes at most two literals a refill.
const bool WIDE = REFILL_BITS >= 48;
static_assert(!WIDE || 3 * HUFF_MAX_LENGTH + LITLEN_ROOT_BITS <= REFILL_BITS, "three literals a refill");
static_assert(INFLATE_WINDOW_SIZE - INFLATE_FAST_ROOM >= INFLATE_MAX_DISTANCE, "overrun beyond history");

inline InflateBits LoadWord(const uint8_t* p) {
    InflateBits word;
    __builtin_memcpy(&word, p, sizeof word);
    return word;
}

inline void CopyWord(uint8_t* dst, const uint8_t* src) {
    InflateBits word;
    __builtin_memcpy(&word, src, sizeof word);
    __builtin_memcpy(dst, &word, sizeof word);
}

inline void Copy4(uint8_t* dst, const uint8_t* src) {
    uint32_t word;
    __builtin_memcpy(&word, src, 4);
    __builtin_memcpy(dst, &word, 4);
}

// The extra bits of a length or distance entry, below its total.
inline unsigned ExtraBits(InflateBits bits, HuffEntry e) {
    return (unsigned)((bits & (((InflateBits)1 << HuffTotal(e)) - 1)) >> HuffCodeword(e));
}

// Copies a match whose source lies at or after the window's start. Word
// copies may run past the match's end into the room ahead; a source at
// least a word behind has only final bytes under every load.
inline uint8_t* CopyMatch(uint8_t* out, unsigned distance, unsigned length) {
    const uint8_t* src = out - distance;
    uint8_t* const end = out + length;
    if (distance >= sizeof(InflateBits)) {
        // Most matches are short: four words without a test first.
        CopyWord(out, src);
        CopyWord(out + sizeof(InflateBits), src + sizeof(InflateBits));
        CopyWord(out + 2 * sizeof(InflateBits), src + 2 * sizeof(InflateBits));
        CopyWord(out + 3 * sizeof(InflateBits), src + 3 * sizeof(InflateBits));
        out += 4 * sizeof(InflateBits);
        src += 4 * sizeof(InflateBits);
        while (out < end) {
            CopyWord(out, src);
            out += sizeof(InflateBits);
            src += sizeof(InflateBits);
        }
    } else if (distance == 1) {
        InflateBits pattern = (InflateBits)-1 / 0xFF * *src;
        do {
            __builtin_memcpy(out, &pattern, sizeof pattern);
            out += sizeof(InflateBits);
        } while (out < end);
    } else if (distance >= 4) {
        do {
            Copy4(out, src);
            out += 4;
            src += 4;
        } while (out < end);
    } else {
        do *out++ = *src++;
        while (out < end);
    }
    return end;
}

}  // namespace

FastStop InflateFast(CodecInput* input, CodecWindow* window) {
    InflateState& s = Inflater;
    const uint8_t* ip = input->next;
    const uint8_t* const ipStart = ip;
    const uint8_t* const ipLimit = input->end - INFLATE_FAST_INPUT;
    uint8_t* const base = window->buffer;
    uint8_t* out = base + window->position;
    uint8_t* const outLimit = base + window->limit - INFLATE_FAST_ROOM;
    const HuffEntry* const litLen = s.litLen;
    const HuffEntry* const distanceTable = s.distance;
    const InflateBits litLenMask = ((InflateBits)1 << LITLEN_ROOT_BITS) - 1;
    const InflateBits distanceMask = ((InflateBits)1 << DISTANCE_ROOT_BITS) - 1;
    InflateBits bb = s.bitBuffer;
    unsigned bc = s.bitCount;
    FastStop stop = FAST_MARGIN;

#define REFILL()                                    \
    do {                                            \
        bb |= LoadWord(ip) << bc;                   \
        ip += (WORD_BITS - 1 - bc) >> 3;            \
        bc |= REFILL_BITS;                          \
    } while (0)
#define DROP(n)            \
    do {                   \
        bb >>= (n);        \
        bc -= (n);         \
    } while (0)

    // A 64-bit buffer carries the next symbol's entry from one pass to the
    // next: it is looked up as soon as the bits are there, before the bytes
    // of the current symbol are stored or copied. A 32-bit one looks it up
    // at the top of each pass.
    // The caller checked the entry conditions for the first pass; a pass
    // takes at most one refill (three with 32 bits) beyond the limits.
    REFILL();
    HuffEntry e = litLen[bb & litLenMask];
    do {
        if (!WIDE) {
            REFILL();
            e = litLen[bb & litLenMask];
        }
        if (e & HUFF_LITERAL) {
            // Literals come in runs: up to three a refill (two with 32 bits).
            DROP(HuffTotal(e));
            *out++ = (uint8_t)HuffValue(e);
            e = litLen[bb & litLenMask];
            if ((e & HUFF_LITERAL) && (WIDE || HuffTotal(e) <= bc)) {
                DROP(HuffTotal(e));
                *out++ = (uint8_t)HuffValue(e);
                e = litLen[bb & litLenMask];
                if (WIDE && (e & HUFF_LITERAL)) {
                    DROP(HuffTotal(e));
                    *out++ = (uint8_t)HuffValue(e);
                    e = litLen[bb & litLenMask];
                }
            }
            if (WIDE) REFILL();   // at least 11 bits were left: e stays valid
            continue;
        }
        if (e & HUFF_EXCEPTIONAL) {
            if (e & HUFF_LINK) {
                unsigned subBits = HuffCodeword(e);
                DROP(HuffTotal(e));
                e = litLen[HuffValue(e) + (bb & (((InflateBits)1 << subBits) - 1))];
                if (e & HUFF_LITERAL) {
                    DROP(HuffTotal(e));
                    *out++ = (uint8_t)HuffValue(e);
                    if (WIDE) {
                        REFILL();
                        e = litLen[bb & litLenMask];
                    }
                    continue;
                }
            }
            if (e & HUFF_EXCEPTIONAL) {
                if (e & HUFF_END) {
                    DROP(HuffTotal(e));
                    stop = FAST_END_OF_BLOCK;
                } else {
                    stop = FAST_CORRUPT;
                }
                break;
            }
        }
        unsigned length = HuffValue(e) + ExtraBits(bb, e);
        DROP(HuffTotal(e));

        if (!WIDE) REFILL();
        e = distanceTable[bb & distanceMask];
        if (e & HUFF_EXCEPTIONAL) {
            if (!(e & HUFF_LINK)) {
                stop = FAST_CORRUPT;
                break;
            }
            unsigned subBits = HuffCodeword(e);
            DROP(HuffTotal(e));
            e = distanceTable[HuffValue(e) + (bb & (((InflateBits)1 << subBits) - 1))];
            if (e & HUFF_EXCEPTIONAL) {
                stop = FAST_CORRUPT;
                break;
            }
        }
        if (!WIDE && bc < HuffTotal(e)) REFILL();
        unsigned distance = HuffValue(e) + ExtraBits(bb, e);
        DROP(HuffTotal(e));
        if (WIDE) {
            REFILL();
            e = litLen[bb & litLenMask];
        }

        if (distance > (unsigned)(out - base)) {
            // Before the window's start: from its end, the previous fill,
            // byte by byte (the source may reach across the end); before
            // the entry's first byte, nothing is there to copy.
            if (!s.wrapped) {
                stop = FAST_CORRUPT;
                break;
            }
            unsigned from = (unsigned)(out - base) + INFLATE_WINDOW_SIZE - distance;
            for (uint8_t* end = out + length; out != end; ++from) *out++ = base[from & (INFLATE_WINDOW_SIZE - 1)];
            continue;
        }
        out = CopyMatch(out, distance, length);
    } while (ip <= ipLimit && out < outLimit);
#undef REFILL
#undef DROP

    // Whole bytes still in the bit buffer go back to the input, as far as
    // this call took them from it; bits left from before stay in the buffer.
    unsigned back = bc >> 3;
    if (back > (unsigned)(ip - ipStart)) back = (unsigned)(ip - ipStart);
    ip -= back;
    bc -= back * 8;
    input->next = ip;
    window->position = (uint32_t)(out - base);
    s.bitBuffer = bb & (((InflateBits)1 << bc) - 1);
    s.bitCount = bc;
    return stop;
}
