// Hand-built DEFLATE streams for the decoder's edge cases and failure paths.
#include "codecs_test_util.h"
#include <stdlib.h>
#include <random>

namespace {

// Header of a dynamic block with the given code lengths (HLIT/HDIST taken
// from the list sizes unless given), every length sent as a literal length.
void DynamicHeader(BitWriter& w, bool final, const std::vector<unsigned>& litLen, const std::vector<unsigned>& dist,
                   unsigned hlitField = 99, unsigned hdistField = 99) {
    w.Bits(final, 1);
    w.Bits(2, 2);
    w.Bits(hlitField == 99 ? (unsigned)litLen.size() - 257 : hlitField, 5);
    w.Bits(hdistField == 99 ? (unsigned)dist.size() - 1 : hdistField, 5);
    w.Bits(15, 4);   // all 19 code-length code lengths follow
    // Code-length code: 0..12 of length 4, 13..18 of length 5 (13/16 + 6/32 = 1).
    static const unsigned cl[19] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5};
    for (unsigned j = 0; j < 19; ++j) w.Bits(cl[CODE_LENGTH_ORDER_RFC[j]], 3);
    std::vector<unsigned> clv(cl, cl + 19);
    std::vector<uint32_t> clCodes = CanonicalCodes(clv);
    for (unsigned l : litLen) w.Code(clCodes[l], cl[l]);
    for (unsigned l : dist) w.Code(clCodes[l], cl[l]);
}

// A complete literal/length code over 286 symbols: 256 and 30 symbols.
std::vector<unsigned> CompleteLitLen() {
    // 200 of length 9, 70 of length 7, 16 of length 8: 200/512 + 280/512 + 32/512 = 1.
    std::vector<unsigned> l(286, 0);
    for (unsigned s = 0; s < 200; ++s) l[s] = 9;
    for (unsigned s = 200; s < 270; ++s) l[s] = 7;
    for (unsigned s = 270; s < 286; ++s) l[s] = 8;
    return l;
}

struct DynamicCode {
    std::vector<unsigned> litLen, dist;
    std::vector<uint32_t> litCodes, distCodes;
    DynamicCode(std::vector<unsigned> l, std::vector<unsigned> d) : litLen(l), dist(d) {
        litCodes = CanonicalCodes(litLen);
        distCodes = CanonicalCodes(dist);
    }
    void Lit(BitWriter& w, unsigned s) const { w.Code(litCodes[s], litLen[s]); }
    void Dist(BitWriter& w, unsigned s) const { w.Code(distCodes[s], dist[s]); }
};

std::string StoredBlock(const std::string& data, bool final, bool badNlen = false) {
    std::string s;
    s.push_back(final ? 1 : 0);
    uint16_t len = (uint16_t)data.size();
    uint16_t nlen = badNlen ? len : (uint16_t)~len;
    s.push_back(char(len & 0xFF));
    s.push_back(char(len >> 8));
    s.push_back(char(nlen & 0xFF));
    s.push_back(char(nlen >> 8));
    return s + data;
}

}  // namespace

TEST(InflateStored, EmptyFinalStoredBlockWritesNothingAndReportsOnce) {
    InflateResult r = Inflate(StoredBlock("", true), 0);
    EXPECT_EQ(r.status, SFX_OK);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.progress, std::vector<uint64_t>({0}));
}

TEST(InflateStored, NlenThatIsNotTheComplementIsCorrupt) {
    InflateResult r = Inflate(StoredBlock("abcd", true, true), 4);
    EXPECT_EQ(r.status, SFX_ERR_BAD_DATA);
}

TEST(InflateStored, BlocksAcrossInputChunksAndWindowEnd) {
    std::string data;
    std::mt19937 rng(1);
    for (int i = 0; i < 70000; ++i) data.push_back(char(rng()));
    std::string stream;
    for (size_t pos = 0; pos < data.size(); pos += 9999)
        stream += StoredBlock(data.substr(pos, 9999), pos + 9999 >= data.size());
    InflateResult r = Inflate(stream, (uint32_t)data.size());
    EXPECT_EQ(r.status, SFX_OK);
    EXPECT_TRUE(r.output == data);
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.back(), 70000u);
}

TEST(InflateBlocks, BlockType3IsRefused) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(3, 2);
    EXPECT_EQ(Inflate(w.Finish(), 10).status, SFX_ERR_BAD_DATA);
}

TEST(InflateBlocks, EntryThatFillsTheWindowExactlyEndsInTheNextCall) {
    // The window is full exactly when the data end: the end of the stream
    // comes with the next call, which may produce nothing more.
    std::string data(INFLATE_WINDOW_SIZE, 'q');
    InflateResult r = Inflate(RawDeflate(data, 9), (uint32_t)data.size());
    EXPECT_EQ(r.status, SFX_OK);
    EXPECT_EQ(r.output, data);
    EXPECT_EQ(r.progress, std::vector<uint64_t>({INFLATE_WINDOW_SIZE, INFLATE_WINDOW_SIZE}));
}

TEST(InflateFixed, LongMatchAtDistanceOneAndCopiesAcrossTheWindowEnd) {
    // 'a', then 258 x distance 1, and enough matches at distance 32768 and
    // 300 to make copies whose source and destination cross the window end.
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        unsigned c = 'a' + i % 26;
        w.FixedLitLen(c);
        expected.push_back(char(c));
    }
    w.FixedLitLen(285);   // length 258
    w.FixedDistance(0);   // distance 1
    expected.append(258, expected.back());
    // Length 258, distance 300 (symbol 16: 257 + 6 extra bits -> 300 = 257+43).
    while (expected.size() < 100000) {
        w.FixedLitLen(285);
        w.FixedDistance(16);
        w.Bits(43, 7);
        for (int i = 0; i < 258; ++i) expected.push_back(expected[expected.size() - 300]);
        if (expected.size() > 33000) {
            // distance 32768: symbol 29 with 13 extra bits = 8191
            w.FixedLitLen(284);   // 227 + 5 extra bits: length 257
            w.Bits(30, 5);
            w.FixedDistance(29);
            w.Bits(8191, 13);
            for (int i = 0; i < 257; ++i) expected.push_back(expected[expected.size() - 32768]);
        }
    }
    w.FixedLitLen(256);
    InflateResult r = Inflate(w.Finish(), (uint32_t)expected.size());
    EXPECT_EQ(r.status, SFX_OK);
    EXPECT_TRUE(r.output == expected);
    EXPECT_EQ(ZlibInflateRaw(w.bytes, expected.size()), expected);
}

TEST(InflateFixed, RandomMatchesOfEveryLengthAndDistanceAgreeWithZlib) {
    // Literal runs and matches of random lengths at short distances (1 to 8,
    // where a copy overlaps itself), middle ones, and the largest (32761 to
    // 32768, which zlib's deflate never writes; a copy that stores past its
    // end would spoil exactly these bytes of the window). Copies split at
    // the window's end and reaching into its previous fill come up too.
    std::mt19937 rng(11);
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    std::string expected;
    while (expected.size() < 300000) {
        if (expected.size() < 8 || rng() % 3 == 0) {
            for (unsigned n = 1 + rng() % 5; n > 0; --n) {
                unsigned c = rng() % 256;
                w.FixedLitLen(c);
                expected.push_back(char(c));
            }
            continue;
        }
        unsigned length = rng() % 4 == 0 ? 3 + rng() % 256 : 3 + rng() % 14;
        unsigned reach = (unsigned)std::min<size_t>(expected.size(), 32768);
        unsigned distance;
        switch (rng() % 4) {
        case 0: distance = 1 + rng() % 8; break;
        case 1: distance = 32761 + rng() % 8; break;
        case 2: distance = 8 + rng() % 64; break;
        default: distance = 1 + rng() % reach; break;
        }
        if (distance > reach) distance = reach;
        unsigned i = 28;
        while (LENGTH_BASE_RFC[i] > length) --i;
        w.FixedLitLen(257 + i);
        w.Bits(length - LENGTH_BASE_RFC[i], LENGTH_EXTRA_RFC[i]);
        unsigned j = 29;
        while (DISTANCE_BASE_RFC[j] > distance) --j;
        w.FixedDistance(j);
        w.Bits(distance - DISTANCE_BASE_RFC[j], DISTANCE_EXTRA_RFC[j]);
        for (unsigned k = 0; k < length; ++k) expected.push_back(expected[expected.size() - distance]);
    }
    w.FixedLitLen(256);
    InflateResult r = Inflate(w.Finish(), (uint32_t)expected.size());
    EXPECT_EQ(r.status, SFX_OK);
    EXPECT_TRUE(r.output == expected);
    EXPECT_EQ(ZlibInflateRaw(w.bytes, expected.size()), expected);
}

TEST(InflateFixed, Symbols286And287AndDistances30And31AreInvalid) {
    for (unsigned symbol : {286u, 287u}) {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.FixedLitLen('x');
        w.FixedLitLen(symbol);
        w.FixedDistance(0);
        w.FixedLitLen(256);
        EXPECT_EQ(Inflate(w.Finish(), 1000).status, SFX_ERR_BAD_DATA) << symbol;
    }
    for (unsigned d : {30u, 31u}) {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.FixedLitLen('x');
        w.FixedLitLen(257);
        w.FixedDistance(d);
        w.FixedLitLen(256);
        EXPECT_EQ(Inflate(w.Finish(), 1000).status, SFX_ERR_BAD_DATA) << d;
    }
}

TEST(InflateFixed, DistanceBeforeTheEntrysFirstByteIsCorrupt) {
    // The previous entry leaves its bytes in the window; a distance that
    // reaches before this entry's first byte must not copy them.
    std::string first(40000, '\0');
    for (size_t i = 0; i < first.size(); ++i) first[i] = char('A' + i % 23);
    ASSERT_EQ(Inflate(RawDeflate(first, 1), (uint32_t)first.size()).status, SFX_OK);
    for (bool fast : {false, true}) {
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        // Enough literals first for the fast loop to take the match.
        std::string literals = fast ? std::string(200, 'x') : "xy";
        for (char c : literals) w.FixedLitLen((uint8_t)c);
        w.FixedLitLen(257);     // length 3
        w.FixedDistance(16);    // distance 257 + 7 extra bits
        w.Bits(100, 7);
        for (int i = 0; i < 100; ++i) w.FixedLitLen('z');
        w.FixedLitLen(256);
        InflateResult r = Inflate(w.Finish(), (uint32_t)literals.size() + 103);
        EXPECT_EQ(r.status, SFX_ERR_BAD_DATA) << fast;
    }
}

TEST(InflateDynamic, HlitAndHdistLimits) {
    std::vector<unsigned> lit = CompleteLitLen();
    std::vector<unsigned> dist(30, 5);
    dist[0] = 4;
    dist[1] = 4;   // 2/16 + 28/32 = 1: complete 30-symbol distance code
    DynamicCode code(lit, dist);
    for (unsigned hlit : {29u, 30u, 31u}) {
        for (unsigned hdist : {29u, 30u, 31u}) {
            BitWriter w;
            DynamicHeader(w, true, lit, dist, hlit, hdist);
            code.Lit(w, 'h');
            code.Lit(w, 256);
            InflateResult r = Inflate(w.Finish(), 1);
            if (hlit == 29 && hdist == 29) {
                EXPECT_EQ(r.status, SFX_OK);
                EXPECT_EQ(r.output, "h");
            } else {
                EXPECT_EQ(r.status, SFX_ERR_BAD_DATA) << hlit << " " << hdist;
            }
        }
    }
}

TEST(InflateDynamic, EmptyDistanceCodeWorksWithoutMatchesAndFailsWithOne) {
    std::vector<unsigned> lit = CompleteLitLen();
    DynamicCode code(lit, {0});
    {
        BitWriter w;
        DynamicHeader(w, true, lit, {0});
        code.Lit(w, 'o');
        code.Lit(w, 'k');
        code.Lit(w, 256);
        InflateResult r = Inflate(w.Finish(), 2);
        EXPECT_EQ(r.status, SFX_OK);
        EXPECT_EQ(r.output, "ok");
    }
    {
        BitWriter w;
        DynamicHeader(w, true, lit, {0});
        code.Lit(w, 'o');
        code.Lit(w, 257);
        w.Bits(0, 8);
        code.Lit(w, 256);
        EXPECT_EQ(Inflate(w.Finish(), 100).status, SFX_ERR_BAD_DATA);
    }
}

TEST(InflateDynamic, SingleDistanceCodeOfLengthOneDecodesButTwoOfLengthTwoAreIncomplete) {
    std::vector<unsigned> lit = CompleteLitLen();
    {
        std::vector<unsigned> dist = {0, 0, 0, 1};   // distance 4 only
        DynamicCode code(lit, dist);
        BitWriter w;
        DynamicHeader(w, true, lit, dist);
        for (char c : std::string("abcd")) code.Lit(w, (unsigned char)c);
        code.Lit(w, 258);   // length 4
        code.Dist(w, 3);
        code.Lit(w, 256);
        InflateResult r = Inflate(w.Finish(), 8);
        EXPECT_EQ(r.status, SFX_OK);
        EXPECT_EQ(r.output, "abcdabcd");
    }
    {
        std::vector<unsigned> dist = {2, 2};
        DynamicCode code(lit, dist);
        BitWriter w;
        DynamicHeader(w, true, lit, dist);
        code.Lit(w, 'a');
        code.Lit(w, 256);
        EXPECT_EQ(Inflate(w.Finish(), 1).status, SFX_ERR_BAD_DATA);
    }
}

TEST(InflateDynamic, IncompleteAndOverSubscribedLiteralCodesAreRefused) {
    std::vector<unsigned> lit = CompleteLitLen();
    lit[0] = 0;   // one code missing: incomplete
    BitWriter w;
    DynamicHeader(w, true, lit, {1});
    EXPECT_EQ(Inflate(w.Finish(), 1).status, SFX_ERR_BAD_DATA);
    lit[0] = 8;   // one code too many
    BitWriter w2;
    DynamicHeader(w2, true, lit, {1});
    EXPECT_EQ(Inflate(w2.Finish(), 1).status, SFX_ERR_BAD_DATA);
}

TEST(InflateDynamic, RepeatCodePastTheEndOfTheLengthsIsCorrupt) {
    // HLIT 257 + HDIST 1 = 258 lengths; code 18 with 138 zeros twice = 276.
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(2, 2);
    w.Bits(0, 5);
    w.Bits(0, 5);
    w.Bits(15, 4);
    static const unsigned cl[19] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5};
    for (unsigned j = 0; j < 19; ++j) w.Bits(cl[CODE_LENGTH_ORDER_RFC[j]], 3);
    std::vector<uint32_t> clCodes = CanonicalCodes(std::vector<unsigned>(cl, cl + 19));
    w.Code(clCodes[18], 5);
    w.Bits(127, 7);
    w.Code(clCodes[18], 5);
    w.Bits(127, 7);
    EXPECT_EQ(Inflate(w.Finish(), 10).status, SFX_ERR_BAD_DATA);
}

TEST(InflateEnd, StreamCutAtEveryByteEndsWithoutRunningOn) {
    std::string data;
    for (int i = 0; i < 3000; ++i) data += "Zeile " + std::to_string(i % 97) + (i % 5 ? " " : "\n");
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
        std::string stream = RawDeflate(data, 9, strategy);
        for (size_t cut = 0; cut < stream.size(); ++cut) {
            // The entry declares plenty of room: only the end-of-data rule
            // may stop a stream that decodes the one bits as literals.
            InflateResult r = Inflate(stream.substr(0, cut), 1u << 30);
            ASSERT_NE(r.status, SFX_OK) << "cut " << cut;
            ASSERT_LE(r.output.size(), data.size() + 65536u) << "cut " << cut;
        }
    }
}

TEST(InflateEnd, FixedBlockHeaderFollowedByNothingIsCorrupt) {
    // All-one bits decode as literal 255 in a fixed block, without end.
    InflateResult r = Inflate(std::string(1, '\x03'), 1u << 30);
    EXPECT_EQ(r.status, SFX_ERR_BAD_DATA);
    EXPECT_LT(r.output.size(), 100u);
}

TEST(InflateEnd, FailedReadEndsWithIoError) {
    std::string data(200000, '\0');
    std::mt19937 rng(9);
    for (auto& c : data) c = char(rng() % 16);
    std::string stream = RawDeflate(data, 6);
    TempDir dir;
    WriteFileBytes(dir.File("cut.bin"), stream.substr(0, stream.size() / 2));
    // The entry claims the whole stream, the file holds half of it.
    InflateResult r = InflateWith(dir, dir.File("cut.bin"), (uint32_t)stream.size(), (uint32_t)data.size());
    EXPECT_EQ(r.status, SFX_ERR_IO);
}

TEST(InflateEnd, TrailingBytesAfterTheStreamAreNotConsumedAsData) {
    std::string data = "trailing bytes must not matter";
    std::string stream = RawDeflate(data, 9);
    TempDir dir;
    WriteFileBytes(dir.File("s.bin"), stream + std::string(5000, '\xFF'));
    InflateResult r = InflateWith(dir, dir.File("s.bin"), (uint32_t)stream.size(), (uint32_t)data.size());
    EXPECT_EQ(r.status, SFX_OK);
    EXPECT_EQ(r.output, data);
}

TEST(InflateLimits, OutputBeyondTheDeclaredSizeEndsTheEntryAtOnce) {
    std::string data(100000, 'z');
    std::string stream = RawDeflate(data, 9);
    InflateResult exact = Inflate(stream, (uint32_t)data.size());
    EXPECT_EQ(exact.status, SFX_OK);
    InflateResult lying = Inflate(stream, 40000);
    EXPECT_EQ(lying.status, SFX_ERR_BAD_DATA);
    EXPECT_LE(lying.output.size(), 40000u);
    EXPECT_LE(lying.bytesWritten, 40000u);
    InflateResult small = Inflate(stream, (uint32_t)data.size() - 1);
    EXPECT_EQ(small.status, SFX_ERR_BAD_DATA);
}

// A cancel ends the decoding at once: the entry is dropped anyway, and
// decoding the rest would keep the dialog unanswered for as long as it takes.
TEST(InflateProgress, AbortStopsDecodingAtOnceAndStaysACancel) {
    std::string data(100000, '\0');
    std::mt19937 rng(2);
    for (auto& c : data) c = char('a' + rng() % 3);
    std::string stream = RawDeflate(data, 6);
    InflateResult r = Inflate(stream, (uint32_t)data.size(), 1);
    EXPECT_EQ(r.status, SFX_USER_ABORT);
    EXPECT_EQ(r.progress.size(), 1u);
    EXPECT_EQ(r.output.size(), (size_t)INFLATE_WINDOW_SIZE) << "one window, no more";
}
