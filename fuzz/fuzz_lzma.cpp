// The LZMA decoder over arbitrary bytes, driven as the engine drives it.
// Bytes 0-4: the properties; byte 5: bit 0 the end marker flag, bits 1-7
// how input and window are handed over; bytes 6-8: the declared size (24
// bits, little-endian, of which 18 count); the rest is the stream.
//
// Invariants: the decoder keeps the calling cycle's rules (the driver checks
// every answer: never more input asked for after the final piece, fewer than
// CODEC_INPUT_MARGIN bytes left when it asks, position within the limit,
// never more output than declared); it ends; and a stream it decodes to its
// end gives the same bytes however the input and window are cut.
#include "fuzz/fuzz_util.h"
#include "support/lzma_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    const uint8_t* properties = data;
    bool endMarker = data[5] & 1;
    uint32_t mode = data[5] >> 1;
    uint64_t declared = (data[6] | data[7] << 8 | (uint32_t)data[8] << 16) & 0x3FFFF;
    std::string stream(reinterpret_cast<const char*>(data + 9), size - 9);

    LzmaDrive whole;
    LzmaOutcome a = DriveLzma(properties, stream, declared, endMarker, whole);
    FUZZ_CHECK(a.broken.empty(), "%s (in one piece)", a.broken.c_str());
    FUZZ_CHECK(a.result == CODEC_END || a.result == CODEC_CORRUPT || a.result == CODEC_REFUSED,
               "answer %d at the end", int(a.result));
    FUZZ_CHECK(a.result != CODEC_REFUSED || LzmaProbabilityBytes(properties) == 0, "valid properties refused");
    FUZZ_CHECK(a.result != CODEC_END || a.output.size() == declared, "ended after %zu of %llu bytes",
               a.output.size(), (unsigned long long)declared);

    // Small pieces, a window just large enough (or smaller than the data,
    // whose distances then fail), limits that move a few bytes at a time.
    LzmaDrive cut;
    cut.chunkVary = 1 + mode % 61;
    cut.step = 1 + (mode * 37) % 300;
    if (mode & 64) cut.windowSize = 4096 + mode;
    LzmaOutcome b = DriveLzma(properties, stream, declared, endMarker, cut);
    FUZZ_CHECK(b.broken.empty(), "%s (in pieces)", b.broken.c_str());
    if (cut.windowSize == 0 || declared <= 4096) {
        FUZZ_CHECK(a.result == b.result, "answer %d in one piece, %d in pieces", int(a.result), int(b.result));
        FUZZ_CHECK(a.result != CODEC_END || a.output == b.output, "output differs with the input in pieces");
    }
    return 0;
}
