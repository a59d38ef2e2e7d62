// The decoder against zlib's encoder: every stream zlib makes, at every level
// and with every strategy, must inflate to exactly zlib's input.
#include "codecs_test_util.h"
#include <random>

namespace {

std::string TextData(size_t size, uint32_t seed) {
    static const char* words[] = {"Entpacken ", "Archiv ", "the ", "quick ", "brown ", "fox ", "jumps\n",
                                  "over ", "lazy ", "dogs; ", "Fehler ", "(%u) ", "in ", "%s.\r\n"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) s += words[rng() % 14];
    s.resize(size);
    return s;
}
std::string RandomData(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = char(rng());
    return s;
}
std::string RunsData(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) s.append(1 + rng() % 300, char(rng() % 4));
    s.resize(size);
    return s;
}
// Program-like bytes: a real binary when one is there, else a mix.
std::string BinaryData(size_t size) {
    std::string bin = ReadFileBytes("/bin/ls");
    if (bin.size() < 1000) bin = RandomData(4096, 7) + RunsData(4096, 8) + TextData(4096, 9);
    std::string s;
    while (s.size() < size) s += bin;
    s.resize(size);
    return s;
}

struct Sample {
    const char* name;
    std::string data;
};

std::vector<Sample> Samples() {
    return {{"empty", ""},
            {"one byte", "A"},
            {"text 32768", TextData(32768, 1)},
            {"text 32769", TextData(32769, 2)},
            {"runs 32768", RunsData(32768, 3)},
            {"random 32769", RandomData(32769, 4)},
            {"binary 100000", BinaryData(100000)},
            {"mixed 70000", TextData(20000, 5) + RandomData(10000, 6) + RunsData(40000, 7)}};
}

const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};

void ExpectInflatesTo(const std::string& stream, const std::string& data, const std::string& what) {
    InflateResult r = Inflate(stream, (uint32_t)data.size());
    ASSERT_EQ(r.status, SFX_OK) << what;
    ASSERT_EQ(r.output.size(), data.size()) << what;
    ASSERT_TRUE(r.output == data) << what;
    EXPECT_EQ(r.crc, ZipCrc32(data)) << what;
    EXPECT_EQ(r.bytesWritten, data.size()) << what;
}

}  // namespace

TEST(InflateAgainstZlib, EveryLevelAndStrategyInflatesToTheInput) {
    for (const Sample& sample : Samples()) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : kStrategies) {
                std::string what = std::string(sample.name) + " level " + std::to_string(level) +
                                   " strategy " + std::to_string(strategy);
                ExpectInflatesTo(RawDeflate(sample.data, level, strategy), sample.data, what);
                if (HasFatalFailure()) return;
            }
        }
    }
}

TEST(InflateAgainstZlib, SeveralMegabytesOfMixedData) {
    std::string data = TextData(1500000, 11) + BinaryData(1200000) + RandomData(300000, 12) +
                       RunsData(1000000, 13);
    for (int level : {1, 6, 9}) {
        ExpectInflatesTo(RawDeflate(data, level), data, "level " + std::to_string(level));
        if (HasFatalFailure()) return;
    }
    ExpectInflatesTo(RawDeflate(data, 6, Z_HUFFMAN_ONLY), data, "huffman only");
}

TEST(InflateAgainstZlib, ManyBlocksAcrossInputBufferBoundaries) {
    // Small deflate blocks from flushes put block boundaries, stored blocks
    // and empty stored blocks at every offset of the 4096-byte input chunks.
    std::string data = TextData(300000, 21) + RandomData(50000, 22);
    z_stream zs = {};
    ASSERT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&zs, data.size()) + 200000, '\0');
    zs.next_out = (Bytef*)&out[0];
    zs.avail_out = (uInt)out.size();
    std::mt19937 rng(5);
    size_t pos = 0;
    while (pos < data.size()) {
        size_t n = std::min<size_t>(data.size() - pos, 1 + rng() % 3000);
        zs.next_in = (Bytef*)&data[pos];
        zs.avail_in = (uInt)n;
        pos += n;
        int mode = pos == data.size() ? Z_FINISH : (rng() % 3 == 0 ? Z_FULL_FLUSH : Z_SYNC_FLUSH);
        if (rng() % 5 == 0) deflateParams(&zs, rng() % 10, kStrategies[rng() % 5]);
        deflate(&zs, mode);
    }
    out.resize(zs.total_out);
    deflateEnd(&zs);
    ExpectInflatesTo(out, data, "flushed stream");
}
