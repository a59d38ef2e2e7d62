// Multi-level lookup tables for canonical Huffman codes.
#pragma once
#include "support/sfx_types.h"

struct HuffEntry {
    uint8_t op;         // 0..13 extra bits of a length/distance, 15 end of block,
                        // 16 literal, 17..32 link (op - 16 = sub-table width), 99 invalid
    uint8_t bits;       // bits to drop when this slot is taken
    union {
        uint16_t value;
        HuffEntry* link;
    };
};

typedef HuffEntry* HuffTable;   // refers to the first real slot, behind the header

const uint8_t HUFF_OP_END = 15;
const uint8_t HUFF_OP_LITERAL = 16;
const uint8_t HUFF_OP_INVALID = 99;

// Returns 0 complete (or a single code of length 1, or all lengths 0),
// 1 incomplete (tables handed back), 2 over-subscribed, 3 out of memory.
int BuildHuffTable(const unsigned* lengths, unsigned n, unsigned simple,
                   const uint16_t* base, const uint16_t* extra,
                   HuffTable* root, unsigned* lookupBits);
void FreeHuffTable(HuffTable root);
