// The processor features the codecs choose their fast paths by, asked once
// (cpuid). Only x86 builds have them.
#pragma once
#include <stdint.h>

#if defined(__x86_64__) || defined(__i386__)
// The 32-bit stub's paths, where size counts most; a host build that tests
// them forces them (SFX_WORD32). The SHA extensions make HMAC-SHA1 about
// four times as fast, but their block function costs the 32-bit stub 500
// bytes; it goes without them, and takes one AES block at a time.
#if (defined(SFX_STUB) && defined(__i386__)) || defined(SFX_WORD32)
#define SFX_SMALL_CRYPTO 1
#else
#define SFX_SHA_NI 1
#endif

enum : uint32_t {
    CPU_AES = 1,        // AES-NI (and the SSE2 under it)
    CPU_SHA = 2,        // the SHA extensions with SSE4.1
    CPU_CLMUL = 4,      // carry-less multiplication (PCLMULQDQ) with SSE2
    CPU_KNOWN = 0x80    // the features were asked for
};
// 0 until asked. Tests and benchmarks set CPU_KNOWN alone to take the
// portable paths.
extern uint32_t CpuFeatureBits;
uint32_t CpuFeatures();
#endif
