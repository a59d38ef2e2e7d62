#include "tools/mksfx/pack/lzma_encoder.h"
#include "tools/mksfx/pack/lzma_match_source.h"

#include <lzma.h>
#include <string.h>

namespace {

const size_t OUTPUT_STEP = 1u << 20;

// A preset's options with the dictionary for the data and the context.
lzma_options_lzma PresetFor(uint32_t preset, uint64_t dataSize, LzmaContext context) {
    lzma_options_lzma options = {};  // reserved fields zero: no match source
    lzma_lzma_preset(&options, preset);
    options.dict_size = LzmaDictionaryFor(dataSize);
    options.lc = context.lc;
    options.lp = context.lp;
    options.pb = context.pb;
    return options;
}

// liblzma's strongest settings: level 9 in its extreme form, the optimum
// parser over the binary-tree match finder with four-byte hashes, a search
// depth of 128 steps: on the bench corpus (program binaries, JSON, text)
// within 0.005 % of the preset's 512 in less time (JSON 22 s instead of 34
// s, binaries 26 s instead of 30), while 64 steps are 0.01 % larger for a
// few per cent of time. Matches of 64 bytes are taken without looking
// further: the longest setting (273) makes the stream a little larger
// (0.02 % to 0.4 %) and takes a tenth longer, 48 bytes makes JSON 2 %
// larger.
lzma_options_lzma OptionsFor(uint64_t entrySize, LzmaContext context) {
    lzma_options_lzma options = PresetFor(9 | LZMA_PRESET_EXTREME, entrySize, context);
    options.mf = LZMA_MF_BT4;
    options.mode = LZMA_MODE_NORMAL;
    options.nice_len = 64;
    options.depth = 128;
    return options;
}

lzma_stream* StreamOf(LzmaEncoder& encoder) { return static_cast<lzma_stream*>(encoder.stream); }

// Candidates for the literal context, in the order that breaks ties: the
// usual one (lc3 lp0 pb2); fewer literal bits for program code, where the
// byte before says less; position bits for data of 4-byte units (32-bit
// code, tables); no position bits for text, where positions mean nothing
// and (lc4) the previous byte much.
const LzmaContext CANDIDATES[] = {
    {3, 0, 2}, {2, 0, 2}, {2, 0, 0}, {0, 2, 2}, {3, 0, 0}, {4, 0, 0},
};
// The fast trials try the first two only: their greedy parse cannot tell
// position bits apart (on 64 KiB from the middle of each of the 195 32-bit
// Wine DLLs of the DLL corpus six fast trials took pb0 for most files, and
// the corpus came out 0.15 % larger than with lc3 lp0 pb2 alone). Files
// that small are encoded whole with LZMA_WHOLE_FILE_CONTEXTS instead; their
// trial only tells whether they shrink at all.
const size_t FAST_CANDIDATES = 2;

// The fast trials run liblzma's fast mode (greedy parsing over a hash
// chain), about five times the speed of the entry's settings.
lzma_options_lzma TrialOptions(size_t sampleSize, LzmaContext context) {
    lzma_options_lzma options = PresetFor(1, sampleSize, context);
    options.mf = LZMA_MF_HC4;
    options.mode = LZMA_MODE_FAST;
    options.nice_len = 32;
    options.depth = 0;
    return options;
}

// Room for a stream of size bytes of data, even where it does not shrink.
size_t StreamRoom(size_t size) { return size + size / 16 + 4096; }

// Encodes the whole of data into *stream (StreamRoom bytes), over recorded
// matches where there are any; *written bytes of it.
lzma_ret EncodeWhole(lzma_options_lzma options, const LzmaRecordedMatches* recorded, const uint8_t* data, size_t size,
                     std::vector<uint8_t>* stream, size_t* written) {
    LzmaReplay matches;
    if (recorded) {
        StartLzmaReplay(&matches, *recorded);
        options.reserved_ptr1 = &matches.source;
    }
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    *written = 0;
    return lzma_raw_buffer_encode(filters, nullptr, data, size, stream->data(), written, stream->size());
}

// The entry's header: liblzma's version, the properties' size and the
// properties.
void AppendEntryHeader(const lzma_options_lzma& options, std::vector<uint8_t>* out) {
    uint8_t header[LZMA_ENTRY_HEADER_SIZE] = {
        uint8_t(LZMA_VERSION_MAJOR), uint8_t(LZMA_VERSION_MINOR), 5, 0,
        uint8_t((options.pb * 5 + options.lp) * 9 + options.lc),
        uint8_t(options.dict_size), uint8_t(options.dict_size >> 8), uint8_t(options.dict_size >> 16),
        uint8_t(options.dict_size >> 24)};
    out->insert(out->end(), header, header + sizeof header);
}

// The most matches recorded for the whole-file contexts: a file with more
// has each of its encoders find its own (the same streams, in more time).
size_t RecordLimit(size_t size) {
    size_t most = sizeof(void*) == 8 ? (32u << 20) : (4u << 20);
    return 8 * size < most ? 8 * size : most;
}

}  // namespace

bool LzmaEncodeSmaller(const uint8_t* data, size_t size, const LzmaContext* contexts, size_t count,
                       std::vector<uint8_t>* out) {
    LzmaRecordedMatches recorded;
    bool replay = RecordLzmaMatches(OptionsFor(size, contexts[0]), data, size, RecordLimit(size), &recorded);
    std::vector<uint8_t> stream(StreamRoom(size));
    bool any = false;
    for (size_t i = 0; i < count; ++i) {
        lzma_options_lzma options = OptionsFor(size, contexts[i]);
        size_t written;
        // A stream that does not fit is larger than the file: the file is
        // then stored anyway.
        lzma_ret result = EncodeWhole(options, replay ? &recorded : nullptr, data, size, &stream, &written);
        if (result == LZMA_BUF_ERROR) written = stream.size();
        else if (result != LZMA_OK) return false;
        if (any && written + LZMA_ENTRY_HEADER_SIZE >= out->size()) continue;
        out->clear();
        AppendEntryHeader(options, out);
        out->insert(out->end(), stream.begin(), stream.begin() + written);
        any = true;
    }
    return any;
}

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

bool LzmaEncoderStart(LzmaEncoder& encoder, uint64_t entrySize, LzmaContext context, std::vector<uint8_t>* out,
                      const uint8_t* whole) {
    LzmaEncoderEnd(encoder);
    lzma_options_lzma options = OptionsFor(entrySize, context);
    if (whole) {
        encoder.matches = StartLzmaMatchThread(options, whole, size_t(entrySize));
        if (encoder.matches) options.reserved_ptr1 = const_cast<lzma_match_source*>(LzmaMatchSource(encoder.matches));
    }
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream* stream = new lzma_stream;
    *stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(stream, filters) != LZMA_OK) {
        lzma_end(stream);
        delete stream;
        EndLzmaMatchThread(encoder.matches);
        encoder.matches = nullptr;
        return false;
    }
    encoder.stream = stream;
    AppendEntryHeader(options, out);
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
    if (stream) {
        lzma_end(stream);
        delete stream;
        encoder.stream = nullptr;
    }
    // After the encoder, which takes matches until it ends.
    EndLzmaMatchThread(encoder.matches);
    encoder.matches = nullptr;
}

LzmaContext ChooseLzmaContext(const uint8_t* sample, size_t size, LzmaTrial trial, size_t* streamSize) {
    LzmaContext best = LZMA_CONTEXT_DEFAULT;
    size_t bestSize = SIZE_MAX;
    std::vector<uint8_t> out(StreamRoom(size));
    size_t count = trial == LZMA_TRIAL_FAST ? FAST_CANDIDATES : sizeof CANDIDATES / sizeof CANDIDATES[0];
    // The strong trials find the sample's matches once for all candidates,
    // in less than half the time (up to 8 per byte are kept: 64 MiB for a
    // 1 MiB sample; the bench corpus's JSON, text and code have 2.4 to 3).
    LzmaRecordedMatches recorded;
    bool replay = trial == LZMA_TRIAL_STRONG &&
                  RecordLzmaMatches(OptionsFor(size, CANDIDATES[0]), sample, size, 8 * size, &recorded);
    for (size_t i = 0; i < count; ++i) {
        const LzmaContext& candidate = CANDIDATES[i];
        lzma_options_lzma options =
            trial == LZMA_TRIAL_FAST ? TrialOptions(size, candidate) : OptionsFor(size, candidate);
        size_t written;
        // The first of equal ones: the order above breaks ties alike on
        // every run.
        if (EncodeWhole(options, replay ? &recorded : nullptr, sample, size, &out, &written) == LZMA_OK &&
            written < bestSize) {
            bestSize = written;
            best = candidate;
        }
    }
    *streamSize = bestSize;
    return best;
}
