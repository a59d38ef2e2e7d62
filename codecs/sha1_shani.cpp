// SHA-1's compression function by the SHA extensions (sha1rnds4 does four
// rounds, sha1msg1/sha1msg2 the message schedule, sha1nexte the next E),
// chosen at run time where the processor has them: HMAC-SHA1 over every
// byte of an AES-encrypted entry takes about a quarter of the portable
// function's time.
#include "codecs/sha1.h"

#if defined(SFX_SHA_NI)
#include <immintrin.h>

#define SFX_SHA __attribute__((target("sha,sse4.1")))

bool Sha1HardwareAvailable() { return (CpuFeatures() & CPU_SHA) != 0; }

// Four rounds with the words w: E comes from A of four rounds before.
#define SHA1_ROUNDS(F, w)                         \
    do {                                          \
        __m128i e = _mm_sha1nexte_epu32(prev, w); \
        prev = abcd;                              \
        abcd = _mm_sha1rnds4_epu32(abcd, e, F);   \
    } while (0)

// The next four message words from the sixteen before them, the four
// registers moving down by one.
#define SHA1_SCHEDULE()                                                             \
    do {                                                                            \
        __m128i next = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w0, w1), w2), w3); \
        w0 = w1;                                                                    \
        w1 = w2;                                                                    \
        w2 = w3;                                                                    \
        w3 = next;                                                                  \
    } while (0)

SFX_SHA void Sha1BlocksHardware(uint32_t state[5], const uint8_t* data, uint32_t blocks) {
    const __m128i bigEndian = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    // A in the top lane, as the instructions take it.
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i*)state), 0x1B);
    __m128i e0 = _mm_set_epi32((int)state[4], 0, 0, 0);
    for (; blocks != 0; --blocks, data += SHA1_BLOCK_SIZE) {
        __m128i abcdSaved = abcd, e0Saved = e0;
        __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)data), bigEndian);
        __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)(data + 16)), bigEndian);
        __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)(data + 32)), bigEndian);
        __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)(data + 48)), bigEndian);
        __m128i prev = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e0, w0), 0);
        SHA1_ROUNDS(0, w1);
        SHA1_ROUNDS(0, w2);
        SHA1_ROUNDS(0, w3);
        SHA1_SCHEDULE();
        SHA1_ROUNDS(0, w3);
        for (int i = 0; i < 5; ++i) {
            SHA1_SCHEDULE();
            SHA1_ROUNDS(1, w3);
        }
        for (int i = 0; i < 5; ++i) {
            SHA1_SCHEDULE();
            SHA1_ROUNDS(2, w3);
        }
        for (int i = 0; i < 5; ++i) {
            SHA1_SCHEDULE();
            SHA1_ROUNDS(3, w3);
        }
        e0 = _mm_sha1nexte_epu32(prev, e0Saved);
        abcd = _mm_add_epi32(abcd, abcdSaved);
    }
    _mm_storeu_si128((__m128i*)state, _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = (uint32_t)_mm_extract_epi32(e0, 3);
}

#endif
