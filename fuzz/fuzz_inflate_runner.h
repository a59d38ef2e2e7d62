// Runs the DEFLATE decoder over a byte string the way the entry extraction
// sets it up: the bytes as the entry's data in a file read through the
// input layer, an output file, a fresh CRC accumulator and byte count.
#pragma once
#include "fuzz/fuzz_util.h"
#include "archive/archive_state.h"
#include "codecs/inflate.h"
#include "engine/entry_decode.h"
#include "engine/input_reader.h"
#include "support/file_layer.h"

struct InflateOutcome {
    int result;             // 0 when the stream decoded, else 1
    SfxStatus status;
    uint64_t bytesWritten;
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
    StartInput(size);

    InflateOutcome out;
    DecodeEntryData(METHOD_DEFLATED);
    out.result = Archive.status == SFX_OK ? 0 : 1;
    out.status = Archive.status;
    out.bytesWritten = Archive.bytesWritten;
    out.crc = ~Archive.crc;

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
