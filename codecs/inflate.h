// DEFLATE (RFC 1951) decoding of the current entry from NextByte into the
// 32768-byte output window; every flush goes through CRC, file and progress.
#pragma once
#include "archive/archive_state.h"
#include "codecs/huffman.h"

const uint32_t WINDOW_SIZE = 32768;

// Block results.
const int BLOCK_OK = 0;
const int BLOCK_CORRUPT = 1;        // also: input ended, read failed, output limit passed
const int BLOCK_REFUSED = 2;        // block type 3 or an over-subscribed code
const int BLOCK_NO_MEMORY = 3;      // a table block was refused

// Bytes of all-one bits that may be taken beyond the end of an entry's data.
// A valid stream looks at most one byte past its end (its last end-of-block
// code is never looked past); a stream cut short would otherwise decode the
// endless one bits as literals.
const unsigned INPUT_OVERRUN_LIMIT = 4;

// Process-wide decoder state, one entry at a time.
struct DecoderState {
    uint32_t bitBuffer;         // next stream bit in the least significant position
    unsigned bitCount;
    unsigned windowPosition;    // where the next decoded byte goes
    HuffTable fixedLitLen;      // built at an entry's first fixed block
    HuffTable fixedDistance;
    unsigned fixedLitLenBits;
    unsigned fixedDistanceBits;
    unsigned overrun;           // bytes of one bits taken past the end of the data
    unsigned broken;            // set: the stream must end now as a failed block
    unsigned codeLengths[286 + 30];
    unsigned fixedLengths[288];
};

extern DecoderState Decoder;
extern uint8_t OutputWindow[WINDOW_SIZE];

extern const uint8_t CodeLengthOrder[19];
extern const uint16_t LengthBase[31];
extern const uint16_t LengthExtraBits[31];
extern const uint16_t DistanceBase[30];
extern const uint16_t DistanceExtraBits[30];
const unsigned LitLenLookupBits = 9;
const unsigned DistanceLookupBits = 6;

void DecodeDeflatedEntry();     // outcome in Archive.status
int DecodeDeflateStream();      // 0 or the failing block's result
int DecodeBlock(int* finalBlock);
int CopyStoredBlock();
int DecodeFixedBlock();
int DecodeDynamicBlock();
int DecodeSymbols(HuffTable litLen, HuffTable distance, unsigned litLenBits, unsigned distanceBits);
void FlushWindow(uint32_t count);
void ReleaseFixedTables();
