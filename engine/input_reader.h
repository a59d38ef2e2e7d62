// The byte reader over one entry's compressed data, shared by the password
// check and the DEFLATE decoder. The buffer fast path is inline (not in the
// Windows stub, where size counts); refills and the decryption paths live in
// input_reader.cpp.
#pragma once
#include "archive/archive_state.h"

// Position past the end of an empty buffer: the first NextByte refills.
void ResetInputReader(uint32_t compressedSize);
int RefillInput();   // the slow path of NextByte
// Reads the next chunk of the entry data into the buffer (no decryption of
// its own). false after a failed or short read: status SFX_ERR_IO, the
// reader is marked failed and hands out only -1 from then on.
bool FillInput();

// The next byte of the entry data (0..255), or -1 once it is used up or a read
// failed (then Archive.status is SFX_ERR_IO and input.failed is set).
inline int NextByte() {
#if SFX_STUB
    return RefillInput();   // it hands out buffered bytes too; one call is smaller
#else
    InputReader& in = Archive.input;
    if (in.count >= in.position && !(in.bytewiseDecrypt && in.encrypted))
        return in.buffer[in.position++ - 1];
    return RefillInput();
#endif
}
