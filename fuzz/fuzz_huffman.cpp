// BuildHuffTable over arbitrary code-length lists, checked against a plain
// canonical-Huffman decoder written here from the code lengths alone.
//
// Input: byte 0 picks a symbol count and the root width wanted (those of
// the DEFLATE decoder's codes, or a free form from bytes 1-2); every
// following byte is one code length (0..15). Checks:
//   - the result: over-subscribed and incomplete lengths are refused, except
//     an empty code and a single code of length 1, which build;
//   - nothing is written past HuffTableSize(root wanted, n), the size the
//     decoder's arrays have;
//   - every bit pattern up to the longest code decodes through the tables to
//     the same symbol, with the same number of bits, as the reference
//     decoder, and a pattern that no code starts with ends on an invalid
//     entry.
#include "fuzz/fuzz_util.h"
#include "codecs/huffman.h"
#include <vector>

namespace {

const uint32_t CANARY = 0xC0DEC0DE;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    unsigned n, rootWanted;
    switch (data[0] % 4) {
    case 0: n = 288; rootWanted = 11; break;                       // literal/length
    case 1: n = 32; rootWanted = 8; break;                         // distance
    case 2: n = 19; rootWanted = 7; break;                         // code-length code
    default: n = 1 + data[1] % HUFF_MAX_SYMBOLS; rootWanted = 1 + data[2] % 15; break;
    }
    const size_t header = 3;
    std::vector<uint8_t> lengths(n, 0);
    for (unsigned i = 0; i < n && header + i < size; ++i) lengths[i] = data[header + i] % 16;

    // Reference: counts and the Kraft sum in units of 2^-15.
    unsigned count[16] = {0};
    for (uint8_t len : lengths) ++count[len];
    unsigned maxL = 0;
    for (unsigned L = 1; L <= 15; ++L)
        if (count[L]) maxL = L;
    uint64_t kraft = 0;
    for (unsigned L = 1; L <= 15; ++L) kraft += uint64_t(count[L]) << (15 - L);
    HuffResult expected = kraft > 32768                           ? HUFF_OVERSUBSCRIBED
                          : kraft == 32768 || maxL == 0 ||
                                    (maxL == 1 && count[1] == 1) ? HUFF_COMPLETE
                                                                 : HUFF_INCOMPLETE;

    std::vector<HuffEntry> templates(n);
    for (unsigned s = 0; s < n; ++s) templates[s] = HuffEntry(s) << 16;
    const unsigned tableSize = HuffTableSize(rootWanted, n);
    std::vector<HuffEntry> table(tableSize + 64, CANARY);
    const unsigned root = rootWanted;
    HuffResult result = BuildHuffTable(lengths.data(), n, templates.data(), table.data(), root);
    for (unsigned i = tableSize; i < table.size(); ++i)
        FUZZ_CHECK(table[i] == CANARY, "entry %u written, the table has %u", i, tableSize);

    FUZZ_CHECK(result == expected, "result %d, expected %d (n %u, longest %u, Kraft %llu/32768)", int(result),
               int(expected), n, maxL, (unsigned long long)kraft);
    if (result != HUFF_COMPLETE) return 0;

    // Reference tables: for each length, reversed code -> symbol.
    std::vector<std::vector<int>> byLength(maxL + 1);
    for (unsigned L = 1; L <= maxL; ++L) byLength[L].assign(size_t(1) << L, -1);
    unsigned code = 0, next[16] = {0};
    for (unsigned L = 1; L <= 15; ++L) {
        code = (code + (L > 1 ? count[L - 1] : 0)) << 1;
        next[L] = code;
    }
    for (unsigned x = 0; x < n; ++x) {
        unsigned L = lengths[x];
        if (!L) continue;
        unsigned c = next[L]++;
        unsigned reversed = 0;
        for (unsigned i = 0; i < L; ++i) reversed |= ((c >> i) & 1) << (L - 1 - i);
        byLength[L][reversed] = int(x);
    }

    const unsigned patternBits = maxL > root ? maxL : root;
    for (uint32_t pattern = 0; pattern < (1u << patternBits); ++pattern) {
        int symbol = -1;
        unsigned symbolLength = 0;
        for (unsigned L = 1; L <= maxL && symbol < 0; ++L) {
            symbol = byLength[L][pattern & ((1u << L) - 1)];
            symbolLength = L;
        }
        // Walk the tables as the decoder does.
        HuffEntry e = table[pattern & ((1u << root) - 1)];
        unsigned used = 0;
        if (e & HUFF_LINK) {
            used = HuffTotal(e);
            FUZZ_CHECK(used == root, "a link takes %u bits, the root has %u", used, root);
            unsigned index = HuffValue(e) + ((pattern >> used) & ((1u << HuffCodeword(e)) - 1));
            FUZZ_CHECK(index < tableSize, "link to entry %u of %u", index, tableSize);
            e = table[index];
            FUZZ_CHECK(!(e & HUFF_LINK), "pattern %x: a link inside a sub-table", pattern);
        }
        if (symbol < 0) {
            FUZZ_CHECK(e == HUFF_INVALID, "pattern %x: no code, tables give %08x", pattern, e);
            continue;
        }
        FUZZ_CHECK(!(e & HUFF_EXCEPTIONAL) && HuffValue(e) == unsigned(symbol),
                   "pattern %x: symbol %d, tables give %08x", pattern, symbol, e);
        FUZZ_CHECK(used + HuffCodeword(e) == symbolLength && HuffTotal(e) == HuffCodeword(e),
                   "pattern %x: symbol %d has %u bits, tables take %u", pattern, symbol, symbolLength,
                   used + HuffCodeword(e));
    }
    return 0;
}
