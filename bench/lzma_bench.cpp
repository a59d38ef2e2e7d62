// LZMA codec benchmark: the same streams (liblzma at preset 9 with the
// dictionary sized to the file, no end marker, as mksfx --method lzma packs)
// decoded by this decoder and by liblzma's raw decoder, each in the same
// harness: input read from the stream file in 65536-byte pieces, output
// through CRC-32 into /dev/null in pieces of 262144 bytes.
//
// The streams are kept beside the corpus files as NAME.lzma in the .lzma
// format (5 property bytes, 8 bytes of size, the raw stream), which xz -d
// reads too (scripts/bench.sh times it on the same files).
//
// N rounds (argument, default 5) in which every stream is decoded by both,
// one right after the other in alternating order, timed in the thread's CPU
// time; prints both rates and the median of the rounds' ratios.
#include <dirent.h>
#include <fcntl.h>
#include <lzma.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "codecs/crc32.h"
#include "codecs/lzma_decoder.h"

namespace {

const size_t INPUT_PIECE = 65536;
const uint32_t OUTPUT_PIECE = 262144;
const uint32_t HEADER = 13;

struct Stream {
    std::string name;
    std::string path;       // the .lzma file
    uint64_t size;          // uncompressed
    uint32_t crc;
};

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

uint32_t Crc(uint32_t reg, const uint8_t* data, size_t count) {
    while (count > 0) {
        uint16_t n = (uint16_t)(count < 32768 ? count : 32768);
        Crc32Update(reg, data, n);
        data += n;
        count -= n;
    }
    return reg;
}

// liblzma, preset 9 (extreme off), the dictionary no larger than the file.
bool Encode(const std::string& data, const std::string& path) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 9);
    uint32_t dictionary = 4096;
    while (dictionary < data.size() && dictionary < options.dict_size) dictionary *= 2;
    options.dict_size = dictionary;
    options.ext_flags = 0;
    lzma_set_ext_size(options, data.size());
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&strm, filters) != LZMA_OK) return false;
    std::string out(HEADER + data.size() + data.size() / 16 + 4096, '\0');
    out[0] = (char)((options.pb * 5 + options.lp) * 9 + options.lc);
    for (int i = 0; i < 4; ++i) out[1 + i] = (char)(dictionary >> (8 * i));
    for (int i = 0; i < 8; ++i) out[5 + i] = (char)((uint64_t)data.size() >> (8 * i));
    strm.next_in = (const uint8_t*)data.data();
    strm.avail_in = data.size();
    strm.next_out = (uint8_t*)&out[HEADER];
    strm.avail_out = out.size() - HEADER;
    lzma_ret rc = lzma_code(&strm, LZMA_FINISH);
    out.resize(HEADER + strm.total_out);
    lzma_end(&strm);
    if (rc != LZMA_STREAM_END) return false;
    std::ofstream(path, std::ios::binary) << out;
    return true;
}

bool PrepareStreams(const std::string& dir, std::vector<Stream>& streams) {
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        auto endsWith = [&n](const char* tail) {
            size_t t = strlen(tail);
            return n.size() > t && n.compare(n.size() - t, t, tail) == 0;
        };
        if (n[0] == '.' || endsWith(".lzma") || endsWith(".deflate")) continue;
        names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string data = ReadAll(dir + "/" + n);
        std::string path = dir + "/" + n + ".lzma";
        if (access(path.c_str(), R_OK) != 0) {
            fprintf(stderr, "lzma_bench: compressing %s (once) ...\n", n.c_str());
            if (!Encode(data, path)) return false;
        }
        streams.push_back({n, path, data.size(), ~Crc(0xFFFFFFFF, (const uint8_t*)data.data(), data.size())});
    }
    return !streams.empty();
}

// Reads the 13-byte header; the file stands behind it.
bool ReadHeader(int fd, uint8_t properties[5], uint64_t& size) {
    uint8_t header[HEADER];
    if (read(fd, header, HEADER) != (ssize_t)HEADER) return false;
    memcpy(properties, header, 5);
    size = 0;
    for (int i = 0; i < 8; ++i) size |= (uint64_t)header[5 + i] << (8 * i);
    return true;
}

bool SfxDecode(const Stream& s) {
    int in = open(s.path.c_str(), O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    uint8_t properties[5];
    uint64_t size;
    if (!ReadHeader(in, properties, size)) return false;
    uint64_t dictionary = LzmaDictionarySize(properties);
    uint32_t windowSize = (uint32_t)((size < dictionary ? size : dictionary) + 64);
    uint8_t* window = (uint8_t*)malloc(windowSize);
    void* probabilities = malloc(LzmaProbabilityBytes(properties));
    static uint8_t inBuf[INPUT_PIECE + CODEC_INPUT_MARGIN];
    CodecResult r = LzmaStart(properties, probabilities, size, 0);
    CodecInput input = {inBuf, inBuf, 0};
    CodecWindow w = {window, windowSize, 0, std::min(windowSize, OUTPUT_PIECE)};
    uint32_t crc = 0xFFFFFFFF, mark = 0;
    uint64_t total = 0;
    while (r == CODEC_NEEDS_INPUT || r == CODEC_WINDOW_FULL) {
        if (r == CODEC_NEEDS_INPUT) {
            size_t held = (size_t)(input.end - input.next);
            memmove(inBuf, input.next, held);
            ssize_t n = read(in, inBuf + held, INPUT_PIECE);
            if (n < 0) break;
            input.next = inBuf;
            input.end = inBuf + held + n;
            input.final = n == 0 || (size_t)n < INPUT_PIECE;
        } else {
            if (w.position == windowSize) w.position = mark = 0;
            w.limit = w.position + std::min(windowSize - w.position, OUTPUT_PIECE);
        }
        r = LzmaDecode(&input, &w);
        crc = Crc(crc, window + mark, w.position - mark);
        if (write(out, window + mark, w.position - mark) != (ssize_t)(w.position - mark)) break;
        total += w.position - mark;
        mark = w.position;
    }
    free(probabilities);
    free(window);
    close(in);
    close(out);
    return r == CODEC_END && ~crc == s.crc && total == s.size;
}

bool LiblzmaDecode(const Stream& s) {
    int in = open(s.path.c_str(), O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    uint8_t properties[5];
    uint64_t size;
    if (!ReadHeader(in, properties, size)) return false;
    lzma_filter filter = {LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&filter, nullptr, properties, 5) != LZMA_OK) return false;
    lzma_options_lzma* options = (lzma_options_lzma*)filter.options;
    options->ext_flags = 0;
    lzma_set_ext_size(*options, size);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    lzma_ret rc = lzma_raw_decoder(&strm, filters);
    static uint8_t inBuf[INPUT_PIECE];
    static uint8_t outBuf[OUTPUT_PIECE];
    uint32_t crc = 0xFFFFFFFF;
    uint64_t total = 0;
    lzma_action action = LZMA_RUN;
    while (rc == LZMA_OK) {
        if (strm.avail_in == 0 && action == LZMA_RUN) {
            ssize_t n = read(in, inBuf, sizeof inBuf);
            if (n < 0) break;
            strm.next_in = inBuf;
            strm.avail_in = (size_t)n;
            if ((size_t)n < sizeof inBuf) action = LZMA_FINISH;
        }
        strm.next_out = outBuf;
        strm.avail_out = sizeof outBuf;
        rc = lzma_code(&strm, action);
        size_t produced = sizeof outBuf - strm.avail_out;
        crc = Crc(crc, outBuf, produced);
        if (write(out, outBuf, produced) != (ssize_t)produced) break;
        total += produced;
    }
    lzma_end(&strm);
    free(options);
    close(in);
    close(out);
    return rc == LZMA_STREAM_END && ~crc == s.crc && total == s.size;
}

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = getenv("SFX_BENCH_CORPUS");
    if (!dir) dir = "build/bench-corpus";
    std::vector<Stream> streams;
    if (!PrepareStreams(dir, streams)) {
        fprintf(stderr, "no corpus in %s (scripts/make_bench_corpus.sh builds it)\n", dir);
        return 1;
    }
    if (argc == 2 && strcmp(argv[1], "--prepare") == 0) return 0;
    int rounds = argc > 1 ? atoi(argv[1]) : 5;
    double sfxTotal = 0, peerTotal = 0;
    uint64_t bytes = 0;
    std::vector<double> ratios;
    std::vector<double> perStream(streams.size() * 2, 0);
    for (int round = 0; round < rounds; ++round) {
        double sfxRound = 0, peerRound = 0;
        for (size_t i = 0; i < streams.size(); ++i) {
            for (int turn = 0; turn < 2; ++turn) {
                bool sfxNow = (turn == 0) == (round % 2 == 0);
                double start = ThreadSeconds();
                bool ok = sfxNow ? SfxDecode(streams[i]) : LiblzmaDecode(streams[i]);
                double took = ThreadSeconds() - start;
                if (!ok) {
                    fprintf(stderr, "wrong result for %s (%s)\n", streams[i].name.c_str(), sfxNow ? "sfx" : "liblzma");
                    return 1;
                }
                (sfxNow ? sfxRound : peerRound) += took;
                perStream[2 * i + (sfxNow ? 0 : 1)] += took;
            }
            bytes += streams[i].size;
        }
        sfxTotal += sfxRound;
        peerTotal += peerRound;
        ratios.push_back(peerRound / sfxRound);
    }
    std::sort(ratios.begin(), ratios.end());
    double median = ratios.size() % 2 ? ratios[ratios.size() / 2]
                                      : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
    // Per stream: name, size, and the mean CPU seconds of one decode by each.
    for (size_t i = 0; i < streams.size(); ++i)
        printf("stream %s %llu %.4f %.4f\n", streams[i].name.c_str(), (unsigned long long)streams[i].size,
               perStream[2 * i] / rounds, perStream[2 * i + 1] / rounds);
    printf("sfx_lzma %.1f MB/s\nliblzma %.1f MB/s\nratio_median %.3f\nratio_low %.3f\nratio_high %.3f\n",
           (double)bytes / sfxTotal / 1e6, (double)bytes / peerTotal / 1e6, median, ratios.front(), ratios.back());
    return 0;
}
