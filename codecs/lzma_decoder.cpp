// The LZMA decoder. One source for the stub (-Oz, where the small helpers
// stay functions over the range decoder on the stack) and the host (-O2,
// where they are inlined and range, code and input live in registers).
#include "codecs/lzma_decoder.h"

// The helpers: functions of their own in the stub, where size counts;
// inlined in the host build, which keeps the range decoder in registers.
#ifdef SFX_STUB
#define LZMA_HELPER __attribute__((noinline))
#else
#define LZMA_HELPER inline __attribute__((always_inline))
#endif

namespace {

// Probabilities are 11-bit fractions of the chance that the next bit is 0,
// adapted by a 32nd of the distance to certainty after every bit.
const uint32_t PROB_BITS = 11;
const uint32_t PROB_INITIAL = 1u << (PROB_BITS - 1);
const uint32_t MOVE_BITS = 5;
const uint32_t RANGE_TOP = 1u << 24;

const uint32_t STATES = 12;
const uint32_t LITERAL_STATES = 7;      // states below this: the last symbol was a literal
const uint32_t POS_STATES_MAX = 16;
const uint32_t MATCH_LENGTH_MIN = 2;
const uint32_t END_MARKER = 0xFFFFFFFF; // the distance that ends the stream
const uint32_t DICTIONARY_MIN = 4096;   // smaller declared dictionaries count as this

// Where each group of probabilities lies in the caller's block. Trees are
// indexed from 1 (index 0 of a tree is never used).
const uint32_t IS_MATCH = 0;                                    // [state][posState]
const uint32_t IS_REP = IS_MATCH + STATES * POS_STATES_MAX;     // [state]
const uint32_t IS_REP_G0 = IS_REP + STATES;
const uint32_t IS_REP_G1 = IS_REP_G0 + STATES;
const uint32_t IS_REP_G2 = IS_REP_G1 + STATES;
const uint32_t IS_REP0_LONG = IS_REP_G2 + STATES;               // [state][posState]
const uint32_t POS_SLOT = IS_REP0_LONG + STATES * POS_STATES_MAX;  // [lenState][64]
const uint32_t SPEC_POS = POS_SLOT + 4 * 64;                    // reverse trees of slots 4 to 13
const uint32_t ALIGN = SPEC_POS + 114;                          // the low 4 bits of far distances
const uint32_t LEN_CODER = ALIGN + 16;                          // lengths of new matches
const uint32_t REP_LEN_CODER = LEN_CODER + 514;                 // lengths of repeated ones
const uint32_t LITERAL = REP_LEN_CODER + 514;                   // 0x300 per literal context
static_assert(LITERAL == 1846, "the fixed part of the probabilities");

// Inside a length coder: two choices, then 3-bit trees per posState for
// lengths 0-7 and 8-15, and one 8-bit tree for 16-271.
const uint32_t LEN_CHOICE = 0;
const uint32_t LEN_CHOICE2 = 1;
const uint32_t LEN_LOW = 2;
const uint32_t LEN_MID = LEN_LOW + POS_STATES_MAX * 8;
const uint32_t LEN_HIGH = LEN_MID + POS_STATES_MAX * 8;

// The state after a literal, by the state before it.
const uint8_t AFTER_LITERAL[STATES] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};

struct LzmaState {
    uint16_t* probs;
    uint32_t range;
    uint32_t code;
    uint32_t rep[4];            // the last four distances (0 is one byte back)
    uint32_t state;
    uint32_t lc;                // literal context bits from the previous byte
    uint32_t lpMask;            // literal position bits
    uint32_t pbMask;            // position bits of the other decisions
    uint32_t processed;         // low 32 bits of the bytes produced: position context
    uint32_t pending;           // bytes of a match still to copy
    uint32_t wrapped;           // set: the window has been filled once
    uint32_t started;           // set: the range decoder has its first five bytes
    uint32_t endMarker;
    uint32_t history;           // the bytes matches may reach back: dictionary or declared size
    uint64_t remaining;         // bytes still to produce up to the declared size
};

LzmaState Lzma;

typedef uintptr_t CopyWord;

struct RangeDecoder {
    uint32_t range;
    uint32_t code;
    const uint8_t* in;
};

LZMA_HELPER void Normalize(RangeDecoder& rc) {
    if (rc.range < RANGE_TOP) {
        rc.range <<= 8;
        rc.code = (rc.code << 8) | *rc.in++;
    }
}

// One decision: 0 or 1. Written without a branch on the bit (selects and a
// shared update), as most decisions inside trees cannot be predicted.
LZMA_HELPER uint32_t DecodeBit(RangeDecoder& rc, uint16_t* prob) {
    Normalize(rc);
    uint32_t p = *prob;
    uint32_t bound = (rc.range >> PROB_BITS) * p;
    uint32_t bit = rc.code >= bound;
    uint32_t mask = 0 - bit;
    rc.range = bit ? rc.range - bound : bound;
    rc.code -= bound & mask;
    // Bit 0: p + (2048 - p) / 32, bit 1: p - p / 32; both as p - (p - t) / 32
    // rounded down, with t = 2048 - 31 or 0.
    *prob = (uint16_t)(p - (uint32_t)((int32_t)(p - (~mask & ((1u << PROB_BITS) - 31))) >> MOVE_BITS));
    return bit;
}

// A tree of bits decisions, most significant bit first: 1 << bits plus the value.
LZMA_HELPER uint32_t DecodeTree(RangeDecoder& rc, uint16_t* probs, uint32_t bits) {
    uint32_t m = 1;
    do m = (m << 1) + DecodeBit(rc, probs + m);
    while (--bits);
    return m;
}

// A tree read least significant bit first: the value.
LZMA_HELPER uint32_t DecodeReverseTree(RangeDecoder& rc, uint16_t* probs, uint32_t bits) {
    uint32_t m = 1, value = 0, i = 0;
    do {
        uint32_t bit = DecodeBit(rc, probs + m);
        m = (m << 1) + bit;
        value |= bit << i;
    } while (++i < bits);
    return value;
}

// Bits of even chance (the middle of far distances).
LZMA_HELPER uint32_t DecodeDirect(RangeDecoder& rc, uint32_t bits) {
    uint32_t value = 0;
    do {
        Normalize(rc);
        rc.range >>= 1;
        uint32_t bit = rc.code >= rc.range;
        rc.code -= rc.range & (0 - bit);
        value = (value << 1) + bit;
    } while (--bits);
    return value;
}

// A match length less MATCH_LENGTH_MIN: 0 to 271.
LZMA_HELPER uint32_t DecodeLength(RangeDecoder& rc, uint16_t* coder, uint32_t posState) {
    uint16_t* tree = coder + LEN_LOW + (posState << 3);
    uint32_t bits = 3, base = 0;
    if (DecodeBit(rc, coder + LEN_CHOICE)) {
        tree += LEN_MID - LEN_LOW;
        base = 8;
        if (DecodeBit(rc, coder + LEN_CHOICE2)) {
            tree = coder + LEN_HIGH;
            bits = 8;
            base = 16;
        }
    }
    return base + DecodeTree(rc, tree, bits) - (1u << bits);
}

// The distance of a new match less one, END_MARKER included.
LZMA_HELPER uint32_t DecodeDistance(RangeDecoder& rc, uint16_t* probs, uint32_t length) {
    uint32_t lenState = length < 3 ? length : 3;
    uint32_t slot = DecodeTree(rc, probs + POS_SLOT + (lenState << 6), 6) - 64;
    if (slot < 4) return slot;
    uint32_t bits = (slot >> 1) - 1;
    uint32_t distance = (2 | (slot & 1)) << bits;
    if (slot < 14) return distance + DecodeReverseTree(rc, probs + SPEC_POS + distance - slot - 1, bits);
    distance += DecodeDirect(rc, bits - 4) << 4;
    return distance + DecodeReverseTree(rc, probs + ALIGN, 4);
}

}  // namespace

uint32_t LzmaProbabilityBytes(const uint8_t* properties) {
    uint32_t d = properties[0];
    if (d >= 9 * 5 * 5) return 0;
    uint32_t lc = d % 9, lp = d / 9 % 5;
    return (LITERAL + (0x300u << (lc + lp))) * 2;
}

uint32_t LzmaDictionarySize(const uint8_t* properties) {
    uint32_t size = properties[1] | properties[2] << 8 | properties[3] << 16 | (uint32_t)properties[4] << 24;
    return size < DICTIONARY_MIN ? DICTIONARY_MIN : size;
}

CodecResult LzmaStart(const uint8_t* properties, void* probabilities, uint64_t size, uint32_t endMarker) {
    uint32_t count = LzmaProbabilityBytes(properties) / 2;
    if (count == 0) return CODEC_REFUSED;
    uint32_t d = properties[0];
    LzmaState& s = Lzma;
    s = LzmaState();
    s.probs = static_cast<uint16_t*>(probabilities);
    for (uint32_t i = 0; i < count; ++i) s.probs[i] = PROB_INITIAL;
    s.lc = d % 9;
    s.lpMask = (1u << (d / 9 % 5)) - 1;
    s.pbMask = (1u << (d / 45)) - 1;
    s.endMarker = endMarker;
    s.remaining = size;
    s.history = LzmaDictionarySize(properties);
    if (size < s.history) s.history = (uint32_t)size;
    return CODEC_NEEDS_INPUT;
}

CodecResult LzmaDecode(CodecInput* input, CodecWindow* window) {
    LzmaState& s = Lzma;
    uint16_t* const probs = s.probs;
    uint8_t* const buffer = window->buffer;
    const uint32_t size = window->size;
    const uint32_t first = window->position;
    uint32_t pos = first;

    // Output stops at the window's limit or at the declared size, whichever
    // comes first.
    uint32_t limit = window->limit;
    uint32_t atSize = 0;
    if (s.remaining <= limit - pos) {
        limit = pos + (uint32_t)s.remaining;
        atSize = 1;
    }

    RangeDecoder rc = {s.range, s.code, input->next};
    // A symbol starts only with LZMA_SYMBOL_INPUT_MAX bytes at hand (before
    // inputLimit). The last few bytes of the data are copied into tail with
    // zeros behind them, where a symbol may read past them; one that did is
    // corrupt.
    uint8_t tail[2 * LZMA_SYMBOL_INPUT_MAX];
    const uint8_t* tailStart = nullptr;
    uint32_t available = (uint32_t)(input->end - rc.in);

    CodecResult result;
    if (!s.started) {
        if (available < 5) return input->final ? CODEC_CORRUPT : CODEC_NEEDS_INPUT;
        if (rc.in[0] != 0) return CODEC_CORRUPT;
        rc.code = (uint32_t)rc.in[1] << 24 | rc.in[2] << 16 | rc.in[3] << 8 | rc.in[4];
        rc.range = 0xFFFFFFFF;
        rc.in += 5;
        available -= 5;
        s.started = 1;
    }
    uintptr_t inputLimit = 0;
    if (available >= LZMA_SYMBOL_INPUT_MAX) inputLimit = (uintptr_t)(input->end - LZMA_SYMBOL_INPUT_MAX);

    const uint32_t lc = s.lc, lpMask = s.lpMask, pbMask = s.pbMask;
    const uint32_t posBias = s.processed - pos;     // processed = pos + posBias
    uint32_t state = s.state;
    uint32_t rep[4] = {s.rep[0], s.rep[1], s.rep[2], s.rep[3]};
    uint32_t& rep0 = rep[0];
    uint32_t length = s.pending;
    uint32_t wrapped = s.wrapped;
    // Once the window has been filled, matches reach back as far as the
    // dictionary (or the declared size) allows, but never further than the
    // window holds. Copies by words need a word of slack behind that.
    const uint32_t historyMax = size < s.history ? size : s.history;
    const uint32_t wideCopies = size - historyMax >= sizeof(CopyWord);
    static_assert(LZMA_WINDOW_SLACK >= sizeof(CopyWord), "the slack word copies need");

    for (;;) {
        if (length != 0) {
            // Copy a match (its rest, when the window stopped it before).
            uint32_t n = limit - pos;
            if (n > length) n = length;
            length -= n;
            uint32_t from = pos - rep0 - 1;
            if (pos <= rep0) from += size;
            if (wideCopies && rep0 >= sizeof(CopyWord) - 1 && n + sizeof(CopyWord) <= size - from &&
                n + sizeof(CopyWord) <= size - pos) {
                // A word at a time: the last word may write up to a word
                // past the match, where the window's slack keeps bytes no
                // distance reaches; they are written over before they count.
                uint8_t* to = buffer + pos;
                const uint8_t* source = buffer + from;
                pos += n;
                for (uint32_t i = 0; i < n; i += sizeof(CopyWord)) {
                    CopyWord word;
                    __builtin_memcpy(&word, source + i, sizeof word);
                    __builtin_memcpy(to + i, &word, sizeof word);
                }
            } else {
                for (; n != 0; --n) {
                    buffer[pos++] = buffer[from++];
                    if (from == size) from = 0;
                }
            }
            if (length != 0) {
                // Stopped by the window, or by the declared size: more
                // bytes than the entry declares.
                result = atSize ? CODEC_CORRUPT : CODEC_WINDOW_FULL;
                break;
            }
        }
        if (pos == limit && !atSize) {
            result = CODEC_WINDOW_FULL;
            break;
        }
        if ((uintptr_t)rc.in > inputLimit) {
            if (tailStart != nullptr) {
                result = CODEC_CORRUPT;     // the data ended inside a symbol
                break;
            }
            if (!input->final) {
                result = CODEC_NEEDS_INPUT;
                break;
            }
            uint32_t left = (uint32_t)(input->end - rc.in);
            for (uint32_t i = 0; i < sizeof tail; ++i) tail[i] = i < left ? rc.in[i] : 0;
            tailStart = rc.in;
            rc.in = tail;
            inputLimit = (uintptr_t)(tail + left);
        }
        if (pos == limit) {
            // At the declared size. The encoder's last bytes leave the code
            // at 0; otherwise only the end marker may follow.
            Normalize(rc);
            if (rc.code == 0) {
                result = CODEC_END;
                break;
            }
            if (!s.endMarker) {
                result = CODEC_CORRUPT;
                break;
            }
        }

        uint32_t posState = (pos + posBias) & pbMask;
        // How far matches may reach back from pos.
        uint32_t history = wrapped || pos > historyMax ? historyMax : pos;
        if (!DecodeBit(rc, probs + IS_MATCH + (state << 4) + posState)) {
            if (pos == limit) {
                result = CODEC_CORRUPT;     // a literal past the declared size
                break;
            }
            uint32_t previous = 0;
            if (history != 0) previous = buffer[(pos != 0 ? pos : size) - 1];
            uint16_t* literal = probs + LITERAL +
                0x300 * ((((pos + posBias) & lpMask) << lc) + (previous >> (8 - lc)));
            uint32_t symbol = 1;
#ifndef SFX_STUB
            if (state < LITERAL_STATES) {
                do symbol = (symbol << 1) + DecodeBit(rc, literal + symbol);
                while (symbol < 0x100);
            } else
#endif
            {
                // After a match the byte at rep0 guides the tree while its
                // bits agree with the literal's (offset 0x100 until the first
                // difference); after a literal the tree is plain (offset 0).
                uint32_t match = 0, offset = 0;
                if (state >= LITERAL_STATES) {
                    uint32_t from = pos - rep0 - 1;
                    if (pos <= rep0) from += size;
                    match = buffer[from];
                    offset = 0x100;
                }
                do {
                    match <<= 1;
                    uint32_t matchBit = match & offset;
                    uint32_t bit = DecodeBit(rc, literal + offset + matchBit + symbol);
                    symbol = (symbol << 1) + bit;
                    offset &= matchBit ^ (bit - 1);
                } while (symbol < 0x100);
            }
            buffer[pos++] = (uint8_t)symbol;
            state = AFTER_LITERAL[state];
            continue;
        }
        if (DecodeBit(rc, probs + IS_REP + state)) {
            if (history == 0 || pos == limit) {
                result = CODEC_CORRUPT;     // a repeat before the first byte, or past the size
                break;
            }
            if (!DecodeBit(rc, probs + IS_REP_G0 + state)) {
                if (!DecodeBit(rc, probs + IS_REP0_LONG + (state << 4) + posState)) {
                    // One byte from rep0.
                    state = state < LITERAL_STATES ? 9 : 11;
                    length = 1;
                    continue;
                }
            } else {
                // rep1, rep2 or rep3 moves to the front.
                uint32_t i = 1;
                if (DecodeBit(rc, probs + IS_REP_G1 + state)) i = 2 + DecodeBit(rc, probs + IS_REP_G2 + state);
                uint32_t distance = rep[i];
                for (; i != 0; --i) rep[i] = rep[i - 1];
                rep[0] = distance;
            }
            length = DecodeLength(rc, probs + REP_LEN_CODER, posState) + MATCH_LENGTH_MIN;
            state = state < LITERAL_STATES ? 8 : 11;
            continue;
        }
        for (uint32_t i = 3; i != 0; --i) rep[i] = rep[i - 1];
        length = DecodeLength(rc, probs + LEN_CODER, posState);
        rep0 = DecodeDistance(rc, probs, length);
        length += MATCH_LENGTH_MIN;
        state = state < LITERAL_STATES ? 7 : 10;
        if (rep0 >= history || pos == limit) {
            // The end marker ends the stream at the declared size, with the
            // code at 0 behind it; anywhere else it is corrupt, as is a
            // distance before the first byte.
            length = 0;
            Normalize(rc);
            result = rep0 == END_MARKER && pos == limit && rc.code == 0 ? CODEC_END : CODEC_CORRUPT;
            break;
        }
    }

    if (tailStart != nullptr) {
        if ((uintptr_t)rc.in > inputLimit) {
            result = CODEC_CORRUPT;     // read past the data's end
            rc.in = (const uint8_t*)inputLimit;
        }
        rc.in = tailStart + (rc.in - tail);
    }
    if (pos == size) s.wrapped = 1;
    input->next = rc.in;
    window->position = pos;
    s.remaining -= pos - first;
    s.processed += pos - first;
    s.range = rc.range;
    s.code = rc.code;
    s.state = state;
    for (uint32_t i = 0; i < 4; ++i) s.rep[i] = rep[i];
    s.pending = length;
    return result;
}
