// Differential check of the DEFLATE decoder against zlib's raw inflate.
//
// A stream that zlib inflates to its end (Z_STREAM_END) must inflate here to
// the same bytes, with the declared size set to exactly that length (so the
// output limit never refuses valid data). Bytes after the final block are
// ignored by both. A stream that zlib rejects or that runs out of input must
// be rejected here too, except where this decoder is knowingly looser:
//
//  1. "invalid bit length repeat" for a repeat code 16 at the first length of
//     a dynamic block: here it repeats length 0 (a repeat running past the
//     HLIT + HDIST lengths is refused by both, but zlib's message is the same,
//     so the whole message is skipped).
//  2. "invalid code lengths set" for a code-length code that consists of one
//     code of length 1: zlib refuses any incomplete code-length code, this
//     decoder counts a single one-bit code as complete for every code (zlib
//     does so only for the literal/length and distance codes). The message
//     also covers other refusals, so it is skipped as a whole.
//
// Everything else must agree: stored-block length checks, block type 3,
// HLIT/HDIST limits, incomplete and over-subscribed codes, symbols 286/287
// and distance codes 30/31, a missing end-of-block code, distances beyond
// the bytes produced so far, and input that ends before the stream does.
#include "fuzz/fuzz_inflate_runner.h"
#include <zlib.h>

namespace {

const size_t OUTPUT_CAP = 64u << 20;

struct ZlibOutcome {
    bool complete = false;   // Z_STREAM_END
    bool dataError = false;  // Z_DATA_ERROR (else the input ran out)
    bool tooBig = false;
    std::string message;
    std::string output;
};

ZlibOutcome ZlibInflate(const uint8_t* data, size_t size) {
    ZlibOutcome z;
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -15) != Z_OK) abort();
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = uInt(size);
    unsigned char chunk[65536];
    for (;;) {
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        int rc = inflate(&zs, Z_NO_FLUSH);
        z.output.append(reinterpret_cast<char*>(chunk), sizeof chunk - zs.avail_out);
        if (z.output.size() > OUTPUT_CAP) { z.tooBig = true; break; }
        if (rc == Z_STREAM_END) { z.complete = true; break; }
        if (rc == Z_DATA_ERROR) { z.dataError = true; z.message = zs.msg ? zs.msg : ""; break; }
        if (rc == Z_BUF_ERROR || (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0)) break;
        if (rc != Z_OK) abort();
    }
    inflateEnd(&zs);
    return z;
}

bool KnownLooser(const std::string& message) {
    return message == "invalid bit length repeat" || message == "invalid code lengths set";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZlibOutcome z = ZlibInflate(data, size);
    if (z.tooBig) return 0;

    if (z.complete) {
        InflateOutcome r = RunInflate(data, size, uint32_t(z.output.size()));
        FUZZ_CHECK(r.status == SFX_OK && r.result == 0, "zlib inflates %zu bytes, here status %u result %d",
                   z.output.size(), unsigned(r.status), r.result);
        FUZZ_CHECK(r.output == z.output, "output differs from zlib (%zu bytes here, %zu from zlib)",
                   r.output.size(), z.output.size());
        return 0;
    }

    InflateOutcome r = RunInflate(data, size, 0xFFFFFFFF);
    if (r.status != SFX_OK) return 0;
    if (z.dataError) {
        FUZZ_CHECK(KnownLooser(z.message), "zlib refuses (%s), here decoded %zu bytes", z.message.c_str(),
                   r.output.size());
        return 0;
    }
    FUZZ_CHECK(false, "the stream runs out of input for zlib, here decoded %zu bytes", r.output.size());
    return 0;
}
