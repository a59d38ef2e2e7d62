// Multi-level decoding tables for canonical Huffman codes. A table of width w
// is indexed by the next w stream bits (least significant first); short codes
// are replicated across every slot they prefix, and codes longer than a
// table's width lead through a link slot to a sub-table. The code generation
// runs twice: the first pass only adds up the slots of the tables it opens,
// the second fills them in one block of that size.
#include "codecs/huffman.h"
#include "support/file_layer.h"

static const unsigned MAX_CODE_LENGTH = 16;
static const unsigned MAX_SYMBOLS = 288;

// Symbols with a code, shortest code first and by symbol within one length.
// Process-wide working storage: only one build runs at a time.
static unsigned SortedSymbols[MAX_SYMBOLS];

int BuildHuffTable(const unsigned* lengths, unsigned n, unsigned simple,
                   const uint16_t* base, const uint16_t* extra,
                   HuffTable* root, unsigned* lookupBits) {
    // The end-of-block code ends every table that starts before it: a decoder
    // that looks up the end of the stream's last block then never takes more
    // bits than that code has, so it never reads past the end of the stream.
    unsigned eobLength = n > 256 ? lengths[256] : MAX_CODE_LENGTH;

    unsigned count[MAX_CODE_LENGTH + 1];
    for (unsigned L = 0; L <= MAX_CODE_LENGTH; ++L) count[L] = 0;
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] > MAX_CODE_LENGTH) return 2;
        ++count[lengths[i]];
    }
    if (count[0] == n) {
        *root = nullptr;
        *lookupBits = 0;
        return 0;
    }

    unsigned minL = 1;
    while (count[minL] == 0) ++minL;
    unsigned maxL = MAX_CODE_LENGTH;
    while (count[maxL] == 0) --maxL;
    unsigned lw = *lookupBits;
    if (lw < minL) lw = minL;
    if (lw > maxL) lw = maxL;

    // The code space check; what is left over becomes dummy codes of the
    // maximum length, which fill their slots as invalid.
    int slack = 1 << minL;
    for (unsigned L = minL; L < maxL; ++L) {
        slack -= (int)count[L];
        if (slack < 0) return 2;
        slack <<= 1;
    }
    slack -= (int)count[maxL];
    if (slack < 0) return 2;
    count[maxL] += (unsigned)slack;

    unsigned offset[MAX_CODE_LENGTH + 2];
    offset[1] = 0;
    for (unsigned L = 1; L < maxL; ++L) offset[L + 1] = offset[L] + count[L];
    unsigned listed = 0;
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] != 0) {
            SortedSymbols[offset[lengths[i]]++] = i;
            ++listed;
        }
    }

    // Level l's width is width[l + 1], so that width[0] stands for the
    // level above the root (none, 0 bits).
    unsigned width[MAX_CODE_LENGTH + 2];
    unsigned saved[MAX_CODE_LENGTH + 1];
    unsigned start[MAX_CODE_LENGTH + 1];  // where each open table begins, in slots
    HuffEntry* block = nullptr;           // the second pass's tables, the root first
    unsigned slots = 0;                   // slots handed out so far
    *root = nullptr;

    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            block = static_cast<HuffEntry*>(MemAlloc((uint32_t)(slots * sizeof(HuffEntry))));
            if (block == nullptr) return 3;
            *root = block;
            slots = 0;
        }
        width[0] = 0;
        saved[0] = 0;
        int level = -1;
        unsigned consumed = 0;
        unsigned code = 0;          // the current code, bit-reversed
        unsigned next = 0;          // position in SortedSymbols

        for (unsigned L = minL; L <= maxL; ++L) {
            unsigned codesLeft = count[L];
            while (codesLeft-- != 0) {
                // Open tables until one reaches down to this code's last bit.
                while (L > consumed + width[level + 1]) {
                    consumed += width[level + 1];
                    ++level;
                    unsigned limit = maxL - consumed;
                    if (limit > lw) limit = lw;
                    unsigned w = L - consumed;
                    unsigned room = 1u << w;
                    if (room > codesLeft + 1) {
                        // Too few codes of this length to fill a w-bit table:
                        // widen it while the longer codes fill the rest.
                        room -= codesLeft + 1;
                        unsigned longer = L;
                        for (;;) {
                            if (++w >= limit) break;
                            room <<= 1;
                            if (room <= count[++longer]) break;
                            room -= count[longer];
                        }
                    }
                    if (consumed + w > eobLength && consumed < eobLength) w = eobLength - consumed;
                    width[level + 1] = w;
                    start[level] = slots;
                    slots += 1u << w;

                    if (level > 0) {
                        saved[level] = code;
                        unsigned index = (code & ((1u << consumed) - 1)) >> (consumed - width[level]);
                        unsigned at = start[level - 1] + index;
                        if (block != nullptr) {
                            HuffEntry& link = block[at];
                            link.op = (uint8_t)(HUFF_OP_LITERAL + w);
                            link.bits = (uint8_t)width[level];
                            link.link = start[level] - at;
                        }
                    }
                }

                if (block != nullptr) {
                    HuffEntry slot;
                    slot.op = HUFF_OP_INVALID;
                    slot.bits = (uint8_t)(L - consumed);
                    slot.value = 0;   // (an invalid slot's value means nothing)
                    if (next < listed) {
                        unsigned symbol = SortedSymbols[next++];
                        if (symbol < simple) {
                            slot.op = symbol < 256 ? HUFF_OP_LITERAL : HUFF_OP_END;
                            slot.value = (uint16_t)symbol;
                        } else {
                            slot.op = (uint8_t)(extra[symbol - simple] & 0xFF);
                            slot.value = base[symbol - simple];
                        }
                    }
                    HuffEntry* table = block + start[level];
                    unsigned size = 1u << width[level + 1];
                    unsigned step = 1u << (L - consumed);
                    // op, bits and value only: a code slot's link means nothing.
                    for (unsigned i = code >> consumed; i < size; i += step) __builtin_memcpy(&table[i], &slot, 4);
                }

                // Increment the L-bit code in reversed bit order.
                unsigned bit = 1u << (L - 1);
                while (code & bit) {
                    code ^= bit;
                    bit >>= 1;
                }
                code ^= bit;

                // Close the tables whose codes are all used.
                while ((code & ((1u << consumed) - 1)) != saved[level]) {
                    --level;
                    consumed -= width[level + 1];
                }
            }
        }
    }

    *lookupBits = width[1];
    return (slack != 0 && maxL != 1) ? 1 : 0;
}
