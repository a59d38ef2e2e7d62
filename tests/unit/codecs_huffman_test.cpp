// The table builder: what it refuses, and tables that decode every code of
// random complete codes, deep ones included, without writing past the
// worst-case size their arrays are given.
#include <gtest/gtest.h>
#include <random>
#include <vector>
#include "codecs/huffman.h"
#include "codecs/inflate.h"
#include "codecs_test_util.h"

namespace {

// Templates that name the symbol: value = symbol, no extra bits.
std::vector<HuffEntry> SymbolTemplates(unsigned n) {
    std::vector<HuffEntry> t(n);
    for (unsigned s = 0; s < n; ++s) t[s] = (HuffEntry)s << 16;
    return t;
}

struct Built {
    HuffResult result;
    unsigned rootBits;
    std::vector<HuffEntry> table;
};

// Builds into an array with a canary area behind the worst-case size.
Built Build(const std::vector<uint8_t>& lengths, unsigned rootBits) {
    const unsigned size = HuffTableSize(rootBits, (unsigned)lengths.size());
    Built b;
    b.table.assign(size + 64, 0xDEADBEEF);
    std::vector<HuffEntry> templates = SymbolTemplates((unsigned)lengths.size());
    b.rootBits = rootBits;
    b.result = BuildHuffTable(lengths.data(), (unsigned)lengths.size(), templates.data(), b.table.data(), rootBits);
    for (unsigned i = size; i < b.table.size(); ++i) EXPECT_EQ(b.table[i], 0xDEADBEEF) << "written past the size at " << i;
    return b;
}

// Looks the code (most significant bit first, as RFC 1951 writes codes)
// up as a decoder does: the stream delivers it reversed, followed by bits
// that must not matter.
HuffEntry Lookup(const Built& b, uint32_t code, unsigned length, unsigned* taken) {
    uint32_t bits = 0;
    for (unsigned i = 0; i < length; ++i) bits |= ((code >> (length - 1 - i)) & 1u) << i;
    bits |= 0xA5A5A5A5u << length;
    HuffEntry e = b.table[bits & ((1u << b.rootBits) - 1)];
    *taken = 0;
    if (e & HUFF_LINK) {
        *taken = HuffTotal(e);
        bits >>= HuffTotal(e);
        e = b.table[HuffValue(e) + (bits & ((1u << HuffCodeword(e)) - 1))];
    }
    *taken += HuffCodeword(e);
    return e;
}

void ExpectDecodesEverySymbol(const std::vector<uint8_t>& lengths, unsigned rootBits) {
    Built b = Build(lengths, rootBits);
    ASSERT_EQ(b.result, HUFF_COMPLETE);
    std::vector<unsigned> widened(lengths.begin(), lengths.end());
    std::vector<uint32_t> codes = CanonicalCodes(widened);
    for (unsigned s = 0; s < lengths.size(); ++s) {
        if (lengths[s] == 0) continue;
        unsigned taken = 0;
        HuffEntry e = Lookup(b, codes[s], lengths[s], &taken);
        ASSERT_FALSE(e & HUFF_EXCEPTIONAL) << "symbol " << s;
        ASSERT_EQ(HuffValue(e), s);
        ASSERT_EQ(taken, lengths[s]) << "symbol " << s;
        ASSERT_EQ(HuffTotal(e), HuffCodeword(e)) << "no extra bits";
    }
}

// A random complete code over n symbols with lengths up to maxLength:
// split leaves of a code tree until there are n of them.
std::vector<uint8_t> RandomCompleteCode(std::mt19937& rng, unsigned n, unsigned maxLength) {
    std::vector<uint8_t> leaves = {1, 1};
    while (leaves.size() < n) {
        size_t i = rng() % leaves.size();
        if (leaves[i] >= maxLength) {
            bool any = false;
            for (uint8_t l : leaves) any |= l < maxLength;
            if (!any) break;
            continue;
        }
        uint8_t l = ++leaves[i];
        leaves.push_back(l);
    }
    std::shuffle(leaves.begin(), leaves.end(), rng);
    return leaves;
}

}  // namespace

TEST(HuffmanBuild, RefusesWhatIsNotACompleteCodeButAcceptsEmptyAndSingleCodes) {
    EXPECT_EQ(Build({1, 1, 1}, 9).result, HUFF_OVERSUBSCRIBED);
    EXPECT_EQ(Build({2, 2}, 9).result, HUFF_INCOMPLETE);
    EXPECT_EQ(Build({3, 3, 3, 2, 0, 2}, 9).result, HUFF_INCOMPLETE);

    // No code at all: every root entry is invalid.
    Built empty = Build(std::vector<uint8_t>(30, 0), 8);
    EXPECT_EQ(empty.result, HUFF_COMPLETE);
    for (unsigned i = 0; i < 256; ++i) ASSERT_EQ(empty.table[i], HUFF_INVALID) << i;

    // One code of length 1 ('0'): every other root entry, the rest invalid.
    std::vector<uint8_t> single(30, 0);
    single[7] = 1;
    Built one = Build(single, 8);
    EXPECT_EQ(one.result, HUFF_COMPLETE);
    for (unsigned i = 0; i < 256; i += 2) {
        ASSERT_EQ(HuffValue(one.table[i]), 7u) << i;
        ASSERT_EQ(HuffCodeword(one.table[i]), 1u) << i;
        ASSERT_EQ(one.table[i + 1], HUFF_INVALID) << i;
    }
}

TEST(HuffmanBuild, RandomCompleteCodesDecodeEverySymbolWithinTheWorstCaseSize) {
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        unsigned n = 2 + rng() % 287;
        unsigned maxLength = 1 + rng() % 15;
        std::vector<uint8_t> lengths = RandomCompleteCode(rng, n, maxLength);
        unsigned rootBits = round % 3 == 0 ? LITLEN_ROOT_BITS : round % 3 == 1 ? DISTANCE_ROOT_BITS : 5;
        ExpectDecodesEverySymbol(lengths, rootBits);
    }
}

TEST(HuffmanBuild, DeepCodesWithManySubTablesStayWithinTheirSize) {
    // Codes grown from their longest leaves: many root entries lead to
    // sub-tables, the deepest of 15-bit codes.
    std::mt19937 rng(8);
    for (int round = 0; round < 200; ++round) {
        unsigned n = 30 + rng() % 259;
        std::vector<uint8_t> leaves = {1, 1};
        while (leaves.size() < n) {
            std::vector<size_t> deep;
            for (size_t i = 0; i < leaves.size(); ++i)
                if (leaves[i] >= 6 && leaves[i] < 15) deep.push_back(i);
            size_t i = deep.empty() ? rng() % leaves.size() : deep[rng() % deep.size()];
            if (leaves[i] >= 15) continue;
            uint8_t l = ++leaves[i];
            leaves.push_back(l);
        }
        std::shuffle(leaves.begin(), leaves.end(), rng);
        ExpectDecodesEverySymbol(leaves, LITLEN_ROOT_BITS);
        if (leaves.size() <= 32) ExpectDecodesEverySymbol(leaves, DISTANCE_ROOT_BITS);
    }
}
