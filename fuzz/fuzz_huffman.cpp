// BuildHuffTable over arbitrary code-length lists, checked against a plain
// canonical-Huffman decoder written here from the code lengths alone.
//
// Input: byte 0 picks one of the builds the DEFLATE decoder makes (symbol
// count, simple symbols, base and extra-bit lists, requested width), or a
// free form; byte 1 (and for the free form bytes 2-4) choose the sizes; every
// following byte is one code length. Checks:
//   - the result: 2 for over-subscribed lengths (and nothing allocated), 0 for
//     complete ones, for all lengths 0 (null root, width 0) and for an
//     incomplete code whose longest length is 1, else 1;
//   - every bit pattern up to the longest code decodes through the tables to
//     the same symbol, with the same number of bits, as the reference decoder,
//     and a pattern that no code starts with ends on an invalid slot;
//   - the returned width lies between the shortest and the longest length and
//     is never wider than the end-of-block code;
//   - FreeHuffTable releases every block the build allocated.
#include "fuzz/fuzz_util.h"
#include "codecs/huffman.h"
#include <sanitizer/allocator_interface.h>
#include <vector>

namespace {

const uint16_t LengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint16_t LengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                  3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const uint16_t DistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                   193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint16_t DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Counted on this thread only: libFuzzer's memory watcher wakes once a
// second on a thread of its own, allocating and freeing as it pleases.
int allocations = 0, releases = 0;
thread_local bool counting = false;
void OnMalloc(const volatile void*, size_t) { if (counting) ++allocations; }
void OnFree(const volatile void* p) { if (counting && p) ++releases; }

struct Build {
    unsigned n, simple, width, maxLength;
    const uint16_t* base;
    const uint16_t* extra;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    static uint16_t freeBase[288], freeExtra[288];
    static bool freeListsMade = false;
    if (!freeListsMade) {
        for (int i = 0; i < 288; ++i) {
            freeBase[i] = uint16_t(i * 7 + 3);
            freeExtra[i] = uint16_t(i % 17 == 16 ? 99 : i % 14);
        }
        freeListsMade = true;
    }

    Build b;
    switch (data[0] % 6) {
    case 0: b = {288, 257, 7, 16, LengthBase, LengthExtra}; break;               // like the fixed literal/length code
    case 1: b = {30, 0, 5, 16, DistanceBase, DistanceExtra}; break;             // like the fixed distance code
    case 2: b = {19, 19, 7, 7, nullptr, nullptr}; break;                        // code-length code
    case 3: b = {257u + data[1] % 30u, 257, 9, 15, LengthBase, LengthExtra}; break;  // dynamic literal/length
    case 4: b = {1u + data[1] % 30u, 0, 6, 15, DistanceBase, DistanceExtra}; break;  // dynamic distance
    default: {
        unsigned n = 1 + (unsigned(data[1]) | unsigned(data[2]) << 8) % 288;
        b = {n, data[3] % (n + 1), data[4] % 17u, 16, freeBase, freeExtra};
        if (b.simple >= n) b.base = b.extra = nullptr;
    }
    }
    const size_t header = data[0] % 6 == 5 ? 5 : 2;
    std::vector<unsigned> lengths(b.n, 0);
    for (unsigned i = 0; i < b.n && header + i < size; ++i) lengths[i] = data[header + i] % (b.maxLength + 1);

    // Reference: counts, Kraft sum, canonical codes (RFC 1951, 3.2.2).
    unsigned count[17] = {0};
    for (unsigned len : lengths) ++count[len];
    unsigned minL = 0, maxL = 0;
    for (unsigned L = 1; L <= 16; ++L)
        if (count[L]) { if (!minL) minL = L; maxL = L; }
    uint64_t kraft = 0;
    for (unsigned L = 1; L <= 16; ++L) kraft += uint64_t(count[L]) << (16 - L);
    int expected = count[0] == b.n ? 0 : kraft > 65536 ? 2 : kraft == 65536 ? 0 : maxL == 1 ? 0 : 1;

    HuffTable root = reinterpret_cast<HuffTable>(uintptr_t(1));
    unsigned width = b.width;
    allocations = releases = 0;
    counting = true;
    int result = BuildHuffTable(lengths.data(), b.n, b.simple, b.base, b.extra, &root, &width);
    counting = false;

    FUZZ_CHECK(result == expected, "result %d, expected %d (n %u, longest %u, Kraft %llu/65536)", result, expected,
               b.n, maxL, (unsigned long long)kraft);
    if (result == 2) {
        FUZZ_CHECK(allocations == 0, "over-subscribed code allocated %d blocks", allocations);
        return 0;
    }
    if (count[0] == b.n) {
        FUZZ_CHECK(root == nullptr && width == 0, "all lengths 0: root %p, width %u", (void*)root, width);
        FUZZ_CHECK(allocations == 0, "all lengths 0 allocated %d blocks", allocations);
        return 0;
    }
    FUZZ_CHECK(root != nullptr, "no root for a code of %u lengths", b.n - count[0]);
    FUZZ_CHECK(width >= minL && width <= maxL, "width %u outside [%u, %u]", width, minL, maxL);
    if (b.n > 256 && lengths[256] != 0)
        FUZZ_CHECK(width <= lengths[256], "root width %u wider than the end-of-block code (%u)", width, lengths[256]);

    // Reference tables: for each length, reversed code -> symbol.
    std::vector<std::vector<int>> byLength(maxL + 1);
    for (unsigned L = 1; L <= maxL; ++L) byLength[L].assign(size_t(1) << L, -1);
    // First code of each length; symbols without a code do not count.
    unsigned code = 0, next[17] = {0};
    for (unsigned L = 1; L <= 16; ++L) {
        code = (code + (L > 1 ? count[L - 1] : 0)) << 1;
        next[L] = code;
    }
    for (unsigned x = 0; x < b.n; ++x) {
        unsigned L = lengths[x];
        if (!L) continue;
        unsigned c = next[L]++;
        if (c >= (1u << L)) continue;   // over-subscribed codes never get here
        unsigned reversed = 0;
        for (unsigned i = 0; i < L; ++i) reversed |= ((c >> i) & 1) << (L - 1 - i);
        byLength[L][reversed] = int(x);
    }

    for (uint32_t pattern = 0; pattern < (1u << maxL); ++pattern) {
        int symbol = -1;
        unsigned symbolLength = 0;
        for (unsigned L = 1; L <= maxL && symbol < 0; ++L) {
            symbol = byLength[L][pattern & ((1u << L) - 1)];
            symbolLength = L;
        }
        // Walk the tables as the decoder does.
        const HuffEntry* slot = &root[pattern & ((1u << width) - 1)];
        unsigned used = 0;
        int levels = 0;
        while (slot->op > 16 && slot->op != HUFF_OP_INVALID) {
            FUZZ_CHECK(slot->op <= 32 && ++levels <= 16, "bad link op %u", slot->op);
            used += slot->bits;
            unsigned e = slot->op - 16u;
            slot = HuffSubTable(slot) + ((pattern >> used) & ((1u << e) - 1));
        }
        if (symbol < 0) {
            FUZZ_CHECK(slot->op == HUFF_OP_INVALID, "pattern %x: no code, tables give op %u", pattern, slot->op);
            continue;
        }
        unsigned x = unsigned(symbol);
        unsigned op = x < b.simple ? (x < 256 ? HUFF_OP_LITERAL : HUFF_OP_END) : (b.extra[x - b.simple] & 0xFF);
        unsigned value = x < b.simple ? x : b.base[x - b.simple];
        FUZZ_CHECK(slot->op == op, "pattern %x: symbol %u wants op %u, tables give %u", pattern, x, op, slot->op);
        if (op == HUFF_OP_INVALID) continue;
        FUZZ_CHECK(slot->value == value, "pattern %x: symbol %u wants value %u, tables give %u", pattern, x, value,
                   slot->value);
        FUZZ_CHECK(used + slot->bits == symbolLength, "pattern %x: symbol %u has %u bits, tables take %u", pattern, x,
                   symbolLength, used + slot->bits);
    }

    counting = true;
    FreeHuffTable(root);
    counting = false;
    FUZZ_CHECK(releases == allocations, "build allocated %d blocks, FreeHuffTable released %d", allocations, releases);
    return 0;
}
