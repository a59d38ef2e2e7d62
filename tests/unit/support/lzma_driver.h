// Runs the LZMA decoder the way the engine calls a decoder (codecs/codec.h):
// input handed over in pieces with the untaken rest kept in front, the
// window a ring whose limit moves in steps, and every rule of the calling
// cycle checked on the way. Also liblzma's encoder and raw decoder, the
// peers of the tests, the fuzz targets and the benchmark.
#pragma once
#include <lzma.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>
#include "codecs/lzma_decoder.h"

struct LzmaDrive {
    uint32_t windowSize = 0;    // 0: the smaller of the dictionary and the declared size, plus 64
    uint32_t chunk = 65536;     // input bytes added per call that asks for more
    uint32_t chunkVary = 0;     // non-zero: chunk sizes 1 + (n * 7919) % chunkVary instead
    uint32_t step = 0;          // output bytes the limit moves per call (0: to the ring's end)
    uint64_t outputCap = 1u << 30;
};

struct LzmaOutcome {
    CodecResult result = CODEC_CORRUPT;
    std::string output;
    std::string broken;         // a rule of the calling cycle that the decoder broke
    size_t untaken = 0;         // input bytes not taken at the end
};

inline uint32_t LzmaWindowFor(const uint8_t* properties, uint64_t declared) {
    uint64_t dictionary = LzmaDictionarySize(properties);
    return (uint32_t)((declared < dictionary ? declared : dictionary) + 64);
}

inline LzmaOutcome DriveLzma(const uint8_t* properties, const std::string& data, uint64_t declared,
                             bool endMarker, const LzmaDrive& drive = LzmaDrive()) {
    LzmaOutcome out;
    uint32_t probabilityBytes = LzmaProbabilityBytes(properties);
    std::vector<uint16_t> probabilities(probabilityBytes / 2 + 1);
    out.result = LzmaStart(properties, probabilities.data(), declared, endMarker);
    if (out.result != CODEC_NEEDS_INPUT) {
        if (probabilityBytes != 0) out.broken = "a start with valid properties failed";
        return out;
    }
    uint32_t size = drive.windowSize ? drive.windowSize : LzmaWindowFor(properties, declared);
    // The window starts out with bytes no valid stream can rely on.
    std::vector<uint8_t> ring(size);
    for (uint32_t i = 0; i < size; ++i) ring[i] = (uint8_t)(i * 131 + 17);
    CodecWindow window = {ring.data(), size, 0, drive.step && drive.step < size ? drive.step : size};

    std::vector<uint8_t> buffer(CODEC_INPUT_MARGIN + (drive.chunkVary ? drive.chunkVary : drive.chunk));
    size_t fed = 0, pieces = 0;
    CodecInput input = {buffer.data(), buffer.data(), 0};
    // The next piece behind what is left untaken.
    auto feed = [&]() {
        size_t held = (size_t)(input.end - input.next);
        memmove(buffer.data(), input.next, held);
        size_t piece = drive.chunkVary ? 1 + (pieces * 7919) % drive.chunkVary : drive.chunk;
        ++pieces;
        if (piece > data.size() - fed) piece = data.size() - fed;
        memcpy(buffer.data() + held, data.data() + fed, piece);
        fed += piece;
        input.next = buffer.data();
        input.end = buffer.data() + held + piece;
        input.final = fed == data.size();
    };
    feed();
    uint32_t mark = 0;
    for (;;) {
        const uint8_t* before = input.next;
        CodecResult r = LzmaDecode(&input, &window);
        if (input.next < before || input.next > input.end) out.broken = "input pointer out of bounds";
        if (window.position < mark || window.position > window.limit) out.broken = "window position out of bounds";
        out.output.append((const char*)ring.data() + mark, window.position - mark);
        mark = window.position;
        if (!out.broken.empty()) break;
        if (r == CODEC_NEEDS_INPUT) {
            if (input.final) { out.broken = "asked for more input after the final piece"; break; }
            if ((size_t)(input.end - input.next) >= CODEC_INPUT_MARGIN) {
                out.broken = "asked for more input with a margin's worth untaken";
                break;
            }
            feed();
            continue;
        }
        if (r == CODEC_WINDOW_FULL) {
            if (window.position != window.limit) { out.broken = "window full before its limit"; break; }
            if (out.output.size() > drive.outputCap) { out.broken = "output beyond the cap"; break; }
            if (window.position == size) window.position = mark = 0;
            uint32_t room = size - window.position;
            window.limit = window.position + (drive.step && drive.step < room ? drive.step : room);
            continue;
        }
        out.result = r;
        out.untaken = (size_t)(input.end - input.next) + (data.size() - fed);
        break;
    }
    if (out.output.size() > declared) out.broken = "more output than declared";
    return out;
}

// The properties byte of lc, lp and pb.
inline uint8_t LzmaPropertiesByte(uint32_t lc, uint32_t lp, uint32_t pb) {
    return (uint8_t)((pb * 5 + lp) * 9 + lc);
}

// liblzma's raw LZMA1 stream of data, with or without the end marker;
// properties gets the 5 bytes that describe it. Empty on failure.
inline std::string LiblzmaEncode(const std::string& data, uint8_t properties[5], uint32_t lc = 3,
                                 uint32_t lp = 0, uint32_t pb = 2, uint32_t dictionary = 1u << 20,
                                 bool endMarker = false, uint32_t preset = 6) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, preset)) return "";
    options.lc = lc;
    options.lp = lp;
    options.pb = pb;
    options.dict_size = dictionary;
    options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    lzma_set_ext_size(options, data.size());
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&strm, filters) != LZMA_OK) return "";
    std::string out(data.size() + data.size() / 2 + 1024, '\0');
    strm.next_in = (const uint8_t*)data.data();
    strm.avail_in = data.size();
    strm.next_out = (uint8_t*)&out[0];
    strm.avail_out = out.size();
    lzma_ret rc = lzma_code(&strm, LZMA_FINISH);
    out.resize(strm.total_out);
    lzma_end(&strm);
    if (rc != LZMA_STREAM_END) return "";
    properties[0] = LzmaPropertiesByte(lc, lp, pb);
    for (int i = 0; i < 4; ++i) properties[1 + i] = (uint8_t)(dictionary >> (8 * i));
    return out;
}

struct LiblzmaOutcome {
    lzma_ret result = LZMA_PROG_ERROR;  // LZMA_STREAM_END, LZMA_DATA_ERROR, LZMA_OPTIONS_ERROR, LZMA_BUF_ERROR (input ran out)
    std::string output;
};

// liblzma's raw decoder on the same terms: the declared size, and the end
// marker allowed when endMarker is set.
inline LiblzmaOutcome LiblzmaDecode(const uint8_t* properties, const std::string& data, uint64_t declared,
                                    bool endMarker, size_t outputCap = 1u << 30) {
    LiblzmaOutcome out;
    lzma_options_lzma* options = nullptr;
    lzma_filter filter = {LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&filter, nullptr, properties, 5) != LZMA_OK) {
        out.result = LZMA_OPTIONS_ERROR;
        return out;
    }
    options = (lzma_options_lzma*)filter.options;
    options->ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    lzma_set_ext_size(*options, declared);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    lzma_ret rc = lzma_raw_decoder(&strm, filters);
    if (rc == LZMA_OK) {
        strm.next_in = (const uint8_t*)data.data();
        strm.avail_in = data.size();
        uint8_t chunk[65536];
        for (;;) {
            strm.next_out = chunk;
            strm.avail_out = sizeof chunk;
            rc = lzma_code(&strm, LZMA_FINISH);
            out.output.append((const char*)chunk, sizeof chunk - strm.avail_out);
            if (rc != LZMA_OK || out.output.size() > outputCap) break;
        }
    }
    lzma_end(&strm);
    free(options);
    out.result = rc;
    return out;
}
