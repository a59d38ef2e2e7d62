// The portable AES rounds with one table of 256 words: entry x holds S(x)
// times the column (2, 1, 1, 3) of MixColumns, and row r of a column takes
// it rotated by 8r bits. Its byte 1 is S(x) itself, for the last round and
// the key schedule. 1 KB in zero-filled memory costs the program file
// nothing; computing MixColumns byte by byte over a bare S-box instead
// measured 60 bytes more code in the 32-bit stub and a fifth of the speed.
#include "codecs/aes.h"

uint32_t AesTable[256];

static inline uint32_t Rotl(uint32_t x, uint32_t n) { return (x << n) | (x >> ((32 - n) & 31)); }

static inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

static inline uint32_t Sbox(uint32_t x) { return (AesTable[x & 0xFF] >> 8) & 0xFF; }

// Doubling in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
static inline uint32_t Times2(uint32_t x) { return ((x << 1) ^ ((x & 0x80) ? 0x1B : 0)) & 0xFF; }

static void SetTableEntry(uint32_t x, uint32_t s) {
    uint32_t s2 = Times2(s);
    AesTable[x] = s2 | (s << 8) | (s << 16) | ((s2 ^ s) << 24);
}

void AesPrepareTables() {
    // S(0) = 0x63 makes entry 0 non-zero once built.
    if (AesTable[0] != 0) return;
    // p walks the field by the generator 3, q by its inverse, so q = 1/p;
    // S(p) is the affine map of 1/p.
    uint32_t p = 1, q = 1;
    do {
        p ^= Times2(p);
        q ^= q << 1;
        q ^= q << 2;
        q ^= q << 4;
        q &= 0xFF;
        if (q & 0x80) q ^= 0x09;
        uint32_t spread = q * 0x0101;   // rotations of a byte read from a 16-bit word
        uint32_t s = (q ^ (spread >> 7) ^ (spread >> 6) ^ (spread >> 5) ^ (spread >> 4)) & 0xFF;
        SetTableEntry(p, s ^ 0x63);
    } while (p != 1);
    SetTableEntry(0, 0x63);
}

static uint32_t SubWord(uint32_t w) {
    uint32_t r = 0;
    for (uint32_t i = 0; i < 32; i += 8) r |= Sbox(w >> i) << i;
    return r;
}

void AesSetKey(AesKey& key, const uint8_t* bytes, uint32_t length) {
    AesPrepareTables();
    uint32_t nk = length / 4;
    uint32_t rounds = nk + 6;
    key.rounds = rounds;
    uint32_t* w = key.roundKeys;
    for (uint32_t i = 0; i < nk; ++i) w[i] = Load32(bytes + 4 * i);
    uint32_t rcon = 1;
    for (uint32_t i = nk; i < 4 * (rounds + 1); ++i) {
        uint32_t t = w[i - 1];
        if (i % nk == 0) {
            // RotWord is a rotation by one byte towards the first.
            t = SubWord(Rotl(t, 24)) ^ rcon;
            rcon = Times2(rcon);
        } else if (nk > 6 && i % nk == 4) {
            t = SubWord(t);
        }
        w[i] = w[i - nk] ^ t;
    }
}

void AesEncryptBlockPortable(const AesKey& key, const uint8_t in[AES_BLOCK_SIZE], uint8_t out[AES_BLOCK_SIZE]) {
    const uint32_t* rk = key.roundKeys;
    uint32_t s[4], t[4];
    for (int c = 0; c < 4; ++c) s[c] = Load32(in + 4 * c) ^ rk[c];
    for (uint32_t round = 1; round < key.rounds; ++round) {
        rk += 4;
        for (int c = 0; c < 4; ++c) {
            uint32_t v = rk[c];
            // ShiftRows: row r of column c comes from column c + r.
            for (uint32_t r = 0; r < 4; ++r) v ^= Rotl(AesTable[(s[(c + r) & 3] >> (8 * r)) & 0xFF], 8 * r);
            t[c] = v;
        }
        for (int c = 0; c < 4; ++c) s[c] = t[c];
    }
    // The last round has no MixColumns.
    const uint8_t* last = reinterpret_cast<const uint8_t*>(rk + 4);
    for (uint32_t i = 0; i < AES_BLOCK_SIZE; ++i)
        out[i] = (uint8_t)(Sbox(s[((i >> 2) + i) & 3] >> (8 * (i & 3))) ^ last[i]);
}
