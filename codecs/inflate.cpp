// The DEFLATE stream step by step: block headers with their code tables,
// stored blocks, and the symbols that the fast loop leaves to the careful
// path near the end of the input or of the window.
//
// Every step starts only when the input holds the most it can take (or
// the input is final): a step never stops half-way for want of input, so
// the state between calls is just the step and the bit buffer. Beyond the
// end of final input the careful path reads zero bytes; a stream that takes
// any of their bits is corrupt.
#include "codecs/inflate.h"

InflateState Inflater;

namespace {

// Bytes a step may take: a symbol with its length and distance (15 + 5 +
// 15 + 13 = 48 bits); a block header with the code-length code and 316
// code lengths of at most 7 bits each (3 + 14 + 57 + 2212 bits).
const unsigned SYMBOL_STEP_BYTES = 8;
const unsigned HEADER_STEP_BYTES = 300;
static_assert(HEADER_STEP_BYTES < CODEC_INPUT_MARGIN && INFLATE_FAST_INPUT < CODEC_INPUT_MARGIN,
              "a step fits the margin the engine keeps");

const uint8_t CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Symbol entries without their code lengths (huffman.h): literal/length
// symbols 0..287 (286 and 287 invalid), distances 0..31 (30 and 31
// invalid), code-length symbols 0..18. Made with the fixed tables.
HuffEntry LitLenTemplates[HUFF_MAX_SYMBOLS];
HuffEntry DistanceTemplates[32];
HuffEntry CodeLengthTemplates[19];

// Bases and extra bits follow from RFC 1951, 3.2.5: lengths 3..257 in
// groups of four that double their step from symbol 265 on, then 258;
// distances from 1 in pairs that double their step from code 4 on.
void MakeTables() {
    InflateState& s = Inflater;
    unsigned base = 3;
    for (unsigned i = 0; i < HUFF_MAX_SYMBOLS; ++i) {
        HuffEntry e = HUFF_INVALID;
        if (i < 256) {
            e = HUFF_LITERAL | (i << 16);
        } else if (i == 256) {
            e = HUFF_EXCEPTIONAL | HUFF_END;
        } else if (i < 285) {
            unsigned extra = i < 265 ? 0 : (i - 261) / 4;
            e = (base << 16) | extra;
            base += 1u << extra;
        } else if (i == 285) {
            e = 258u << 16;
        }
        LitLenTemplates[i] = e;
        s.lengths[i] = (uint8_t)(i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8);
    }
    base = 1;
    for (unsigned i = 0; i < 32; ++i) {
        unsigned extra = i < 4 ? 0 : i / 2 - 1;
        DistanceTemplates[i] = i < 30 ? (base << 16) | extra : HUFF_INVALID;
        base += 1u << extra;
        s.lengths[HUFF_MAX_SYMBOLS + i] = 5;
    }
    for (unsigned i = 0; i < 19; ++i) CodeLengthTemplates[i] = i << 16;
    // The fixed code is complete (with 286, 287, 30 and 31 as invalid codes).
    BuildHuffTable(s.lengths, HUFF_MAX_SYMBOLS, LitLenTemplates, s.fixedLitLen, LITLEN_ROOT_BITS);
    BuildHuffTable(s.lengths + HUFF_MAX_SYMBOLS, 32, DistanceTemplates, s.fixedDistance, DISTANCE_ROOT_BITS);
    s.fixedBuilt = 1;
}

// Bits from the input, one byte at a time; k is at most 16.
void NeedBits(CodecInput* in, unsigned k) {
    InflateState& s = Inflater;
    while (s.bitCount < k) {
        unsigned byte = 0;
        if (in->next != in->end)
            byte = *in->next++;
        else
            ++s.overrun;
        s.bitBuffer |= (InflateBits)byte << s.bitCount;
        s.bitCount += 8;
    }
}

void DropBits(unsigned k) {
    Inflater.bitBuffer >>= k;
    Inflater.bitCount -= k;
}

unsigned TakeBits(CodecInput* in, unsigned k) {
    NeedBits(in, k);
    unsigned value = (unsigned)Inflater.bitBuffer & ((1u << k) - 1);
    DropBits(k);
    return value;
}

// The entry of the next code, through a link where the code is longer
// than the root, with its codeword taken; for a length or distance the
// caller adds the extra bits (TakeExtra).
HuffEntry NextEntry(CodecInput* in, const HuffEntry* table, unsigned rootBits) {
    NeedBits(in, rootBits);
    HuffEntry e = table[Inflater.bitBuffer & ((1u << rootBits) - 1)];
    if (e & HUFF_LINK) {
        DropBits(HuffTotal(e));
        unsigned subBits = HuffCodeword(e);
        NeedBits(in, subBits);
        e = table[HuffValue(e) + (Inflater.bitBuffer & ((1u << subBits) - 1))];
    }
    DropBits(HuffCodeword(e));
    return e;
}

unsigned TakeExtra(CodecInput* in, HuffEntry e) {
    return HuffValue(e) + TakeBits(in, HuffTotal(e) - HuffCodeword(e));
}

// True when the stream has taken bits of the zero bytes beyond its end.
bool PastTheEnd() { return Inflater.overrun * 8 > Inflater.bitCount; }

// The code lengths and tables of a dynamic block; false when they are not
// a valid pair of complete codes.
bool ReadDynamicTables(CodecInput* in) {
    InflateState& s = Inflater;
    unsigned litLenCount = 257 + TakeBits(in, 5);
    unsigned distanceCount = 1 + TakeBits(in, 5);
    unsigned codeLengthCount = 4 + TakeBits(in, 4);
    if (litLenCount > 286 || distanceCount > 30) return false;
    uint8_t* lengths = s.lengths;
    for (unsigned j = 0; j < 19; ++j) lengths[CODE_LENGTH_ORDER[j]] = (uint8_t)(j < codeLengthCount ? TakeBits(in, 3) : 0);
    if (BuildHuffTable(lengths, 19, CodeLengthTemplates, s.codeLengthTable, CODE_LENGTH_ROOT_BITS) != HUFF_COMPLETE)
        return false;

    unsigned total = litLenCount + distanceCount;
    for (unsigned i = 0; i < total;) {
        HuffEntry e = NextEntry(in, s.codeLengthTable, CODE_LENGTH_ROOT_BITS);
        if (e & HUFF_EXCEPTIONAL) return false;
        unsigned symbol = HuffValue(e);
        if (symbol < 16) {
            lengths[i++] = (uint8_t)symbol;
            continue;
        }
        // 16 repeats the previous length 3..6 times, 17 and 18 give 3..10
        // and 11..138 zeros; repeats run on from the literal/length lengths
        // into the distance lengths.
        uint8_t value = 0;
        unsigned repeat;
        if (symbol == 16) {
            // (At the very first position there is no previous length: 0.)
            value = i != 0 ? lengths[i - 1] : 0;
            repeat = 3 + TakeBits(in, 2);
        } else if (symbol == 17) {
            repeat = 3 + TakeBits(in, 3);
        } else {
            repeat = 11 + TakeBits(in, 7);
        }
        if (i + repeat > total) return false;
        while (repeat-- != 0) lengths[i++] = value;
    }
    // Without an end-of-block code the block could never end.
    if (lengths[256] == 0) return false;
    s.litLen = s.dynamicLitLen;
    s.distance = s.dynamicDistance;
    return BuildHuffTable(lengths, litLenCount, LitLenTemplates, s.dynamicLitLen, LITLEN_ROOT_BITS) == HUFF_COMPLETE &&
           BuildHuffTable(lengths + litLenCount, distanceCount, DistanceTemplates, s.dynamicDistance,
                          DISTANCE_ROOT_BITS) == HUFF_COMPLETE;
}

}  // namespace

void InflateStart() {
    InflateState& s = Inflater;
    if (!s.fixedBuilt) MakeTables();
    s.bitBuffer = 0;
    s.bitCount = 0;
    s.overrun = 0;
    s.step = STEP_BLOCK_HEADER;
    s.wrapped = 0;
}

static CodecResult Decode(CodecInput* in, CodecWindow* window) {
    InflateState& s = Inflater;
    uint8_t* const buffer = window->buffer;
    for (;;) {
        if (PastTheEnd()) return CODEC_CORRUPT;
        uint32_t position = window->position;
        unsigned available = (unsigned)(in->end - in->next);
        bool final = in->final != 0;

        if (s.step == STEP_DONE) return CODEC_END;

        if (s.step == STEP_BLOCK_HEADER) {
            if (!final && available < HEADER_STEP_BYTES) return CODEC_NEEDS_INPUT;
            s.finalBlock = (uint8_t)TakeBits(in, 1);
            unsigned type = TakeBits(in, 2);
            if (type == 0) {
                DropBits(s.bitCount & 7);
                unsigned length = TakeBits(in, 16);
                if ((TakeBits(in, 16) ^ 0xFFFF) != length) return CODEC_CORRUPT;
                s.storedLeft = length;
                s.step = STEP_STORED;
            } else if (type == 1) {
                s.litLen = s.fixedLitLen;
                s.distance = s.fixedDistance;
                s.step = STEP_SYMBOLS;
            } else if (type == 2) {
                if (!ReadDynamicTables(in)) return CODEC_CORRUPT;
                s.step = STEP_SYMBOLS;
            } else {
                return CODEC_REFUSED;   // the reserved block type
            }
            continue;
        }

        if (s.step == STEP_STORED) {
            if (s.storedLeft == 0) {
                s.step = s.finalBlock ? STEP_DONE : STEP_BLOCK_HEADER;
                continue;
            }
            if (position == window->limit) break;
            if (s.bitCount != 0) {
                // Whole bytes the bit buffer fetched ahead come first.
                buffer[window->position++] = (uint8_t)TakeBits(in, 8);
                --s.storedLeft;
                continue;
            }
            if (available == 0) {
                if (final) return CODEC_CORRUPT;
                return CODEC_NEEDS_INPUT;
            }
            unsigned n = s.storedLeft;
            if (n > available) n = available;
            if (n > window->limit - position) n = window->limit - position;
            __builtin_memcpy(buffer + position, in->next, n);
            in->next += n;
            window->position = position + n;
            s.storedLeft -= n;
            continue;
        }

        if (s.step == STEP_MATCH) {
            // Byte by byte, the source wrapping at the ring's end, up to the limit.
            unsigned from = position - s.matchDistance;
            while (s.matchLength != 0 && position != window->limit) {
                buffer[position++] = buffer[from++ & (INFLATE_WINDOW_SIZE - 1)];
                --s.matchLength;
            }
            window->position = position;
            if (s.matchLength != 0) break;
            s.step = STEP_SYMBOLS;
            continue;
        }

        // STEP_SYMBOLS
        if (position == window->limit) break;
        if (available >= INFLATE_FAST_INPUT && window->limit - position > INFLATE_FAST_ROOM) {
            FastStop stop = InflateFast(in, window);
            if (stop == FAST_CORRUPT) return CODEC_CORRUPT;
            if (stop == FAST_END_OF_BLOCK) s.step = s.finalBlock ? STEP_DONE : STEP_BLOCK_HEADER;
            continue;
        }
        if (!final && available < SYMBOL_STEP_BYTES) return CODEC_NEEDS_INPUT;
        HuffEntry e = NextEntry(in, s.litLen, LITLEN_ROOT_BITS);
        if (e & HUFF_LITERAL) {
            buffer[window->position++] = (uint8_t)HuffValue(e);
            continue;
        }
        if (e & HUFF_EXCEPTIONAL) {
            if (!(e & HUFF_END)) return CODEC_CORRUPT;
            s.step = s.finalBlock ? STEP_DONE : STEP_BLOCK_HEADER;
            continue;
        }
        s.matchLength = TakeExtra(in, e);
        e = NextEntry(in, s.distance, DISTANCE_ROOT_BITS);
        if (e & HUFF_EXCEPTIONAL) return CODEC_CORRUPT;
        s.matchDistance = TakeExtra(in, e);
        // Before the entry's first byte there is nothing to copy.
        if (!s.wrapped && s.matchDistance > position) return CODEC_CORRUPT;
        s.step = STEP_MATCH;
    }
    return CODEC_WINDOW_FULL;   // the limit is reached
}

CodecResult Inflate(CodecInput* in, CodecWindow* window) {
    CodecResult result = Decode(in, window);
    // The engine moves the position back to the ring's start: from now on
    // every distance has history behind it.
    if (window->position == window->size) Inflater.wrapped = 1;
    return result;
}
