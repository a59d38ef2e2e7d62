// The byte reader over one entry's compressed data, shared by the password
// check and the DEFLATE decoder. The buffer fast path is inline; refills and
// the decryption paths live in input_reader.cpp.
#pragma once
#include "archive/archive_state.h"

void ResetInputReader(uint32_t compressedSize);
int RefillInput();   // the slow path of NextByte

// The next byte of the entry data (0..255), or -1 once it is used up or a read
// failed (then Archive.status is SFX_ERR_IO and input.failed is set).
inline int NextByte() {
    InputReader& in = Archive.input;
    if (in.count >= in.position && !(in.bytewiseDecrypt && in.encrypted))
        return in.buffer[in.position++ - 1];
    return RefillInput();
}
