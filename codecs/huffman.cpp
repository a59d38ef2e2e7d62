// Building the lookup tables of a canonical Huffman code in one pass over
// its codes, shortest first: the code space check first, then every code is
// generated in turn (kept bit-reversed, in the order the stream delivers its
// bits) and stored in the root, or in a sub-table that the first code of its
// root prefix opens.
#include "codecs/huffman.h"

// Symbols with a code, shortest code first and by symbol within a length.
// Working storage: one build runs at a time.
static uint16_t SortedSymbols[HUFF_MAX_SYMBOLS];

HuffResult BuildHuffTable(const uint8_t* lengths, unsigned n, const HuffEntry* templates,
                          HuffEntry* table, unsigned root) {
    unsigned count[HUFF_MAX_LENGTH + 1];
    for (unsigned length = 0; length <= HUFF_MAX_LENGTH; ++length) count[length] = 0;
    for (unsigned s = 0; s < n; ++s) ++count[lengths[s]];

    // The code space left after each length; below zero: over-subscribed.
    int left = 1;
    unsigned maxLength = 0;
    for (unsigned length = 1; length <= HUFF_MAX_LENGTH; ++length) {
        left = (left << 1) - (int)count[length];
        if (left < 0) return HUFF_OVERSUBSCRIBED;
        if (count[length] != 0) maxLength = length;
    }
    if (left != 0) {
        // Only an empty code and a single code of length 1 may leave room:
        // their spare entries read as invalid codes.
        if (maxLength > 1 || (maxLength == 1 && count[1] != 1)) return HUFF_INCOMPLETE;
        for (unsigned i = 0; i < (1u << root); ++i) table[i] = HUFF_INVALID;
    }

    unsigned offset[HUFF_MAX_LENGTH + 1];
    offset[1] = 0;
    for (unsigned length = 1; length < HUFF_MAX_LENGTH; ++length) offset[length + 1] = offset[length] + count[length];
    for (unsigned s = 0; s < n; ++s)
        if (lengths[s] != 0) SortedSymbols[offset[lengths[s]]++] = (uint16_t)s;

    const unsigned rootMask = (1u << root) - 1;
    unsigned code = 0;              // the current code, bit-reversed
    unsigned subPrefix = ~0u;       // the root entry of the open sub-table
    unsigned subStart = 0;          // its first index
    unsigned subBits = 0;           // its width
    unsigned next = 1u << root;     // where the next sub-table starts
    unsigned sorted = 0;
    for (unsigned length = 1; length <= maxLength; ++length) {
        for (; count[length] != 0; --count[length]) {
            HuffEntry e = templates[SortedSymbols[sorted++]];
            HuffEntry* into = table;
            unsigned first = code;
            unsigned bits = length;         // codeword bits within its table
            unsigned size = 1u << root;
            if (length > root) {
                if ((code & rootMask) != subPrefix) {
                    // A new sub-table, as wide as the codes of this prefix
                    // need: widened while the longer codes of the rest of
                    // the code still fit its share of the code space.
                    subPrefix = code & rootMask;
                    subBits = length - root;
                    int room = 1 << subBits;
                    for (unsigned longer = length; longer < maxLength; ++longer) {
                        room -= (int)count[longer];
                        if (room <= 0) break;
                        ++subBits;
                        room <<= 1;
                    }
                    subStart = next;
                    next += 1u << subBits;
                    table[subPrefix] = HUFF_LINK | HUFF_EXCEPTIONAL | (subStart << 16) | (subBits << 8) | root;
                }
                into = table + subStart;
                first = code >> root;
                bits = length - root;
                size = 1u << subBits;
            }
            e += (bits << 8) + bits;
            for (unsigned i = first; i < size; i += 1u << bits) into[i] = e;

            // The next code of this length, incremented in reversed order.
            unsigned bit = 1u << (length - 1);
            while (code & bit) bit >>= 1;
            code = bit != 0 ? (code & (bit - 1)) + bit : 0;
        }
    }
    return HUFF_COMPLETE;
}
