// Counter mode by AES-NI, chosen at run time where the processor has it.
// Several blocks go through the rounds side by side: one aesenc takes several
// cycles before its result is there, and independent blocks fill them.
#include "codecs/aes_ctr.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#include "codecs/cpu_x86.h"

#define SFX_AES __attribute__((target("aes,sse2")))

bool AesHardwareAvailable() { return (CpuFeatures() & CPU_AES) != 0; }

// Eight lanes where there are sixteen vector registers, four in a 32-bit
// build with its eight. The 32-bit stub takes one block at a time, which
// costs the least code and still goes at several hundred MB/s.
#if defined(__x86_64__)
static const uint32_t LANES = 8;
#else
static const uint32_t LANES = 4;
#endif

SFX_AES void AesCtrBlocksHardware(const AesKey& key, uint8_t counter[AES_BLOCK_SIZE], uint8_t* data,
                                  uint32_t blocks) {
    const __m128i* rk = reinterpret_cast<const __m128i*>(key.roundKeys);
    const uint32_t rounds = key.rounds;
#if defined(SFX_SMALL_CRYPTO)
    // One block at a time, the counter counted up in memory: the least code.
    for (; blocks != 0; --blocks, data += AES_BLOCK_SIZE) {
        __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(counter)), _mm_loadu_si128(rk));
        for (uint32_t r = 1; r < rounds; ++r) b = _mm_aesenc_si128(b, _mm_loadu_si128(rk + r));
        __m128i* p = reinterpret_cast<__m128i*>(data);
        _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), _mm_aesenclast_si128(b, _mm_loadu_si128(rk + rounds))));
        // Last, so that no vector register has to outlive the call.
        AesCountUp(counter);
    }
#else
    // The counter in two halves in registers: counting it up in memory byte
    // by byte and reading it back whole would stall every block.
    uint64_t low, high;
    __builtin_memcpy(&low, counter, 8);
    __builtin_memcpy(&high, counter + 8, 8);
    // Where it stands after the last block (the lanes of a short last group
    // count on further).
    uint64_t endLow = low + blocks, endHigh = high + (endLow < low);
    while (blocks != 0) {
        uint32_t lanes = blocks < LANES ? blocks : LANES;
        __m128i b[LANES];
        __m128i first = _mm_loadu_si128(rk);
        for (uint32_t i = 0; i < LANES; ++i) {
            b[i] = _mm_xor_si128(_mm_set_epi64x((long long)high, (long long)low), first);
            high += ++low == 0;
        }
        for (uint32_t r = 1; r < rounds; ++r) {
            __m128i k = _mm_loadu_si128(rk + r);
            for (uint32_t i = 0; i < LANES; ++i) b[i] = _mm_aesenc_si128(b[i], k);
        }
        __m128i last = _mm_loadu_si128(rk + rounds);
        for (uint32_t i = 0; i < lanes; ++i) {
            __m128i* p = reinterpret_cast<__m128i*>(data) + i;
            _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), _mm_aesenclast_si128(b[i], last)));
        }
        data += lanes * AES_BLOCK_SIZE;
        blocks -= lanes;
    }
    __builtin_memcpy(counter, &endLow, 8);
    __builtin_memcpy(counter + 8, &endHigh, 8);
#endif
}

#endif
