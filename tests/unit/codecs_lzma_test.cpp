// The LZMA decoder against liblzma's encoder: every stream decodes to its
// input whatever the properties, the dictionary, the end marker, the pieces
// the input comes in and the steps the window moves in; corrupt streams,
// wrong sizes and foreign properties end with a clear answer.
#include <gtest/gtest.h>
#include <random>
#include "support/lzma_driver.h"

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

// Long runs and far repeats: long matches and every kind of repeated distance.
std::string RepeatData(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string block = RandomData(3000, seed);
    std::string s;
    while (s.size() < size) {
        switch (rng() % 3) {
        case 0: s.append(1 + rng() % 400, char(rng() % 3)); break;
        case 1: s += block.substr(rng() % 2000, 1 + rng() % 1000); break;
        default: s += TextData(1 + rng() % 200, rng()); break;
        }
    }
    s.resize(size);
    return s;
}

std::string BinaryData(size_t size) {
    std::string bin;
    FILE* f = fopen("/bin/ls", "rb");
    if (f) {
        char chunk[65536];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, f)) > 0 && bin.size() < size) bin.append(chunk, n);
        fclose(f);
    }
    if (bin.size() < 1000) bin = RandomData(4096, 7) + RepeatData(8192, 8);
    std::string s;
    while (s.size() < size) s += bin;
    s.resize(size);
    return s;
}

struct Properties {
    uint32_t lc, lp, pb;
};

void ExpectDecodes(const std::string& data, const Properties& p, uint32_t dictionary, bool endMarker,
                   const LzmaDrive& drive, const std::string& what) {
    uint8_t props[5];
    std::string stream = LiblzmaEncode(data, props, p.lc, p.lp, p.pb, dictionary, endMarker);
    ASSERT_FALSE(stream.empty()) << what << ": liblzma failed";
    LzmaOutcome r = DriveLzma(props, stream, data.size(), endMarker, drive);
    ASSERT_EQ(r.broken, "") << what;
    ASSERT_EQ(r.result, CODEC_END) << what;
    ASSERT_EQ(r.output.size(), data.size()) << what;
    ASSERT_TRUE(r.output == data) << what;
    EXPECT_EQ(r.untaken, 0u) << what << ": the stream's last bytes were not taken";
}

}  // namespace

TEST(LzmaDecoder, DecodesLiblzmaStreamsOfEveryShape) {
    const std::vector<std::pair<const char*, std::string>> samples = {
        {"one byte", "A"},
        {"text", TextData(70000, 1)},
        {"binary", BinaryData(300000)},
        {"random", RandomData(20000, 2)},
        {"repeats", RepeatData(200000, 3)},
    };
    // liblzma writes lc + lp up to 4 only; lc 8 and lp 4 come from 7-Zip in the
    // archive tests.
    const Properties properties[] = {{3, 0, 2}, {0, 2, 0}, {0, 4, 4}, {1, 3, 1}, {4, 0, 4}};
    // The whole window at once and input in large pieces; a ring far smaller
    // than the data whose limit moves a few bytes at a time (matches are cut
    // everywhere) with input in odd small pieces.
    LzmaDrive large;
    LzmaDrive small;
    small.chunkVary = 300;
    small.step = 7;
    for (const auto& sample : samples) {
        for (const Properties& p : properties) {
            for (uint32_t dictionary : {4096u, 1u << 20}) {
                for (bool endMarker : {false, true}) {
                    std::string what = std::string(sample.first) + " lc " + std::to_string(p.lc) + " lp " +
                                       std::to_string(p.lp) + " pb " + std::to_string(p.pb) + " dictionary " +
                                       std::to_string(dictionary) + (endMarker ? " with" : " without") +
                                       " end marker";
                    ExpectDecodes(sample.second, p, dictionary, endMarker, large, what);
                    if (HasFatalFailure()) return;
                    ExpectDecodes(sample.second, p, dictionary, endMarker, small, what + ", small steps");
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
}

TEST(LzmaDecoder, InputSplitAtEveryByteAndWindowLimitsAtEveryByte) {
    std::string data = TextData(600, 4) + std::string(300, 'x') + TextData(600, 4);
    for (bool endMarker : {false, true}) {
        uint8_t props[5];
        std::string stream = LiblzmaEncode(data, props, 3, 0, 2, 4096, endMarker);
        ASSERT_FALSE(stream.empty());
        for (uint32_t chunk = 1; chunk <= stream.size(); ++chunk) {
            LzmaDrive drive;
            drive.chunk = chunk;
            ExpectDecodes(data, {3, 0, 2}, 4096, endMarker, drive, "pieces of " + std::to_string(chunk));
            if (HasFatalFailure()) return;
        }
        for (uint32_t step = 1; step < 40; ++step) {
            LzmaDrive drive;
            drive.step = step;
            drive.windowSize = 1000 + step;     // the ring wraps inside matches too
            drive.chunk = 5;
            ExpectDecodes(data, {3, 0, 2}, 4096, endMarker, drive, "limit steps of " + std::to_string(step));
            if (HasFatalFailure()) return;
        }
    }
}

TEST(LzmaDecoder, RefusesPropertiesOutsideTheFormat) {
    uint8_t props[5] = {225, 0, 0, 1, 0};
    EXPECT_EQ(LzmaProbabilityBytes(props), 0u);
    uint16_t probabilities[4];
    EXPECT_EQ(LzmaStart(props, probabilities, 10, 0), CODEC_REFUSED);
    props[0] = 224;     // lc 8, lp 4, pb 4: the largest there is
    EXPECT_EQ(LzmaProbabilityBytes(props), (1846u + (0x300u << 12)) * 2);
    props[0] = 0;
    EXPECT_EQ(LzmaProbabilityBytes(props), (1846u + 0x300u) * 2);
}

TEST(LzmaDecoder, WrongSizesAndCutStreamsAreCorrupt) {
    std::string data = RepeatData(5000, 5);
    for (bool endMarker : {false, true}) {
        uint8_t props[5];
        std::string stream = LiblzmaEncode(data, props, 3, 0, 2, 1u << 16, endMarker);
        ASSERT_FALSE(stream.empty());
        // A stream that goes on past its declared size stops there.
        LzmaOutcome shorter = DriveLzma(props, stream, data.size() - 1, endMarker);
        EXPECT_EQ(shorter.broken, "");
        EXPECT_EQ(shorter.result, CODEC_CORRUPT);
        EXPECT_LE(shorter.output.size(), data.size() - 1);
        // One that ends before it (with its end marker or its last byte).
        LzmaOutcome longer = DriveLzma(props, stream, data.size() + 1, endMarker);
        EXPECT_EQ(longer.broken, "");
        EXPECT_EQ(longer.result, CODEC_CORRUPT);
        // Cut anywhere: corrupt, never a request for more after the final
        // piece and never more than declared (the driver checks both).
        for (size_t cut = 0; cut < stream.size(); ++cut) {
            LzmaDrive drive;
            drive.chunk = 1 + cut % 97;
            LzmaOutcome r = DriveLzma(props, stream.substr(0, cut), data.size(), endMarker, drive);
            ASSERT_EQ(r.broken, "") << "cut at " << cut;
            ASSERT_EQ(r.result, CODEC_CORRUPT) << "cut at " << cut;
        }
        // A stream with its first byte not 0.
        std::string bad = stream;
        bad[0] = 1;
        EXPECT_EQ(DriveLzma(props, bad, data.size(), endMarker).result, CODEC_CORRUPT);
    }
}

TEST(LzmaDecoder, AgreesWithLiblzmaOnDamagedStreams) {
    // Damage in every part of a stream: distances before the first byte or
    // beyond the dictionary, repeats before any output, end markers in the
    // wrong place, a code not at 0 at the end. The answer and the output
    // must be liblzma's (liblzma's window is the dictionary, at least 4096
    // bytes and rounded up to 16).
    std::string data = RepeatData(20000, 6);
    std::mt19937 rng(9);
    int accepted = 0;
    for (bool endMarker : {false, true}) {
        uint8_t props[5];
        std::string stream = LiblzmaEncode(data, props, 3, 0, 2, 4096, endMarker);
        ASSERT_FALSE(stream.empty());
        for (int round = 0; round < 600; ++round) {
            std::string bad = stream;
            size_t at = rng() % bad.size();
            if (round % 3 == 0) at = 1 + rng() % 8;     // the first symbols
            bad[at] = char(bad[at] ^ (1 + rng() % 255));
            uint64_t declared = data.size() + (round % 5 == 0 ? rng() % 5 : 0) - (round % 7 == 0 ? rng() % 5 : 0);
            LiblzmaOutcome peer = LiblzmaDecode(props, bad, declared, endMarker);
            LzmaDrive drive;
            drive.windowSize = 4096;
            drive.chunk = 1 + rng() % 1000;
            LzmaOutcome r = DriveLzma(props, bad, declared, endMarker, drive);
            ASSERT_EQ(r.broken, "") << "round " << round;
            if (peer.result == LZMA_STREAM_END) {
                ++accepted;
                ASSERT_EQ(r.result, CODEC_END) << "round " << round;
                ASSERT_TRUE(r.output == peer.output) << "round " << round;
            } else {
                ASSERT_EQ(r.result, CODEC_CORRUPT) << "round " << round << ", liblzma " << peer.result;
            }
        }
    }
    EXPECT_LT(accepted, 1200);  // not all damage slips through
}

namespace {

// Range-codes chosen decisions, each at the initial probability (every
// decision below has a probability of its own, not yet adapted), for
// streams no encoder writes.
struct DecisionWriter {
    uint64_t low = 0;
    uint32_t range = 0xFFFFFFFF;
    uint8_t cache = 0;
    uint64_t cacheSize = 1;
    std::string out;
    void ShiftLow() {
        if ((uint32_t)low < 0xFF000000u || (low >> 32) != 0) {
            uint8_t carry = (uint8_t)(low >> 32);
            for (; cacheSize != 0; --cacheSize) {
                out.push_back(char(cache + carry));
                cache = 0xFF;
            }
            cache = (uint8_t)(low >> 24);
        }
        ++cacheSize;
        low = (low & 0x00FFFFFF) << 8;
    }
    void Bit(uint32_t bit) {
        uint32_t bound = (range >> 11) * 1024;
        if (bit) {
            low += bound;
            range -= bound;
        } else {
            range = bound;
        }
        while (range < (1u << 24)) {
            range <<= 8;
            ShiftLow();
        }
    }
    std::string Finish() {
        for (int i = 0; i < 5; ++i) ShiftLow();
        return out;
    }
};

}  // namespace

TEST(LzmaDecoder, RepeatsAndMatchesBeforeTheFirstByteAreCorrupt) {
    // The window holds the previous entry's bytes: a repeat of rep0 (1 back)
    // or a match as the first symbol must not copy them. A literal first
    // shows that such crafted streams decode at all.
    uint8_t props[5] = {LzmaPropertiesByte(3, 0, 2), 0, 0, 1, 0};
    DecisionWriter literal;
    literal.Bit(0);                             // is match: no
    for (int i = 0; i < 8; ++i) literal.Bit(i == 1);    // 0x40
    EXPECT_EQ(DriveLzma(props, literal.Finish(), 1, false).output, "@");
    DecisionWriter shortRep;
    for (uint32_t bit : {1, 1, 0, 0}) shortRep.Bit(bit);   // match, repeat, rep0, one byte
    LzmaOutcome r = DriveLzma(props, shortRep.Finish(), 1, false);
    EXPECT_EQ(r.result, CODEC_CORRUPT);
    EXPECT_EQ(r.output, "");
    DecisionWriter match;
    for (uint32_t bit : {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) match.Bit(bit);  // length 2, distance 1
    r = DriveLzma(props, match.Finish(), 2, false);
    EXPECT_EQ(r.result, CODEC_CORRUPT);
    EXPECT_EQ(r.output, "");
}
