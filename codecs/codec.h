// What every decoder of entry data shares: the input it is handed, the
// window it fills, and what it answers. A decoder turns input into output
// and nothing more: reading, decryption, the output limit, the CRC, the
// write and progress belong to the engine, which calls the decoder again
// and again until it answers CODEC_END or a failure.
//
// The calling cycle:
//   - The engine hands bytes [next, end) of the entry's (decrypted) data;
//     final says that the entry's data end at end.
//   - The decoder takes what it can. It answers CODEC_NEEDS_INPUT when it
//     cannot go on with what is left; it has then taken every byte it could,
//     and fewer than CODEC_INPUT_MARGIN bytes stay untaken. The engine keeps
//     those, puts further bytes behind them and calls again. With final set
//     the decoder never answers CODEC_NEEDS_INPUT: data that end too early
//     are CODEC_CORRUPT.
//   - The decoder writes its output at window.position and advances it, but
//     never past window.limit. When position reaches limit it answers
//     CODEC_WINDOW_FULL. After every answer the engine writes out what the
//     decoder added during the call, moves position back to 0 when it
//     stands at the window's size (the window is a ring: the bytes behind
//     position are the history that matches copy from), sets a new limit
//     and calls again.
//   - CODEC_END: the stream ended; what stands before position is the last
//     output.
// Each decoder keeps its own state between calls (process-wide, one entry
// at a time) and is told by its own start function where an entry begins.
#pragma once
#include <stdint.h>

enum CodecResult : uint8_t {
    CODEC_NEEDS_INPUT,  // more input, please (never when input.final is set)
    CODEC_WINDOW_FULL,  // window.position reached window.limit
    CODEC_END,          // the stream ended properly
    CODEC_CORRUPT,      // not a valid stream, or it ended before its end
    CODEC_REFUSED       // valid in form, but of a kind this program does not take
};

// Fewer bytes than this are left untaken when a decoder asks for more; the
// engine's input buffer holds at least this much beside each read.
const uint32_t CODEC_INPUT_MARGIN = 512;

struct CodecInput {
    const uint8_t* next;    // the first byte not yet taken
    const uint8_t* end;     // behind the last byte handed over
    uint32_t final;         // set: the entry's data end at end
};

struct CodecWindow {
    uint8_t* buffer;        // the ring; bytes are written at buffer[position]
    uint32_t size;          // the ring's size; position never passes it
    uint32_t position;      // where the next output byte goes
    uint32_t limit;         // position stops here (limit <= size)
};
