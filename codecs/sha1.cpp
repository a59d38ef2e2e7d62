// SHA-1 over a caller's record: whole blocks straight from the caller's
// data, only the ragged ends through the record's block.
#include "codecs/sha1.h"

static inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

static inline uint32_t LoadBig32(const uint8_t* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return __builtin_bswap32(v);
}

void Sha1BlocksPortable(uint32_t state[5], const uint8_t* p, uint32_t blocks) {
    for (; blocks != 0; --blocks, p += SHA1_BLOCK_SIZE) {
        // The message schedule as a ring of sixteen words.
        uint32_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBig32(p + 4 * i);
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        for (int i = 0; i < 80; ++i) {
            if (i >= 16) w[i & 15] = Rotl(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
            uint32_t f, k;
            if (i < 20) {
                f = d ^ (b & (c ^ d));
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (d & (b | c));
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            uint32_t t = Rotl(a, 5) + f + e + k + w[i & 15];
            e = d;
            d = c;
            c = Rotl(b, 30);
            b = a;
            a = t;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

void Sha1Blocks(uint32_t state[5], const uint8_t* data, uint32_t blocks) {
#if defined(SFX_SHA_NI)
    if (CpuFeatures() & CPU_SHA) {
        Sha1BlocksHardware(state, data, blocks);
        return;
    }
#endif
    Sha1BlocksPortable(state, data, blocks);
}

static const uint32_t SHA1_START[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

void Sha1Start(Sha1& sha) {
    __builtin_memcpy(sha.state, SHA1_START, sizeof SHA1_START);
    sha.filled = 0;
    sha.lengthLow = 0;
    sha.lengthHigh = 0;
}

void Sha1Update(Sha1& sha, const uint8_t* data, uint32_t count) {
    sha.lengthLow += count;
    if (sha.lengthLow < count) ++sha.lengthHigh;
    while (count != 0) {
        // Whole blocks straight from the caller's data.
        uint32_t take = count & ~(SHA1_BLOCK_SIZE - 1);
        if (sha.filled == 0 && take != 0) {
            Sha1Blocks(sha.state, data, take / SHA1_BLOCK_SIZE);
        } else {
            take = SHA1_BLOCK_SIZE - sha.filled;
            if (take > count) take = count;
            __builtin_memcpy(sha.block + sha.filled, data, take);
            sha.filled += take;
            if (sha.filled == SHA1_BLOCK_SIZE) {
                Sha1Blocks(sha.state, sha.block, 1);
                sha.filled = 0;
            }
        }
        data += take;
        count -= take;
    }
}

static inline void StoreBig32(uint8_t* p, uint32_t v) {
    v = __builtin_bswap32(v);
    __builtin_memcpy(p, &v, 4);
}

void Sha1Finish(Sha1& sha, uint8_t digest[SHA1_DIGEST_SIZE]) {
    // 0x80, zeros up to 8 bytes before a block's end, the length in bits
    // (big-endian): through the update like any data.
    uint8_t tail[SHA1_BLOCK_SIZE + 8];
    __builtin_memset(tail, 0, sizeof tail);
    tail[0] = 0x80;
    uint32_t n = ((SHA1_BLOCK_SIZE - 9 - sha.filled) & (SHA1_BLOCK_SIZE - 1)) + 1;
    StoreBig32(tail + n, sha.lengthHigh << 3 | sha.lengthLow >> 29);
    StoreBig32(tail + n + 4, sha.lengthLow << 3);
    Sha1Update(sha, tail, n + 8);
    for (uint32_t i = 0; i < 5; ++i) StoreBig32(digest + 4 * i, sha.state[i]);
}
