// Multi-level lookup tables for canonical Huffman codes.
#pragma once
#include "support/sfx_types.h"
#include "support/file_layer.h"

// Eight bytes a slot, so that a lookup is one scaled index.
struct HuffEntry {
    uint8_t op;         // 0..13 extra bits of a length/distance, 15 end of block,
                        // 16 literal, 17..32 link (op - 16 = sub-table width), 99 invalid
    uint8_t bits;       // bits to drop when this slot is taken
    uint16_t value;     // the symbol's value
    uint32_t link;      // for a link: how many slots past this one its
                        // sub-table starts (HuffSubTable)
};

// All tables of one build share one block: the root first, then the
// sub-tables in the order they were opened.
typedef HuffEntry* HuffTable;   // the root's first slot, the start of the block

inline const HuffEntry* HuffSubTable(const HuffEntry* link) {
    return link + link->link;
}

const uint8_t HUFF_OP_END = 15;
const uint8_t HUFF_OP_LITERAL = 16;
const uint8_t HUFF_OP_INVALID = 99;

// Returns 0 complete (or a single code of length 1, or all lengths 0),
// 1 incomplete (tables handed back), 2 over-subscribed, 3 out of memory
// (nothing allocated).
int BuildHuffTable(const unsigned* lengths, unsigned n, unsigned simple,
                   const uint16_t* base, const uint16_t* extra,
                   HuffTable* root, unsigned* lookupBits);
// Frees every table of a build (null does nothing).
inline void FreeHuffTable(HuffTable root) {
    MemFree(root);   // the root starts the block
}
