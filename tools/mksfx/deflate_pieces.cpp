#include "tools/mksfx/deflate_pieces.h"

#include <libdeflate.h>
#include <zlib.h>

bool FindLastBlock(const uint8_t* stream, size_t size, uint64_t* lastHeaderBit, uint64_t* endBit) {
    // zlib's inflate stops at every block boundary when asked to (Z_BLOCK) and
    // says then how many bits of the last byte it took are still unused.
    z_stream zs = {};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return false;
    std::vector<uint8_t> sink(64 * 1024);
    zs.next_in = const_cast<uint8_t*>(stream);
    zs.avail_in = uInt(size);
    *lastHeaderBit = 0;
    *endBit = 0;
    bool ended = false;
    for (;;) {
        zs.next_out = sink.data();
        zs.avail_out = uInt(sink.size());
        int result = inflate(&zs, Z_BLOCK);
        if (result == Z_STREAM_END) break;
        if (result != Z_OK) {
            inflateEnd(&zs);
            return false;
        }
        if (zs.data_type & 128) {
            uint64_t at = uint64_t(size - zs.avail_in) * 8 - (zs.data_type & 7);
            if (zs.data_type & 64) {
                *endBit = at;           // behind the final block
                ended = true;
            } else {
                *lastHeaderBit = at;    // the next block's header starts here
            }
        }
    }
    inflateEnd(&zs);
    return ended;
}

bool CompressPiece(libdeflate_compressor* compressor, const uint8_t* data, size_t size, bool last,
                   std::vector<uint8_t>* out) {
    out->resize(libdeflate_deflate_compress_bound(compressor, size) + 5);
    size_t produced = libdeflate_deflate_compress(compressor, data, size, out->data(), out->size());
    if (produced == 0) return false;
    out->resize(produced);
    if (last) return true;

    uint64_t header, end;
    if (!FindLastBlock(out->data(), out->size(), &header, &end) || (end + 7) / 8 != out->size()) return false;
    (*out)[header / 8] &= uint8_t(~(1u << (header % 8)));      // BFINAL off
    unsigned used = unsigned(end % 8);
    if (used) out->back() &= uint8_t((1u << used) - 1);        // padding bits are zero
    // An empty stored block: three header bits (not final, type 0) where the
    // stream ended, padding to the byte, then LEN 0 and NLEN 0xFFFF.
    if (used == 0 || used > 5) out->push_back(0);
    static const uint8_t emptyLength[4] = {0x00, 0x00, 0xFF, 0xFF};
    out->insert(out->end(), emptyLength, emptyLength + 4);
    return true;
}
