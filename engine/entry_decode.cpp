// The engine's side of the decoders' interface (codec.h): input in pieces,
// the output window written out whenever the decoder stops.
#include "engine/entry_decode.h"
#include "archive/archive_state.h"
#include "codecs/crc32.h"
#include "codecs/inflate.h"
#include "codecs/lzma_decoder.h"
#include "engine/input_reader.h"
#include "engine/lzma_entry.h"
#include "support/file_layer.h"
#include "support/str_util.h"

// The decoder is called with room for at most this much output, so that
// progress and a cancel are seen at least this often.
static const uint32_t OUTPUT_PIECE = 65536;

// Zero-filled memory, which the program file does not carry. DEFLATE's
// window doubles as the stored data's.
static uint8_t InflateWindow[INFLATE_WINDOW_SIZE];

// Stored data: the input as it is.
static CodecResult CopyStoredData(CodecInput* in, CodecWindow* window) {
    uint32_t n = (uint32_t)(in->end - in->next);
    uint32_t room = window->limit - window->position;
    if (n > room) n = room;
    MemCopy(window->buffer + window->position, in->next, n);
    in->next += n;
    window->position += n;
    if (in->next != in->end) return CODEC_WINDOW_FULL;
    return in->final ? CODEC_END : CODEC_NEEDS_INPUT;
}

// What the decoder added to the window since it was called.
static bool WriteOutput(const uint8_t* data, uint32_t n) {
    if (n > Archive.entry.uncompressedSize - Archive.bytesWritten) {
        Archive.status = SFX_ERR_BAD_DATA;
        return false;
    }
    Crc32Update(Archive.crc, data, n);
    if (n != 0 && FileWrite(data, n, Archive.outputHandle) != (int32_t)n) {
        Archive.status = SFX_ERR_IO;
        return false;
    }
    Archive.bytesWritten += n;
    if (Archive.progress && !Archive.progress(Archive.bytesWritten, Archive.entry.uncompressedSize)) {
        Archive.status = SFX_USER_ABORT;
        return false;
    }
    return true;
}

static void RunDecoder(uint16_t method, CodecWindow& window) {
    InputReader& in = EntryInput;
    for (;;) {
        // Room up to the ring's end or one piece, and never more than one
        // byte beyond what the entry declares: that byte tells an entry
        // that goes on too long.
        uint32_t start = window.position;
        uint32_t limit = window.size - start > OUTPUT_PIECE ? start + OUTPUT_PIECE : window.size;
        uint64_t left = Archive.entry.uncompressedSize - Archive.bytesWritten;
        if (limit - start > left) limit = start + (uint32_t)left + 1;
        window.limit = limit;

        CodecResult result = method == METHOD_DEFLATED ? Inflate(&in.codec, &window)
                             : method == METHOD_LZMA   ? LzmaDecode(&in.codec, &window)
                                                       : CopyStoredData(&in.codec, &window);
        // Progress is told of every piece, and once more at the end (an
        // empty entry too).
        uint32_t produced = window.position - start;
        if ((produced != 0 || result == CODEC_END) && !WriteOutput(window.buffer + start, produced)) return;
        if (window.position == window.size) window.position = 0;
        if (result == CODEC_WINDOW_FULL) {
            continue;
        } else if (result == CODEC_END) {
            return;
        } else if (result != CODEC_NEEDS_INPUT || in.codec.final) {
            Archive.status = SFX_ERR_BAD_DATA;
            return;
        } else if (!ReadInput()) {
            return;
        }
    }
}

void DecodeEntryData(uint16_t method) {
    InputReader& in = EntryInput;
    CodecWindow window;
    window.buffer = InflateWindow;
    window.size = INFLATE_WINDOW_SIZE;
    window.position = 0;
    if (method == METHOD_DEFLATED) InflateStart();
    if (in.codec.next == in.codec.end && !in.codec.final && !ReadInput()) return;
    // An LZMA entry brings its own window, as large as its dictionary.
    if (method != METHOD_LZMA || StartLzmaEntry(&window)) RunDecoder(method, window);
    EndLzmaEntry();
}
