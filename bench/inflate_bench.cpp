// Codec benchmark: the same raw DEFLATE streams (zlib level 9, as zip -9
// writes them) inflated by this decoder, through the engine's entry
// decoding (input pieces, window, CRC-32, writes into /dev/null), and by
// zlib's inflate in two ways: as zlib's own example drives it (input read
// in 4096-byte chunks, whatever each call produced written out through
// CRC-32), and with the engine's buffering (input and output in pieces of
// the engine's sizes, the window written only when full).
//
// --interleaved=N: N rounds in which every stream is inflated by both, one
// right after the other, timed in the thread's CPU time; prints both rates
// and the median of the rounds' ratios. On a shared machine this pairs
// every measurement with its peer's under the same load.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "archive/archive_state.h"
#include "codecs/crc32.h"
#include "codecs/inflate.h"
#include "engine/entry_decode.h"
#include "engine/input_reader.h"
#include "support/file_layer.h"

namespace {

struct Stream {
    std::string name;
    std::string path;       // the raw DEFLATE stream on disk
    uint32_t compressed;
    uint32_t size;          // uncompressed
    uint32_t crc;
};

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<Stream>& Streams() {
    static std::vector<Stream> streams;
    return streams;
}

bool PrepareStreams(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n[0] == '.' || (n.size() > 8 && n.substr(n.size() - 8) == ".deflate")) continue;
        names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string data = ReadAll(dir + "/" + n);
        std::string streamPath = dir + "/" + n + ".deflate";
        std::string stream = ReadAll(streamPath);
        if (stream.empty()) {
            z_stream zs = {};
            deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            stream.resize(deflateBound(&zs, data.size()));
            zs.next_in = (Bytef*)data.data();
            zs.avail_in = (uInt)data.size();
            zs.next_out = (Bytef*)&stream[0];
            zs.avail_out = (uInt)stream.size();
            deflate(&zs, Z_FINISH);
            stream.resize(zs.total_out);
            deflateEnd(&zs);
            std::ofstream(streamPath, std::ios::binary) << stream;
        }
        Streams().push_back({n, streamPath, (uint32_t)stream.size(), (uint32_t)data.size(),
                             (uint32_t)crc32(0, (const Bytef*)data.data(), (uInt)data.size())});
    }
    return !Streams().empty();
}

bool SfxInflate(const Stream& s) {
    Archive.status = SFX_OK;
    Archive.archiveHandle = FileOpen(s.path.c_str(), "rb");
    Archive.entry = CatalogEntry();
    Archive.entry.header.method = 8;
    Archive.entry.compressedSize = s.compressed;
    Archive.entry.uncompressedSize = s.size;
    StartInput(s.compressed);
    Archive.outputHandle = FileOpen("/dev/null", "wb");
    Archive.crc = 0xFFFFFFFF;
    Archive.bytesWritten = 0;
    Archive.progress = nullptr;
    DecodeEntryData(METHOD_DEFLATED);
    FileClose(Archive.outputHandle);
    FileClose(Archive.archiveHandle);
    return Archive.status == SFX_OK && ~Archive.crc == s.crc && Archive.bytesWritten == s.size;
}

bool ZlibInflate(const Stream& s) {
    int in = open(s.path.c_str(), O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    static unsigned char inBuf[4096], window[32768];
    z_stream zs = {};
    inflateInit2(&zs, -15);
    uLong crc = crc32(0, nullptr, 0);
    int rc = Z_OK;
    uint64_t total = 0;
    while (rc == Z_OK) {
        if (zs.avail_in == 0) {
            ssize_t n = read(in, inBuf, sizeof inBuf);
            if (n <= 0) break;
            zs.next_in = inBuf;
            zs.avail_in = (uInt)n;
        }
        zs.next_out = window;
        zs.avail_out = sizeof window;
        rc = inflate(&zs, Z_NO_FLUSH);
        size_t produced = sizeof window - zs.avail_out;
        crc = crc32(crc, window, (uInt)produced);
        if (write(out, window, produced) != (ssize_t)produced) rc = Z_ERRNO;
        total += produced;
    }
    inflateEnd(&zs);
    close(in);
    close(out);
    return rc == Z_STREAM_END && crc == s.crc && total == s.size;
}

// zlib with the engine's buffering: reads of INPUT_READ_SIZE, a window of
// INFLATE_WINDOW_SIZE written out when it is full and at the end.
bool ZlibInflateBuffered(const Stream& s) {
    int in = open(s.path.c_str(), O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    static unsigned char inBuf[INPUT_READ_SIZE], window[INFLATE_WINDOW_SIZE];
    z_stream zs = {};
    inflateInit2(&zs, -15);
    uLong crc = crc32(0, nullptr, 0);
    int rc = Z_OK;
    uint64_t total = 0;
    zs.next_out = window;
    zs.avail_out = sizeof window;
    while (rc == Z_OK) {
        if (zs.avail_in == 0) {
            ssize_t n = read(in, inBuf, sizeof inBuf);
            if (n <= 0) break;
            zs.next_in = inBuf;
            zs.avail_in = (uInt)n;
        }
        rc = inflate(&zs, Z_NO_FLUSH);
        if (zs.avail_out == 0 || rc != Z_OK) {
            size_t produced = sizeof window - zs.avail_out;
            crc = crc32(crc, window, (uInt)produced);
            if (write(out, window, produced) != (ssize_t)produced) rc = Z_ERRNO;
            total += produced;
            zs.next_out = window;
            zs.avail_out = sizeof window;
        }
    }
    inflateEnd(&zs);
    close(in);
    close(out);
    return rc == Z_STREAM_END && crc == s.crc && total == s.size;
}

void RunCorpus(benchmark::State& state, bool (*inflater)(const Stream&)) {
    uint64_t bytes = 0;
    for (auto _ : state) {
        for (const Stream& s : Streams()) {
            if (!inflater(s)) {
                state.SkipWithError(("wrong result for " + s.name).c_str());
                return;
            }
            bytes += s.size;
        }
    }
    state.SetBytesProcessed((int64_t)bytes);
}

void RunOne(benchmark::State& state, bool (*inflater)(const Stream&)) {
    const Stream& s = Streams()[(size_t)state.range(0)];
    state.SetLabel(s.name);
    for (auto _ : state) {
        if (!inflater(s)) {
            state.SkipWithError("wrong result");
            return;
        }
    }
    state.SetBytesProcessed((int64_t)state.iterations() * s.size);
}

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int RunInterleaved(int rounds) {
    // Each round inflates every stream with all three, in an order that
    // turns from round to round, so that none always runs first.
    bool (*const inflaters[3])(const Stream&) = {SfxInflate, ZlibInflate, ZlibInflateBuffered};
    const char* const names[3] = {"sfx", "zlib", "zlib buffered"};
    double totals[3] = {0, 0, 0};
    uint64_t bytes = 0;
    std::vector<double> ratios, ratiosBuffered;
    for (int round = 0; round < rounds; ++round) {
        double took[3] = {0, 0, 0};
        for (const Stream& s : Streams()) {
            for (int turn = 0; turn < 3; ++turn) {
                int which = (turn + round) % 3;
                double start = ThreadSeconds();
                bool ok = inflaters[which](s);
                took[which] += ThreadSeconds() - start;
                if (!ok) {
                    fprintf(stderr, "wrong result for %s (%s)\n", s.name.c_str(), names[which]);
                    return 1;
                }
            }
            bytes += s.size;
        }
        for (int i = 0; i < 3; ++i) totals[i] += took[i];
        ratios.push_back(took[1] / took[0]);
        ratiosBuffered.push_back(took[2] / took[0]);
    }
    std::sort(ratios.begin(), ratios.end());
    printf("sfx_inflate %.1f MB/s\nzlib_inflate %.1f MB/s\nzlib_buffered_inflate %.1f MB/s\n"
           "ratio_median %.3f\nratio_low %.3f\nratio_high %.3f\nratio_buffered_median %.3f\n",
           (double)bytes / totals[0] / 1e6, (double)bytes / totals[1] / 1e6, (double)bytes / totals[2] / 1e6,
           Median(ratios), ratios.front(), ratios.back(), Median(ratiosBuffered));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = getenv("SFX_BENCH_CORPUS");
    if (!dir) dir = "build/bench-corpus";
    if (!PrepareStreams(dir)) {
        fprintf(stderr, "no corpus in %s (scripts/make_bench_corpus.sh builds it)\n", dir);
        return 1;
    }
    if (argc == 2 && strncmp(argv[1], "--interleaved=", 14) == 0) return RunInterleaved(atoi(argv[1] + 14));
    benchmark::RegisterBenchmark("corpus/sfx_inflate", RunCorpus, SfxInflate)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("corpus/zlib_inflate", RunCorpus, ZlibInflate)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("corpus/zlib_buffered_inflate", RunCorpus, ZlibInflateBuffered)
        ->Unit(benchmark::kMillisecond);
    for (size_t i = 0; i < Streams().size(); ++i) {
        benchmark::RegisterBenchmark(("file/sfx_inflate/" + Streams()[i].name).c_str(), RunOne, SfxInflate)
            ->Arg((int64_t)i)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("file/zlib_inflate/" + Streams()[i].name).c_str(), RunOne, ZlibInflate)
            ->Arg((int64_t)i)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
