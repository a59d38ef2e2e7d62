// Matches found ahead of the LZMA encoder, which takes them position by
// position in place of its own match finder's and writes the very stream
// it writes with its own (liblzma as cmake/liblzma/match_source.patch
// extends it). The match finder (the binary trees) is about 70 % of the
// work; the optimum parse and the range coder the rest. Two sources:
// - a match finder on a thread of its own, beside the encoder;
// - the matches of a sample recorded once and replayed to several encoders
//   of it, as the literal-context trials run them (the matches do not
//   depend on the context).
// Both need the whole data in memory. Knows nothing of files.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <vector>
#include <lzma.h>
#include "lz_match_source.h"

// Readable bytes the data must have after its end (the match finder
// compares eight bytes at a time).
const size_t LZMA_MATCH_PADDING = 8;

struct LzmaMatchThread;

// Starts a match finder of the encoder's options over data[0 .. size) on a
// thread of its own. nullptr when memory or the thread is refused: the
// encoder then finds its matches itself, with the same result. The data
// stays in place until EndLzmaMatchThread.
LzmaMatchThread* StartLzmaMatchThread(const lzma_options_lzma& options, const uint8_t* data, size_t size);
// What the encoder's options point to (reserved_ptr1) to take the matches:
// the encoder must be fed exactly the same data.
const lzma_match_source* LzmaMatchSource(LzmaMatchThread* thread);
// Stops the finder (also before it is through) and frees everything; called
// once the encoder that took the matches has ended.
void EndLzmaMatchThread(LzmaMatchThread* thread);

// The matches of every position of a sample, in order.
struct LzmaRecordedMatches {
    std::vector<uint16_t> counts;       // per position
    std::vector<lzma_match> matches;
};
// Runs a match finder of the encoder's options over data[0 .. size)
// (followed by LZMA_MATCH_PADDING readable bytes). false when memory is
// short or the sample has more than limit matches (then each encoder finds
// its own).
bool RecordLzmaMatches(const lzma_options_lzma& options, const uint8_t* data, size_t size, size_t limit,
                       LzmaRecordedMatches* recorded);

// One encoder's way through recorded matches; its source is what the
// encoder's options point to (reserved_ptr1).
struct LzmaReplay {
    const LzmaRecordedMatches* recorded;
    size_t position;
    size_t match;
    lzma_match_source source;
};
void StartLzmaReplay(LzmaReplay* replay, const LzmaRecordedMatches& recorded);
