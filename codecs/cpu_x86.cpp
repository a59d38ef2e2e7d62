// Every processor that runs 32-bit Windows has cpuid, so the instruction is
// used without the older test for it.
#include "codecs/cpu_x86.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>

uint32_t CpuFeatureBits;

uint32_t CpuFeatures() {
    if (CpuFeatureBits == 0) {
        unsigned a, b, c, d;
        __cpuid(1, a, b, c, d);
        uint32_t found = CPU_KNOWN;
        const unsigned sse2 = 1u << 26;
        if ((d & sse2) && (c & bit_AES)) found |= CPU_AES;
        if ((d & sse2) && (c & bit_PCLMUL)) found |= CPU_CLMUL;
#ifdef SFX_SHA_NI
        unsigned maxLeaf, ignored;
        __cpuid(0, maxLeaf, b, ignored, ignored);
        if (maxLeaf >= 7 && (d & sse2) && (c & bit_SSE4_1)) {
            __cpuid_count(7, 0, a, b, c, d);
            if (b & bit_SHA) found |= CPU_SHA;
        }
#endif
        CpuFeatureBits = found;
    }
    return CpuFeatureBits;
}
#endif
