// Lookup tables for the canonical Huffman codes of DEFLATE (RFC 1951,
// 3.2.2). A table is indexed by the next stream bits, least significant
// first: a root of 2^root entries, where codes of at most root bits are
// replicated across every entry they prefix, and behind it sub-tables for
// the longer codes, reached through link entries of the root. The tables
// live in fixed arrays of the caller, sized for the worst case.
#pragma once
#include <stdint.h>

// One table entry, 32 bits:
//
//   bits  0..7   TOTAL: the stream bits the entry takes: its codeword (the
//                part below the root for a sub-table entry) plus the extra
//                bits of a length or distance. A decoder drops them whole.
//                For a link: the root's width, the bits that led to it.
//   bits  8..11  CODEWORD: the codeword's bits alone; the extra bits of a
//                length or distance are (stream bits & mask(TOTAL)) >>
//                CODEWORD. For a link: the sub-table's index width.
//   bit  12      HUFF_LITERAL: a literal byte, in VALUE.
//   bit  13      HUFF_EXCEPTIONAL: a link, the end of the block, or an
//                invalid code (neither HUFF_LINK nor HUFF_END).
//   bit  14      HUFF_LINK: VALUE is the sub-table's first index.
//   bit  15      HUFF_END: the end-of-block code.
//   bits 16..31  VALUE: the literal, the base length or distance, the
//                symbol of a code-length code, or the sub-table's start.
//
// An entry with none of bits 12..15 is a length or distance: VALUE plus
// the extra bits.
typedef uint32_t HuffEntry;

const HuffEntry HUFF_LITERAL = 0x1000;
const HuffEntry HUFF_EXCEPTIONAL = 0x2000;
const HuffEntry HUFF_LINK = 0x4000;
const HuffEntry HUFF_END = 0x8000;
const HuffEntry HUFF_INVALID = HUFF_EXCEPTIONAL;

inline unsigned HuffTotal(HuffEntry e) { return e & 0xFF; }
inline unsigned HuffCodeword(HuffEntry e) { return (e >> 8) & 0xF; }
inline unsigned HuffValue(HuffEntry e) { return e >> 16; }

// Longest DEFLATE code; the most symbols of one code.
const unsigned HUFF_MAX_LENGTH = 15;
const unsigned HUFF_MAX_SYMBOLS = 288;

// The worst case of a table with a root of r bits over at most n symbols
// of complete code: the root, and one sub-table per root entry whose codes
// are longer than r. Such a sub-table fills its share of the code space
// with at least two codes, so there are at most n / 2 of them, each of at
// most 2^(15 - r) entries.
constexpr unsigned HuffTableSize(unsigned rootBits, unsigned symbols) {
    return (1u << rootBits) + (symbols / 2) * (1u << (HUFF_MAX_LENGTH - rootBits));
}

enum HuffResult : uint8_t {
    HUFF_COMPLETE,          // built (also: no codes at all, or one code of length 1)
    HUFF_INCOMPLETE,        // fewer codes than the code space holds; nothing built
    HUFF_OVERSUBSCRIBED     // more codes than the code space holds; nothing built
};

// Builds the table of the code whose lengths (0..15, 0: no code) are given
// for symbols 0..n-1. templates[s] is symbol s's entry without its lengths
// (kind and VALUE, the extra-bit count in TOTAL). The root is rootBits wide
// (1 to 15), whatever the longest code: a decoder then indexes every table
// of its kind with the same mask. The table needs HuffTableSize(rootBits, n)
// entries. In a code of no symbols every root entry is invalid; one code of
// length 1 takes every other one.
HuffResult BuildHuffTable(const uint8_t* lengths, unsigned n, const HuffEntry* templates,
                          HuffEntry* table, unsigned rootBits);
