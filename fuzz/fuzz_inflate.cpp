// The DEFLATE decoder, as the engine runs it, over arbitrary bytes. The first four bytes (little-
// endian) are the declared uncompressed size of the entry, the rest is the
// DEFLATE data.
//
// Invariants: the decoder ends; the status is one the decoder may leave; it
// never writes more than the declared size; the byte count and the CRC
// accumulator describe exactly what reached the output file.
#include "fuzz/fuzz_inflate_runner.h"
#include <zlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t declared = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
    // Bound the memory file: larger declarations behave alike.
    if (declared > (64u << 20)) declared = 0xFFFFFFFF;
    InflateOutcome r = RunInflate(data + 4, size - 4, declared);

    FUZZ_CHECK(r.status == SFX_OK || r.status == SFX_ERR_BAD_DATA || r.status == SFX_ERR_IO,
               "unexpected status %u", unsigned(r.status));
    FUZZ_CHECK(r.output.size() <= declared, "wrote %zu bytes, declared %u", r.output.size(), declared);
    if (r.status == SFX_OK) {
        FUZZ_CHECK(r.bytesWritten == r.output.size(), "bytes written %llu, file holds %zu",
                   (unsigned long long)r.bytesWritten, r.output.size());
        uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(r.output.data()), uInt(r.output.size())));
        FUZZ_CHECK(crc == r.crc, "CRC accumulator %08x, output's CRC %08x", r.crc, crc);
    }
    return 0;
}
