// Runs DecodeDeflateStream over a byte string the way the entry extraction
// sets it up: the bytes as the entry's data in a file read through the
// InputReader, an output file, a fresh CRC accumulator and byte count.
#pragma once
#include "fuzz/fuzz_util.h"
#include "archive/archive_state.h"
#include "codecs/inflate.h"
#include "engine/input_reader.h"
#include "support/file_layer.h"

struct InflateOutcome {
    int result;             // DecodeDeflateStream's answer
    SfxStatus status;
    uint32_t bytesWritten;
    uint32_t crc;           // the accumulator, complemented
    std::string output;     // what reached the output file
};

inline InflateOutcome RunInflate(const uint8_t* data, size_t size, uint32_t declaredSize) {
    int input = fuzzutil::MemoryFile(data, size);
    int output = memfd_create("sfxfuzz-out", 0);
    if (output < 0) abort();

    Archive.status = SFX_OK;
    Archive.archiveHandle = input;
    Archive.outputHandle = output;
    memset(&Archive.entry, 0, sizeof Archive.entry);
    Archive.entry.header.method = 8;
    Archive.entry.compressedSize = uint32_t(size);
    Archive.entry.uncompressedSize = declaredSize;
    Archive.crc = 0xFFFFFFFF;
    Archive.bytesWritten = 0;
    Archive.progress = nullptr;
    memset(&Archive.input, 0, sizeof Archive.input);
    ResetInputReader(uint32_t(size));
    Archive.input.buffer = static_cast<uint8_t*>(MemAlloc(INPUT_BUFFER_SIZE));
    Archive.input.encrypted = 0;
    Archive.input.bytewiseDecrypt = 0;
    Archive.input.failed = 0;
    if (!Archive.input.buffer) abort();

    InflateOutcome out;
    out.result = DecodeDeflateStream();
    ReleaseFixedTables();
    out.status = Archive.status;
    out.bytesWritten = Archive.bytesWritten;
    out.crc = ~Archive.crc;

    MemFree(Archive.input.buffer);
    Archive.input.buffer = nullptr;
    off_t length = lseek(output, 0, SEEK_END);
    if (length > 0) {
        out.output.resize(size_t(length));
        if (pread(output, &out.output[0], size_t(length), 0) != length) abort();
    }
    close(input);
    close(output);
    Archive.archiveHandle = FILE_NONE;
    Archive.outputHandle = FILE_NONE;
    return out;
}
