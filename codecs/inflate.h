// DEFLATE (RFC 1951) decoding through the decoders' interface (codec.h):
// InflateStart at the start of an entry, then Inflate again and again.
//
// Two paths share the work. The fast loop (inflate_fast.cpp) runs while
// the input holds enough bytes for any symbol and the window room for the
// longest match: it refills its bit buffer a machine word at a time and
// copies matches in words. The careful path (inflate.cpp) does everything
// else one step at a time: block headers and code tables, stored blocks,
// and the symbols near the end of the input or of the window.
#pragma once
#include "codecs/codec.h"
#include "codecs/huffman.h"

// The window must hold the largest distance and, ahead of the write
// position, room that a match's word copies may overrun without touching
// history: a ring of twice the largest distance.
const uint32_t INFLATE_MAX_DISTANCE = 32768;
const uint32_t INFLATE_WINDOW_SIZE = 2 * INFLATE_MAX_DISTANCE;
const unsigned INFLATE_MAX_MATCH = 258;

// Root widths: wide enough that nearly every code is found in one lookup.
const unsigned LITLEN_ROOT_BITS = 11;
const unsigned DISTANCE_ROOT_BITS = 8;
const unsigned CODE_LENGTH_ROOT_BITS = 7;
const unsigned LITLEN_TABLE_SIZE = HuffTableSize(LITLEN_ROOT_BITS, HUFF_MAX_SYMBOLS);
const unsigned DISTANCE_TABLE_SIZE = HuffTableSize(DISTANCE_ROOT_BITS, 32);
// Codes of at most 7 bits fit their root: no sub-tables.
const unsigned CODE_LENGTH_TABLE_SIZE = 1u << CODE_LENGTH_ROOT_BITS;
static_assert(HuffTableSize(CODE_LENGTH_ROOT_BITS, 19) >= CODE_LENGTH_TABLE_SIZE, "code-length table");

// The bit buffer: a machine word (64 bits on x86-64, 32 on i686). A build
// may force 32 bits (SFX_WORD32) to measure the 32-bit program's path on a
// 64-bit host.
#if defined(SFX_WORD32)
typedef uint32_t InflateBits;
#else
typedef uintptr_t InflateBits;
#endif

// Where the careful path stands between two calls.
enum InflateStep : uint8_t {
    STEP_BLOCK_HEADER,      // the next block's header (and code tables)
    STEP_STORED,            // inside a stored block: storedLeft bytes to copy
    STEP_SYMBOLS,           // inside a Huffman-coded block
    STEP_MATCH,             // a match that the window's limit interrupted
    STEP_DONE               // the final block has ended
};

struct InflateState {
    InflateBits bitBuffer;      // stream bits not yet used, the next one lowest
    unsigned bitCount;          // how many of them are valid
    unsigned overrun;           // zero bytes read past the end of final input
    InflateStep step;
    uint8_t finalBlock;         // the current block is the last one
    uint8_t wrapped;            // the window has been filled once this entry
    uint8_t fixedBuilt;         // the fixed code's tables are ready
    unsigned storedLeft;
    unsigned matchLength;       // what is left of an interrupted match
    unsigned matchDistance;
    // The current block's tables.
    const HuffEntry* litLen;
    const HuffEntry* distance;
    HuffEntry dynamicLitLen[LITLEN_TABLE_SIZE];
    HuffEntry dynamicDistance[DISTANCE_TABLE_SIZE];
    HuffEntry codeLengthTable[CODE_LENGTH_TABLE_SIZE];
    // The fixed code's tables: built once, the first time they are needed.
    // Its codes fit the roots (at most 9 and 5 bits).
    HuffEntry fixedLitLen[1u << LITLEN_ROOT_BITS];
    HuffEntry fixedDistance[1u << DISTANCE_ROOT_BITS];
    uint8_t lengths[HUFF_MAX_SYMBOLS + 32];
};

// Process-wide: one entry is decoded at a time.
extern InflateState Inflater;

// Starts a new stream: the next call of Inflate reads its first block.
void InflateStart();

// Decodes from input into window as codec.h describes. The window must
// be INFLATE_WINDOW_SIZE bytes; the caller moves its position back to 0 at
// the end, and the decoder never writes at or past the limit.
CodecResult Inflate(CodecInput* input, CodecWindow* window);

// The fast loop, inside a Huffman-coded block. It runs while at least
// INFLATE_FAST_INPUT bytes of input are left and the position stays
// INFLATE_FAST_ROOM below the limit, and tells why it stopped.
const unsigned INFLATE_FAST_INPUT = 32;
const unsigned INFLATE_FAST_ROOM = INFLATE_MAX_MATCH + 2 * sizeof(InflateBits);
enum FastStop : uint8_t { FAST_MARGIN, FAST_END_OF_BLOCK, FAST_CORRUPT };
FastStop InflateFast(CodecInput* input, CodecWindow* window);
