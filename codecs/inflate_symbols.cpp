// The symbol loop of Huffman-coded blocks: literals and length/distance pairs
// into the output window. Two paths: a fast loop that runs while the input
// buffer holds enough bytes for any symbol and the window has room for the
// longest match, with all hot state in locals; and a careful path, one symbol
// at a time through NextByte, for the ends of buffers, window and stream.
#include "codecs/inflate.h"
#include "codecs/inflate_bits.h"

static const unsigned MAX_MATCH = 258;

// The fast loop's bit buffer is a machine word: 64 bits on x86-64, 32 on
// i686. A refill tops it up to at least REFILL_BITS (56 or 24).
typedef uintptr_t BitWord;
static const unsigned REFILL_BITS = sizeof(BitWord) * 8 - 8;
// With 56 bits one refill serves a whole length/distance pair (at most 15 +
// 5 + 15 + 13 = 48 bits) or three literals; with 24 the loop refills before
// the distance code and, where needed, before its extra bits.
static const bool WIDE_BITS = REFILL_BITS >= 48;
// Input bytes a pass may read: 64-bit, two refills (each loads a word and
// counts up to seven bytes as taken), so at most 15; 32-bit, four refills of
// four bytes loaded and up to three counted, at most 13.
static const int FAST_INPUT_MARGIN = 16;

// Moves of four and eight bytes: each is loaded whole before it is stored.
static inline void Copy8(uint8_t* dst, const uint8_t* src) {
    uint64_t chunk;
    __builtin_memcpy(&chunk, src, 8);
    __builtin_memcpy(dst, &chunk, 8);
}

static inline void Copy4(uint8_t* dst, const uint8_t* src) {
    uint32_t chunk;
    __builtin_memcpy(&chunk, src, 4);
    __builtin_memcpy(dst, &chunk, 4);
}

// Copies length bytes from distance bytes back, within the window and
// without a wrap: in pieces of eight (or four) bytes where the source lies
// at least that far behind, so that every load reads only bytes already
// final; the last piece overlaps the one before, so that nothing is written
// past the end (the bytes there are history that later matches may reach).
// A 32-bit build moves machine words only.
static inline void CopyMatchInWindow(uint8_t* out, unsigned distance, unsigned length) {
    const uint8_t* src = out - distance;
    uint8_t* const end = out + length;
    if (WIDE_BITS && distance >= 8 && length >= 8) {
        do {
            Copy8(out, src);
            out += 8;
            src += 8;
        } while (end - out > 8);
        Copy8(end - 8, end - 8 - distance);
    } else if (distance >= 4 && length >= 4) {
        do {
            Copy4(out, src);
            out += 4;
            src += 4;
        } while (end - out > 4);
        Copy4(end - 4, end - 4 - distance);
    } else if (distance == 1) {
        __builtin_memset(out, *src, length);
    } else {
        // Patterns of two or three bytes, and three-byte matches.
        while (out != end) *out++ = *src++;
    }
}

// Copies a match. One that reaches across the start of the window into its
// end (the previous fill) takes its first bytes from there: that source lies
// at or after the destination, so moving forward in pieces never reads a
// byte the same copy has written. The rest comes from the window's start.
static inline void CopyMatchFast(uint8_t* window, uint8_t* out, unsigned distance, unsigned length) {
    unsigned position = (unsigned)(out - window);
    if (distance <= position) {
        CopyMatchInWindow(out, distance, length);
        return;
    }
    unsigned fromEnd = distance - position;
    const uint8_t* src = window + WINDOW_SIZE - fromEnd;
    unsigned first = fromEnd < length ? fromEnd : length;
    unsigned n = first;
    if (WIDE_BITS) {
        for (; n >= 8; n -= 8, out += 8, src += 8) Copy8(out, src);
    }
    while (n--) *out++ = *src++;
    if (length > first) CopyMatchInWindow(out, distance, length - first);
}

// Runs the fast loop until the input or the window room runs short (-1), or
// the block ends (0) or holds an invalid code (1).
static int FastSymbols(HuffTable litLen, HuffTable distance, unsigned litLenBits, unsigned distanceBits) {
    InputReader& in = Archive.input;
    const uint8_t* const ipStart = in.buffer + in.position - 1;
    const uint8_t* ip = ipStart;
    const uint8_t* const ipLimit = in.buffer + in.count - FAST_INPUT_MARGIN;
    uint8_t* const window = OutputWindow;
    uint8_t* out = window + Decoder.windowPosition;
    // A pass starts only below this: its longest match then ends before the
    // window's end, which only the careful path reaches (and flushes).
    uint8_t* const outLimit = window + WINDOW_SIZE - MAX_MATCH;
    BitWord bb = Decoder.bitBuffer;
    unsigned bc = Decoder.bitCount;
    const BitWord litLenMask = ((BitWord)1 << litLenBits) - 1;
    const BitWord distanceMask = ((BitWord)1 << distanceBits) - 1;
    int result = -1;

    // Tops the bit buffer up without a branch: a word is or-ed in, and as
    // many whole bytes as fit are counted as taken. Bits of the partly
    // fitting byte sit above the count; the next refill or-s the same bits
    // into the same place.
#define REFILL()                                     \
    do {                                             \
        BitWord next;                                \
        __builtin_memcpy(&next, ip, sizeof next);    \
        bb |= next << bc;                            \
        ip += (REFILL_BITS + 7 - bc) >> 3;           \
        bc |= REFILL_BITS;                           \
    } while (0)
#define DROP(k)      \
    do {             \
        bb >>= (k);  \
        bc -= (k);   \
    } while (0)
#define LOW_BITS(k) ((unsigned)bb & ((1u << (k)) - 1))

    // A 64-bit build looks the next symbol's slot up as soon as its bits are
    // in the buffer, before the bytes of the current one are stored or
    // copied; a 32-bit one at the top of each pass (smaller code).
#define NEXT_SLOT()                                              \
    do {                                                         \
        if (WIDE_BITS) e = &litLen[bb & litLenMask];             \
    } while (0)
    const HuffEntry* e = litLen;
    if (WIDE_BITS) {
        REFILL();
        NEXT_SLOT();
    }
    while (ip <= ipLimit && out < outLimit) {
        REFILL();   // adds bits above the ones e was looked up with
        if (!WIDE_BITS) e = &litLen[bb & litLenMask];
        if (WIDE_BITS && e->op == HUFF_OP_LITERAL) {
            // Literals come in runs: up to three from one refill of 56
            // bits. (A 32-bit build takes one per pass: smaller code.)
            DROP(e->bits);
            *out++ = (uint8_t)e->value;
            e = &litLen[bb & litLenMask];
            if (e->op == HUFF_OP_LITERAL) {
                DROP(e->bits);
                *out++ = (uint8_t)e->value;
                e = &litLen[bb & litLenMask];
                if (e->op == HUFF_OP_LITERAL) {
                    DROP(e->bits);
                    *out++ = (uint8_t)e->value;
                    NEXT_SLOT();
                }
            }
            continue;
        }
        unsigned op = e->op;
        while (op > HUFF_OP_LITERAL) {
            if (op == HUFF_OP_INVALID) {
                result = 1;
                goto done;
            }
            DROP(e->bits);
            e += e->link + LOW_BITS(op - HUFF_OP_LITERAL);
            op = e->op;
        }
        DROP(e->bits);
        if (op == HUFF_OP_LITERAL) {
            *out++ = (uint8_t)e->value;
            NEXT_SLOT();
            continue;
        }
        if (op == HUFF_OP_END) {
            result = 0;
            goto done;
        }
        // Left: a length slot, op 0 to 5 (the tables give no other values).
        unsigned length = e->value + LOW_BITS(op);
        DROP(op);

        if (!WIDE_BITS) REFILL();
        e = &distance[bb & distanceMask];
        op = e->op;
        while (op > HUFF_OP_LITERAL) {
            if (op == HUFF_OP_INVALID) {
                result = 1;
                goto done;
            }
            DROP(e->bits);
            e += e->link + LOW_BITS(op - HUFF_OP_LITERAL);
            op = e->op;
        }
        DROP(e->bits);
        // A distance slot, op 0 to 13.
        if (!WIDE_BITS && bc < op) REFILL();
        unsigned dist = e->value + LOW_BITS(op);
        DROP(op);
        if (WIDE_BITS) {
            REFILL();
            NEXT_SLOT();
        }
        CopyMatchFast(window, out, dist, length);
        out += length;
    }
done:
#undef REFILL
#undef DROP
#undef LOW_BITS
#undef NEXT_SLOT
    {
        // Whole bytes still in the bit buffer go back to the input, as far
        // as they came from it: bits that were there before the loop came
        // from an earlier fill and stay in the buffer.
        unsigned back = bc >> 3;
        if (back > (unsigned)(ip - ipStart)) back = (unsigned)(ip - ipStart);
        ip -= back;
        bc -= back * 8;
    }
    in.position = (int16_t)(ip - in.buffer + 1);
    Decoder.windowPosition = (unsigned)(out - window);
    Decoder.bitBuffer = (uint32_t)(bb & (((BitWord)1 << bc) - 1));
    Decoder.bitCount = bc;
    return result;
}

const HuffEntry* CarefulLookup(HuffTable table, unsigned width) {
    if (table == nullptr) return nullptr;
    NeedBits(width);
    const HuffEntry* e = &table[PeekBits(width)];
    while (e->op > HUFF_OP_LITERAL) {
        if (e->op == HUFF_OP_INVALID) return nullptr;
        DropBits(e->bits);
        unsigned subWidth = e->op - HUFF_OP_LITERAL;
        NeedBits(subWidth);
        e = HuffSubTable(e) + PeekBits(subWidth);
    }
    DropBits(e->bits);
    return e;
}

int DecodeSymbols(HuffTable litLen, HuffTable distance, unsigned litLenBits, unsigned distanceBits) {
    if (litLen == nullptr) return 1;
    InputReader& in = Archive.input;
    for (;;) {
        // (A block without distance codes, rare, takes the careful path.)
        if (Decoder.windowPosition < WINDOW_SIZE - MAX_MATCH && distance != nullptr &&
            !(in.bytewiseDecrypt && in.encrypted) &&
            in.count - in.position + 1 >= FAST_INPUT_MARGIN) {
            int result = FastSymbols(litLen, distance, litLenBits, distanceBits);
            if (result >= 0) return result;
        }

        // One symbol the careful way.
        const HuffEntry* e = CarefulLookup(litLen, litLenBits);
        if (e == nullptr || Decoder.broken) return 1;
        unsigned position = Decoder.windowPosition;
        if (e->op == HUFF_OP_LITERAL) {
            OutputWindow[position++] = (uint8_t)e->value;
            if (position == WINDOW_SIZE) {
                FlushWindow(WINDOW_SIZE);
                position = 0;
            }
            Decoder.windowPosition = position;
            if (Decoder.broken) return 1;
            continue;
        }
        if (e->op == HUFF_OP_END) return 0;
        unsigned length = e->value + TakeBits(e->op);

        e = CarefulLookup(distance, distanceBits);
        if (e == nullptr) return 1;
        unsigned source = position - (e->value + TakeBits(e->op));
        if (Decoder.broken) return 1;

        // Byte by byte, the source index wrapping at the window's end and
        // the window flushed where the copy fills it (the careful path runs
        // only at the ends of buffers and windows, so few bytes come here).
        while (length-- != 0) {
            OutputWindow[position++] = OutputWindow[source++ & (WINDOW_SIZE - 1)];
            if (position == WINDOW_SIZE) {
                FlushWindow(WINDOW_SIZE);
                position = 0;
                if (Decoder.broken) {
                    Decoder.windowPosition = position;
                    return 1;
                }
            }
        }
        Decoder.windowPosition = position;
    }
}
