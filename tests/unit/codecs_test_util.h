// Helpers of the codec tests: run a raw DEFLATE stream through the real entry
// decoding (stream file -> input pieces -> decoder -> window -> output file),
// and a bit writer for hand-built streams.
#pragma once
#include <gtest/gtest.h>
#include <zlib.h>
#include <string>
#include <vector>
#include "archive/archive_state.h"
#include "codecs/inflate.h"
#include "engine/entry_decode.h"
#include "engine/input_reader.h"
#include "support/file_layer.h"
#include "support/zip_writer.h"

struct InflateResult {
    SfxStatus status = 0xFFFF;
    std::string output;                 // what reached the output file
    std::vector<uint64_t> progress;     // every ProgressFn 'done' value
    uint32_t crc = 0;                   // the entry's CRC register, complemented
    uint64_t bytesWritten = 0;
};

// Progress callback of the helper: records, and answers false from the
// given call on (0: never).
inline std::vector<uint64_t>& ProgressLog() {
    static std::vector<uint64_t> log;
    return log;
}
inline size_t& ProgressStopAt() {
    static size_t stopAt = 0;
    return stopAt;
}
inline bool RecordProgress(uint64_t done, uint64_t) {
    ProgressLog().push_back(done);
    return ProgressStopAt() == 0 || ProgressLog().size() < ProgressStopAt();
}

// Decodes stream as the data of a deflated entry that declares declaredSize
// uncompressed bytes. The stream file may hold trailing bytes beyond
// dataSize (the entry's compressed size), as an archive does.
inline InflateResult InflateWith(const TempDir& dir, const std::string& file, uint32_t dataSize,
                                 uint32_t declaredSize, size_t stopProgressAt = 0) {
    InflateResult r;
    ProgressLog().clear();
    ProgressStopAt() = stopProgressAt;
    Archive.status = SFX_OK;
    Archive.archiveHandle = FileOpen(file.c_str(), "rb");
    EXPECT_NE(Archive.archiveHandle, FILE_NONE);
    Archive.entry = CatalogEntry();
    Archive.entry.header.method = 8;
    Archive.entry.compressedSize = dataSize;
    Archive.entry.uncompressedSize = declaredSize;
    StartInput(dataSize);
    std::string outPath = dir.File("out.bin");
    Archive.outputHandle = FileOpen(outPath.c_str(), "wb");
    EXPECT_NE(Archive.outputHandle, FILE_NONE);
    Archive.crc = 0xFFFFFFFF;
    Archive.bytesWritten = 0;
    Archive.progress = RecordProgress;
    DecodeEntryData(METHOD_DEFLATED);
    r.status = Archive.status;
    r.crc = ~Archive.crc;
    r.bytesWritten = Archive.bytesWritten;
    FileClose(Archive.outputHandle);
    FileClose(Archive.archiveHandle);
    Archive.outputHandle = FILE_NONE;
    Archive.archiveHandle = FILE_NONE;
    Archive.progress = nullptr;
    r.output = ReadFileBytes(outPath);
    r.progress = ProgressLog();
    return r;
}

inline InflateResult Inflate(const std::string& stream, uint32_t declaredSize, size_t stopProgressAt = 0) {
    TempDir dir;
    WriteFileBytes(dir.File("stream.bin"), stream);
    return InflateWith(dir, dir.File("stream.bin"), (uint32_t)stream.size(), declaredSize, stopProgressAt);
}

// The order of the code-length code lengths in a dynamic block header
// (RFC 1951, 3.2.7), written here independently of the decoder's copy.
const unsigned CODE_LENGTH_ORDER_RFC[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Length symbols 257..285 and distance codes 0..29 (RFC 1951, 3.2.5).
const unsigned LENGTH_BASE_RFC[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                      35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const unsigned LENGTH_EXTRA_RFC[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                       3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const unsigned DISTANCE_BASE_RFC[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
                                        257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145,
                                        8193, 12289, 16385, 24577};
const unsigned DISTANCE_EXTRA_RFC[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                         7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Writes bits least significant first, as DEFLATE packs them; Huffman codes
// are given most significant bit first and reversed here.
struct BitWriter {
    std::string bytes;
    uint32_t acc = 0;
    unsigned count = 0;
    void Bits(uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            acc |= ((value >> i) & 1u) << count;
            if (++count == 8) Flush();
        }
    }
    void Code(uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;) Bits((code >> i) & 1u, 1);
    }
    void Flush() {
        bytes.push_back(char(acc));
        acc = 0;
        count = 0;
    }
    void AlignToByte() {
        if (count) Flush();
    }
    std::string Finish() {
        AlignToByte();
        return bytes;
    }
    // Fixed-code symbols (RFC 1951, 3.2.6).
    void FixedLitLen(unsigned symbol) {
        if (symbol < 144) Code(0x30 + symbol, 8);
        else if (symbol < 256) Code(0x190 + symbol - 144, 9);
        else if (symbol < 280) Code(symbol - 256, 7);
        else Code(0xC0 + symbol - 280, 8);
    }
    void FixedDistance(unsigned symbol) { Code(symbol, 5); }
};

// Canonical codes for a list of lengths (RFC 1951, 3.2.2).
inline std::vector<uint32_t> CanonicalCodes(const std::vector<unsigned>& lengths) {
    unsigned count[17] = {0};
    for (unsigned l : lengths) ++count[l];
    count[0] = 0;
    uint32_t next[17] = {0};
    uint32_t code = 0;
    for (unsigned bits = 1; bits <= 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    return codes;
}

inline std::string ZlibInflateRaw(const std::string& stream, size_t expected) {
    z_stream zs = {};
    inflateInit2(&zs, -15);
    std::string out(expected + 1, '\0');
    zs.next_in = (Bytef*)stream.data();
    zs.avail_in = (uInt)stream.size();
    zs.next_out = (Bytef*)&out[0];
    zs.avail_out = (uInt)out.size();
    int rc = inflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? out : std::string("<zlib failed>");
}
