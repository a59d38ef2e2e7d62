// Compressing a file in pieces of a fixed size, each on its own (so that any
// number of threads gives the same bytes), joined into one DEFLATE stream.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <vector>

struct libdeflate_compressor;

// Large enough that a piece loses little by not seeing the one before it
// (under 1 KB per boundary at level 12), small enough to keep two cores busy
// with a file of a few tens of megabytes.
const size_t PIECE_SIZE = 8u << 20;

// The compressors of one thread: the one of the chosen level, and one of
// level 1 that tells data which does not compress (null at level 1).
struct PieceCompressors {
    libdeflate_compressor* chosen;
    libdeflate_compressor* fast;
};

// Compresses data into *out as raw DEFLATE. A piece that is not its file's
// last is left open: its final block is marked as not final and an empty
// stored block brings it to a byte boundary, so that the next piece's stream
// can follow directly. A piece that level 1 cannot shrink anywhere (random or
// already compressed data) becomes stored blocks at once: the higher levels
// would spend as much time on it as on text and gain nothing. false only
// when libdeflate fails.
bool CompressPiece(const PieceCompressors& compressors, const uint8_t* data, size_t size, bool last,
                   std::vector<uint8_t>* out);

// Where the header of the stream's last block starts and where the stream
// ends, in bits from its start. false for a stream that does not decode.
bool FindLastBlock(const uint8_t* stream, size_t size, uint64_t* lastHeaderBit, uint64_t* endBit);
