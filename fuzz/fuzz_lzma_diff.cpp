// Differential check of the LZMA decoder against liblzma's raw decoder.
// Byte 0: the properties byte; byte 1: the dictionary size, 2 to the power
// of 12 plus its low 4 bits, plus 256 times its high 4 bits; byte 2: bit 0 the end marker flag;
// bytes 3-5: the declared size (20 bits); the rest is the stream.
//
// Both decode on the same terms: the declared size, an end marker allowed
// when the flag is set, and a window of liblzma's dictionary (at least 4096
// bytes, rounded up to 16; smaller when the declared size is). Whatever one
// decodes to its end, the other must decode to the same bytes; whatever one
// refuses, the other must refuse. liblzma takes lc + lp up to 4 only; other
// properties are decoded here alone.
#include "fuzz/fuzz_util.h"
#include "support/lzma_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    uint32_t dictionary = (1u << (12 + data[1] % 16)) + (data[1] >> 4 << 8);
    uint8_t properties[5] = {data[0], (uint8_t)dictionary, (uint8_t)(dictionary >> 8), (uint8_t)(dictionary >> 16),
                             (uint8_t)(dictionary >> 24)};
    bool endMarker = data[2] & 1;
    uint64_t declared = (data[3] | data[4] << 8 | (uint32_t)data[5] << 16) & 0xFFFFF;
    std::string stream(reinterpret_cast<const char*>(data + 6), size - 6);

    uint32_t window = (dictionary + 15) & ~15u;
    LzmaDrive drive;
    drive.windowSize = declared < window ? (uint32_t)declared + 64 : window;
    drive.chunk = 1 + data[2] * 13;
    LzmaOutcome r = DriveLzma(properties, stream, declared, endMarker, drive);
    FUZZ_CHECK(r.broken.empty(), "%s", r.broken.c_str());

    uint32_t lc = data[0] % 9, lp = data[0] / 9 % 5;
    if (data[0] >= 225 || lc + lp > 4) return 0;
    LiblzmaOutcome peer = LiblzmaDecode(properties, stream, declared, endMarker);
    if (peer.result == LZMA_STREAM_END) {
        FUZZ_CHECK(r.result == CODEC_END, "liblzma decodes %zu bytes, here answer %d after %zu bytes",
                   peer.output.size(), int(r.result), r.output.size());
        FUZZ_CHECK(r.output == peer.output, "output differs from liblzma's (%zu bytes here, %zu there)",
                   r.output.size(), peer.output.size());
    } else {
        FUZZ_CHECK(r.result == CODEC_CORRUPT, "liblzma refuses (%d), here answer %d with %zu bytes",
                   int(peer.result), int(r.result), r.output.size());
    }
    return 0;
}
