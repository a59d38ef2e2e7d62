#include "tools/mksfx/pack/deflate_pieces.h"

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

namespace {

const size_t SAMPLE = 256 * 1024;
const size_t WINDOW = 1024 * 1024;

// True when level 1 saves less than 1/256 on the piece's first SAMPLE bytes
// and then on every WINDOW of it.
bool Incompressible(libdeflate_compressor* fast, const uint8_t* data, size_t size, std::vector<uint8_t>& scratch) {
    scratch.resize(libdeflate_deflate_compress_bound(fast, WINDOW));
    auto shrinks = [&](size_t at, size_t count) {
        size_t produced = libdeflate_deflate_compress(fast, data + at, count, scratch.data(), scratch.size());
        return produced != 0 && produced < count - count / 256;
    };
    if (shrinks(0, size < SAMPLE ? size : SAMPLE)) return false;
    for (size_t at = 0; at < size; at += WINDOW)
        if (shrinks(at, size - at < WINDOW ? size - at : WINDOW)) return false;
    return true;
}

// The piece as stored blocks; only the last piece's last block is final.
void StoredBlocks(const uint8_t* data, size_t size, bool last, std::vector<uint8_t>* out) {
    out->clear();
    size_t at = 0;
    do {
        size_t count = size - at < 65535 ? size - at : 65535;
        out->push_back(last && at + count == size ? 1 : 0);     // BFINAL, type 0, padding
        out->push_back(uint8_t(count));
        out->push_back(uint8_t(count >> 8));
        out->push_back(uint8_t(~count));
        out->push_back(uint8_t(~count >> 8));
        out->insert(out->end(), data + at, data + at + count);
        at += count;
    } while (at < size);
}

}  // namespace

bool CompressPiece(const PieceCompressors& compressors, const uint8_t* data, size_t size, bool last,
                   std::vector<uint8_t>* out) {
    if (compressors.fast && size > 0 && Incompressible(compressors.fast, data, size, *out)) {
        StoredBlocks(data, size, last, out);
        return true;
    }
    libdeflate_compressor* compressor = compressors.chosen;
    out->resize(libdeflate_deflate_compress_bound(compressor, size));
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
