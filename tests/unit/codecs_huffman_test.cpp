// The table builder: its results, the width rule with the end-of-block rule,
// and tables that decode every code of a random complete code correctly.
#include <gtest/gtest.h>
#include <set>
#include <random>
#include <vector>
#include "codecs/huffman.h"
#include "codecs/inflate.h"
#include "codecs_test_util.h"

namespace {

int Build(const std::vector<unsigned>& lengths, unsigned simple, const uint16_t* base, const uint16_t* extra,
          HuffTable* root, unsigned* width) {
    return BuildHuffTable(lengths.data(), (unsigned)lengths.size(), simple, base, extra, root, width);
}

// Walks the tables with the bit-reversed code as a decoder would.
const HuffEntry* Lookup(HuffTable root, unsigned rootWidth, uint32_t code, unsigned length, unsigned* used) {
    uint32_t bits = 0;
    for (unsigned i = 0; i < length; ++i) bits |= ((code >> (length - 1 - i)) & 1u) << i;
    bits |= ~0u << length;   // what follows the code does not matter
    const HuffEntry* e = &root[bits & ((1u << rootWidth) - 1)];
    *used = 0;
    while (e->op > HUFF_OP_LITERAL && e->op != HUFF_OP_INVALID) {
        *used += e->bits;
        bits >>= e->bits;
        e = HuffSubTable(e) + (bits & ((1u << (e->op - HUFF_OP_LITERAL)) - 1));
    }
    *used += e->bits;
    return e;
}

// Sub-tables the root links to, each counted once.
unsigned SubTableCount(HuffTable root, unsigned width) {
    std::set<const HuffEntry*> tables;
    for (unsigned i = 0; i < (1u << width); ++i)
        if (root[i].op > HUFF_OP_LITERAL && root[i].op != HUFF_OP_INVALID) tables.insert(HuffSubTable(&root[i]));
    return (unsigned)tables.size();
}

std::vector<unsigned> FixedLitLenLengths() {
    std::vector<unsigned> l(288);
    for (unsigned i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    return l;
}

}  // namespace

TEST(HuffmanBuild, AllLengthsZeroGiveAnEmptyTable) {
    HuffTable root = (HuffTable)1;
    unsigned width = 9;
    EXPECT_EQ(Build(std::vector<unsigned>(30, 0), 0, DistanceBase, DistanceExtraBits, &root, &width), 0);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(width, 0u);
    FreeHuffTable(nullptr);   // must do nothing
}

TEST(HuffmanBuild, OverSubscribedCodeIsRefusedWithoutTables) {
    HuffTable root = nullptr;
    unsigned width = 7;
    EXPECT_EQ(Build({1, 1, 1}, 19, nullptr, nullptr, &root, &width), 2);
    EXPECT_EQ(Build({1, 2, 2, 2, 3}, 19, nullptr, nullptr, &root, &width), 2);
}

TEST(HuffmanBuild, IncompleteCodeHandsBackTablesWithInvalidSlots) {
    HuffTable root = nullptr;
    unsigned width = 7;
    ASSERT_EQ(Build({2, 2}, 19, nullptr, nullptr, &root, &width), 1);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(width, 2u);
    // Codes 00 and 01 (indexes 0 and 2 bit-reversed); 10 and 11 are missing.
    EXPECT_EQ(root[0].op, HUFF_OP_LITERAL);
    EXPECT_EQ(root[0].value, 0);
    EXPECT_EQ(root[2].op, HUFF_OP_LITERAL);
    EXPECT_EQ(root[2].value, 1);
    EXPECT_EQ(root[1].op, HUFF_OP_INVALID);
    EXPECT_EQ(root[3].op, HUFF_OP_INVALID);
    FreeHuffTable(root);
}

TEST(HuffmanBuild, SingleCodeOfLengthOneCountsAsComplete) {
    HuffTable root = nullptr;
    unsigned width = 6;
    ASSERT_EQ(Build({0, 0, 1, 0}, 0, DistanceBase, DistanceExtraBits, &root, &width), 0);
    EXPECT_EQ(width, 1u);
    EXPECT_EQ(root[0].op, DistanceExtraBits[2]);
    EXPECT_EQ(root[0].value, DistanceBase[2]);
    EXPECT_EQ(root[0].bits, 1);
    EXPECT_EQ(root[1].op, HUFF_OP_INVALID);
    FreeHuffTable(root);
}

TEST(HuffmanBuild, FixedLiteralLengthCodeHasA7BitRootHoldingTheShortCodes) {
    HuffTable root = nullptr;
    unsigned width = 7;
    ASSERT_EQ(Build(FixedLitLenLengths(), 257, LengthBase, LengthExtraBits, &root, &width), 0);
    EXPECT_EQ(width, 7u);
    std::vector<uint32_t> codes = CanonicalCodes(FixedLitLenLengths());
    std::vector<unsigned> lengths = FixedLitLenLengths();
    for (unsigned s = 0; s < 288; ++s) {
        unsigned used;
        const HuffEntry* e = Lookup(root, width, codes[s], lengths[s], &used);
        if (s >= 286) {
            EXPECT_EQ(e->op, HUFF_OP_INVALID) << s;
            continue;
        }
        EXPECT_EQ(used, lengths[s]) << s;
        if (s < 256) {
            EXPECT_EQ(e->op, HUFF_OP_LITERAL);
            EXPECT_EQ(e->value, s);
        } else if (s == 256) {
            EXPECT_EQ(e->op, HUFF_OP_END);
        } else {
            EXPECT_EQ(e->op, LengthExtraBits[s - 257]);
            EXPECT_EQ(e->value, LengthBase[s - 257]);
        }
    }
    // Symbols 256..279 (7-bit codes) sit in the root itself.
    for (unsigned s = 256; s < 280; ++s) {
        uint32_t index = 0;
        for (unsigned i = 0; i < 7; ++i) index |= ((codes[s] >> (6 - i)) & 1u) << i;
        EXPECT_LE(root[index].op, HUFF_OP_END) << s;
    }
    FreeHuffTable(root);
}

TEST(HuffmanBuild, FixedDistanceCodeIsIncompleteWithCodes30And31Invalid) {
    HuffTable root = nullptr;
    unsigned width = 5;
    ASSERT_EQ(Build(std::vector<unsigned>(30, 5), 0, DistanceBase, DistanceExtraBits, &root, &width), 1);
    EXPECT_EQ(width, 5u);
    EXPECT_EQ(root[15].op, HUFF_OP_INVALID);
    EXPECT_EQ(root[31].op, HUFF_OP_INVALID);
    EXPECT_EQ(root[0].value, 1);
    EXPECT_EQ(root[16].value, 2);
    FreeHuffTable(root);
}

TEST(HuffmanBuild, EndOfBlockCodeLimitsTheRootWidth) {
    // 64 codes of length 7 (symbol 256 among them) and 128 of length 8 in a
    // 286-symbol code: the requested 9 is lowered to 8 (the longest code),
    // then to 7 by the end-of-block rule; the 8-bit codes lead to 64
    // one-bit sub-tables.
    std::vector<unsigned> lengths(286, 0);
    for (unsigned s = 0; s < 128; ++s) lengths[s] = 8;
    for (unsigned s = 200; s < 263; ++s) lengths[s] = 7;
    lengths[256] = 7;
    lengths[263] = 7;
    unsigned sevens = 0, eights = 0;
    for (unsigned l : lengths) sevens += l == 7, eights += l == 8;
    ASSERT_EQ(sevens, 64u);
    ASSERT_EQ(eights, 128u);
    HuffTable root = nullptr;
    unsigned width = 9;
    ASSERT_EQ(Build(lengths, 257, LengthBase, LengthExtraBits, &root, &width), 0);
    EXPECT_EQ(width, 7u);
    EXPECT_EQ(SubTableCount(root, width), 64u);
    std::vector<uint32_t> codes = CanonicalCodes(lengths);
    for (unsigned s = 0; s < 286; ++s) {
        if (!lengths[s]) continue;
        unsigned used;
        const HuffEntry* e = Lookup(root, width, codes[s], lengths[s], &used);
        EXPECT_EQ(used, lengths[s]) << s;
        if (s < 256) {
            EXPECT_EQ(e->value, s);
        }
    }
    FreeHuffTable(root);
    // The same lengths without the end-of-block symbol among them (a code of
    // only 256 symbols) keep the 8-bit root.
    std::vector<unsigned> noEob(lengths.begin(), lengths.begin() + 256);
    noEob[200] = 0;   // keep it a valid (incomplete) code
    width = 9;
    int result = Build(noEob, 256, nullptr, nullptr, &root, &width);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(width, 8u);
    FreeHuffTable(root);
}

TEST(HuffmanBuild, RequestedWidthIsRaisedToShortestAndLoweredToLongest) {
    HuffTable root = nullptr;
    unsigned width = 1;
    ASSERT_EQ(Build({3, 3, 3, 3, 3, 3, 3, 3}, 19, nullptr, nullptr, &root, &width), 0);
    EXPECT_EQ(width, 3u);
    FreeHuffTable(root);
    width = 9;
    ASSERT_EQ(Build({1, 2, 3, 3}, 19, nullptr, nullptr, &root, &width), 0);
    EXPECT_EQ(width, 3u);
    FreeHuffTable(root);
}

TEST(HuffmanBuild, RandomCompleteCodesDecodeEverySymbol) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        // A random complete code by splitting leaves of a code tree.
        unsigned n = 2 + rng() % 285;
        std::vector<unsigned> leaves = {1, 1};
        while (leaves.size() < n) {
            size_t i = rng() % leaves.size();
            if (leaves[i] >= 15) continue;
            leaves[i]++;
            leaves.push_back(leaves[i]);
        }
        std::vector<unsigned> lengths(n + rng() % 3, 0);
        std::vector<unsigned> order(lengths.size());
        for (unsigned i = 0; i < order.size(); ++i) order[i] = i;
        std::shuffle(order.begin(), order.end(), rng);
        for (unsigned i = 0; i < n; ++i) lengths[order[i]] = leaves[i];
        if (lengths.size() > 288) lengths.resize(288);
        unsigned count = (unsigned)lengths.size();
        unsigned simple = count > 256 ? 257 : count;
        HuffTable root = nullptr;
        unsigned width = 1 + rng() % 9;
        int result = Build(lengths, simple, LengthBase, LengthExtraBits, &root, &width);
        bool truncated = n > lengths.size();
        if (truncated) {
            FreeHuffTable(root);
            continue;
        }
        ASSERT_EQ(result, 0) << "round " << round;
        if (count > 256 && lengths[256]) {
            EXPECT_LE(width, lengths[256]);
        }
        std::vector<uint32_t> codes = CanonicalCodes(lengths);
        for (unsigned s = 0; s < count; ++s) {
            if (!lengths[s]) continue;
            unsigned used;
            const HuffEntry* e = Lookup(root, width, codes[s], lengths[s], &used);
            ASSERT_EQ(used, lengths[s]) << "round " << round << " symbol " << s;
            if (s < simple) {
                ASSERT_EQ(e->value, s);
            } else if (s - simple < 29) {
                ASSERT_EQ(e->value, LengthBase[s - simple]);
            }
        }
        FreeHuffTable(root);
    }
}
