// The engine's part of LZMA entries: their header and their memory.
#include "engine/lzma_entry.h"
#include "archive/archive_state.h"
#include "codecs/lzma_decoder.h"
#include "engine/input_reader.h"
#include "support/file_layer.h"

const uint32_t LZMA_HEADER_SIZE = 4 + LZMA_PROPERTIES_SIZE;

// The block of the current entry: probabilities, then the window.
static void* LzmaMemory;

bool StartLzmaEntry(CodecWindow* window) {
    CodecInput& in = EntryInput.codec;
    while ((uint32_t)(in.end - in.next) < LZMA_HEADER_SIZE) {
        if (in.final) {
            Archive.status = SFX_ERR_BAD_DATA;
            return false;
        }
        if (!ReadInput()) return false;
    }
    const uint8_t* header = in.next;
    const uint8_t* properties = header + 4;
    in.next += LZMA_HEADER_SIZE;
    uint32_t probabilities = LzmaProbabilityBytes(properties);
    if (header[2] != LZMA_PROPERTIES_SIZE || header[3] != 0 || probabilities == 0) {
        Archive.status = SFX_ERR_UNSUPPORTED;
        return false;
    }
    // Matches reach back no further than the dictionary, nor before the
    // entry's first byte.
    uint32_t history = LzmaDictionarySize(properties);
    if (Archive.entry.uncompressedSize < history) history = (uint32_t)Archive.entry.uncompressedSize;
    // A block that would pass 4 GiB is one no machine here can give.
    uint32_t size = history + LZMA_WINDOW_SLACK;
    if (history > 0xFFFFFFFFu - LZMA_WINDOW_SLACK - probabilities ||
        (LzmaMemory = MemAlloc(size + probabilities)) == nullptr) {
        Archive.status = SFX_ERR_NOMEM;
        return false;
    }
    window->buffer = (uint8_t*)LzmaMemory + probabilities;
    window->size = size;
    LzmaStart(properties, LzmaMemory, Archive.entry.uncompressedSize,
              Archive.entry.header.flags & ZIP_FLAG_LZMA_END_MARKER);
    return true;
}

void EndLzmaEntry() {
    MemFree(LzmaMemory);
    LzmaMemory = nullptr;
}
