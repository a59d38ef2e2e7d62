// The symbol loop of Huffman-coded blocks: literals and length/distance pairs
// into the output window. Two paths: a fast loop that runs while the input
// buffer holds enough bytes for any symbol and the window has room for the
// longest match, with all hot state in locals; and a careful path, one symbol
// at a time through NextByte, for the ends of buffers, window and stream.
// The Windows stub keeps only the careful path: it decodes the same stream,
// and there its size counts for more than its speed.
#include "codecs/inflate.h"
#include "codecs/inflate_bits.h"

static const unsigned MAX_MATCH = 258;

#if !SFX_STUB
// One symbol takes at most 48 bits, fetched in at most three refills of up to
// three bytes; each refill loads four bytes.
static const int FAST_INPUT_MARGIN = 16;

// Copies a match of length bytes from distance bytes back, reaching across
// the start of the window into its end (the previous fill) where needed.
static inline void CopyMatchFast(uint8_t* window, unsigned position, unsigned distance, unsigned length) {
    uint8_t* out = window + position;
    if (distance <= position) {
        CopyForward(out, out - distance, length);
        return;
    }
    unsigned fromEnd = distance - position;
    const uint8_t* src = window + WINDOW_SIZE - fromEnd;
    if (fromEnd >= length) {
        CopyForward(out, src, length);
    } else {
        CopyForward(out, src, fromEnd);
        CopyForward(out + fromEnd, window, length - fromEnd);
    }
}

// Runs the fast loop until the input or the window room runs short (-1), or
// the block ends (0) or holds an invalid code (1).
static inline int FastSymbols(HuffTable litLen, HuffTable distance, unsigned litLenBits, uint32_t litLenMask,
                              uint32_t distanceMask) {
    InputReader& in = Archive.input;
    const uint8_t* ip = in.buffer + in.position - 1;
    const uint8_t* const ipEnd = in.buffer + in.count;
    uint8_t* const window = OutputWindow;
    unsigned wp = Decoder.windowPosition;
    uint32_t bb = Decoder.bitBuffer;
    unsigned bc = Decoder.bitCount;
    int result = -1;

    // Tops the bit buffer up to 24..31 bits without a branch: four bytes are
    // or-ed in, and as many whole bytes as fit are counted as taken. Bits of
    // the partly fitting byte sit above the count; the next refill or-s the
    // same bits into the same place.
#define REFILL()                                   \
    do {                                           \
        uint32_t next4;                            \
        __builtin_memcpy(&next4, ip, 4);           \
        bb |= next4 << bc;                         \
        ip += (31 - bc) >> 3;                      \
        bc |= 24;                                  \
    } while (0)
#define DROP(k)      \
    do {             \
        bb >>= (k);  \
        bc -= (k);   \
    } while (0)

    while (ipEnd - ip >= FAST_INPUT_MARGIN && wp <= WINDOW_SIZE - MAX_MATCH) {
        REFILL();
        const HuffEntry* e = &litLen[bb & litLenMask];
        unsigned op = e->op;
        if (op == HUFF_OP_LITERAL) {
            DROP(e->bits);
            window[wp++] = (uint8_t)e->value;
            // Literals come in runs: take a second one from the same refill
            // when a root slot's bits are surely in the buffer.
            if (bc >= litLenBits) {
                e = &litLen[bb & litLenMask];
                if (e->op == HUFF_OP_LITERAL) {
                    DROP(e->bits);
                    window[wp++] = (uint8_t)e->value;
                }
            }
            continue;
        }
        while (op > HUFF_OP_LITERAL) {
            if (op == HUFF_OP_INVALID) {
                result = 1;
                goto done;
            }
            DROP(e->bits);
            e = &e->link[bb & LowBitMasks[op - HUFF_OP_LITERAL]];
            op = e->op;
        }
        DROP(e->bits);
        if (op == HUFF_OP_LITERAL) {
            window[wp++] = (uint8_t)e->value;
            continue;
        }
        if (op == HUFF_OP_END) {
            result = 0;
            goto done;
        }
        if (op > 13) {
            result = 1;
            goto done;
        }
        unsigned length = e->value + (bb & LowBitMasks[op]);
        DROP(op);

        REFILL();
        if (distance == nullptr) {
            result = 1;
            goto done;
        }
        e = &distance[bb & distanceMask];
        op = e->op;
        while (op > HUFF_OP_LITERAL) {
            if (op == HUFF_OP_INVALID) {
                result = 1;
                goto done;
            }
            DROP(e->bits);
            e = &e->link[bb & LowBitMasks[op - HUFF_OP_LITERAL]];
            op = e->op;
        }
        DROP(e->bits);
        if (op > 13) {
            result = 1;
            goto done;
        }
        if (bc < op) REFILL();
        unsigned dist = e->value + (bb & LowBitMasks[op]);
        DROP(op);
        CopyMatchFast(window, wp, dist, length);
        wp += length;
    }
done:
#undef REFILL
#undef DROP
    in.position = (int16_t)(ip - in.buffer + 1);
    Decoder.windowPosition = wp;
    Decoder.bitBuffer = bb & ((1u << bc) - 1);
    Decoder.bitCount = bc;
    // A longest match that starts at the loop's window limit ends exactly at
    // the window's end: flush it now, so that no later byte lands past it.
    if (wp == WINDOW_SIZE) {
        FlushWindow(WINDOW_SIZE);
        Decoder.windowPosition = 0;
        if (Decoder.broken) result = 1;
    }
    return result;
}
#endif

const HuffEntry* CarefulLookup(HuffTable table, unsigned width) {
    if (table == nullptr) return nullptr;
    NeedBits(width);
    const HuffEntry* e = &table[PeekBits(width)];
    while (e->op > HUFF_OP_LITERAL) {
        if (e->op == HUFF_OP_INVALID) return nullptr;
        DropBits(e->bits);
        unsigned subWidth = e->op - HUFF_OP_LITERAL;
        NeedBits(subWidth);
        e = &e->link[PeekBits(subWidth)];
    }
    DropBits(e->bits);
    return e;
}

int DecodeSymbols(HuffTable litLen, HuffTable distance, unsigned litLenBits, unsigned distanceBits) {
    if (litLen == nullptr) return 1;
#if !SFX_STUB
    const uint32_t litLenMask = LowBitMasks[litLenBits];
    const uint32_t distanceMask = LowBitMasks[distanceBits];
    InputReader& in = Archive.input;
#endif
    for (;;) {
#if !SFX_STUB
        if (Decoder.windowPosition <= WINDOW_SIZE - MAX_MATCH && !(in.bytewiseDecrypt && in.encrypted) &&
            in.count - in.position + 1 >= FAST_INPUT_MARGIN) {
            int result = FastSymbols(litLen, distance, litLenBits, litLenMask, distanceMask);
            if (result >= 0) return result;
        }
#endif

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
        if (e->op > 13) return 1;
        unsigned length = e->value + TakeBits(e->op);

        e = CarefulLookup(distance, distanceBits);
        if (e == nullptr || e->op > 13) return 1;
        unsigned source = position - (e->value + TakeBits(e->op));
        if (Decoder.broken) return 1;

        // In pieces cut at the window's end, where it is flushed.
        while (length != 0) {
            source &= WINDOW_SIZE - 1;
            unsigned piece = WINDOW_SIZE - (source > position ? source : position);
            if (piece > length) piece = length;
            length -= piece;
            CopyForward(OutputWindow + position, OutputWindow + source, piece);
            position += piece;
            source += piece;
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
