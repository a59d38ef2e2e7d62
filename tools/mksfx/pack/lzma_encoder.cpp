#include "tools/mksfx/pack/lzma_encoder.h"

#include <lzma.h>
#include <string.h>

namespace {

const size_t OUTPUT_STEP = 1u << 20;

// The strongest settings liblzma has: level 9 in its extreme form (the
// optimum parser with the binary-tree match finder over four-byte hashes),
// the longest match length it looks for, and the search depth of that
// preset (512 steps): on program files and text a smaller depth saves
// almost no time and costs size.
lzma_options_lzma OptionsFor(uint64_t entrySize, LzmaContext context) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME);
    options.dict_size = LzmaDictionaryFor(entrySize);
    options.mf = LZMA_MF_BT4;
    options.mode = LZMA_MODE_NORMAL;
    options.nice_len = 273;
    options.depth = 512;
    options.lc = context.lc;
    options.lp = context.lp;
    options.pb = context.pb;
    return options;
}

lzma_stream* StreamOf(LzmaEncoder& encoder) { return static_cast<lzma_stream*>(encoder.stream); }

// Candidates for the literal context: the usual one (lc3 lp0 pb2); fewer
// literal bits for program code, where the byte before says less; position
// bits for data of 4-byte units (32-bit code, tables); none of them for
// text, where positions mean nothing and the previous byte much.
const LzmaContext CANDIDATES[] = {
    {3, 0, 2}, {2, 0, 2}, {2, 0, 0}, {0, 0, 0}, {0, 2, 2}, {4, 0, 0},
};

}  // namespace

uint32_t LzmaDictionaryFor(uint64_t entrySize) {
    if (entrySize >= LZMA_DICTIONARY_MAX) return LZMA_DICTIONARY_MAX;
    uint32_t size = LZMA_DICTIONARY_MIN;
    while (size < entrySize) {
        if (uint64_t(size) / 2 * 3 >= entrySize && size >= 2 * LZMA_DICTIONARY_MIN) return size / 2 * 3;
        size *= 2;
    }
    return size;
}

uint64_t LzmaEncoderMemory(uint64_t entrySize) {
    lzma_options_lzma options = OptionsFor(entrySize, LZMA_CONTEXT_DEFAULT);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint64_t bytes = lzma_raw_encoder_memusage(filters);
    return bytes == UINT64_MAX ? 0 : bytes;
}

bool LzmaEncoderStart(LzmaEncoder& encoder, uint64_t entrySize, LzmaContext context, std::vector<uint8_t>* out) {
    LzmaEncoderEnd(encoder);
    lzma_options_lzma options = OptionsFor(entrySize, context);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream* stream = new lzma_stream;
    *stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(stream, filters) != LZMA_OK) {
        lzma_end(stream);
        delete stream;
        return false;
    }
    encoder.stream = stream;
    uint8_t header[LZMA_ENTRY_HEADER_SIZE] = {
        uint8_t(LZMA_VERSION_MAJOR), uint8_t(LZMA_VERSION_MINOR), 5, 0,
        uint8_t((options.pb * 5 + options.lp) * 9 + options.lc),
        uint8_t(options.dict_size), uint8_t(options.dict_size >> 8), uint8_t(options.dict_size >> 16),
        uint8_t(options.dict_size >> 24)};
    out->insert(out->end(), header, header + sizeof header);
    return true;
}

bool LzmaEncoderRun(LzmaEncoder& encoder, const uint8_t* data, size_t count, bool finish,
                    std::vector<uint8_t>* out) {
    lzma_stream* stream = StreamOf(encoder);
    if (!stream) return false;
    stream->next_in = data;
    stream->avail_in = count;
    lzma_action action = finish ? LZMA_FINISH : LZMA_RUN;
    for (;;) {
        size_t used = out->size();
        out->resize(used + OUTPUT_STEP);
        stream->next_out = out->data() + used;
        stream->avail_out = OUTPUT_STEP;
        lzma_ret result = lzma_code(stream, action);
        out->resize(out->size() - stream->avail_out);
        if (result == LZMA_STREAM_END) return true;
        if (result != LZMA_OK) return false;
        // Without finish the encoder is done once it has taken everything
        // and had room left over; with finish only at the stream's end.
        if (!finish && stream->avail_in == 0 && stream->avail_out != 0) return true;
    }
}

void LzmaEncoderEnd(LzmaEncoder& encoder) {
    lzma_stream* stream = StreamOf(encoder);
    if (!stream) return;
    lzma_end(stream);
    delete stream;
    encoder.stream = nullptr;
}

LzmaContext ChooseLzmaContext(const uint8_t* sample, size_t size, uint64_t entrySize) {
    LzmaContext best = LZMA_CONTEXT_DEFAULT;
    size_t bestSize = SIZE_MAX;
    std::vector<uint8_t> out;
    for (const LzmaContext& candidate : CANDIDATES) {
        out.clear();
        LzmaEncoder encoder;
        bool ok = LzmaEncoderStart(encoder, entrySize, candidate, &out) &&
                  LzmaEncoderRun(encoder, sample, size, true, &out);
        LzmaEncoderEnd(encoder);
        // The first of equal ones: the order above breaks ties alike on
        // every run.
        if (ok && out.size() < bestSize) {
            bestSize = out.size();
            best = candidate;
        }
    }
    return best;
}
