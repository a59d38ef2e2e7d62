// The LZMA match finder on a thread of its own, ahead of the encoder: the
// finder's work (the binary trees, about half of all) and the encoder's
// (the optimum parse and the range coder) run side by side, and the
// encoder, which takes the matches position by position, writes the very
// stream it writes with its own match finder. Needs the whole entry in
// memory. Knows nothing of files.
#pragma once
#include <stddef.h>
#include <stdint.h>
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
