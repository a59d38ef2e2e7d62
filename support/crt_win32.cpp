// The stub links no C runtime, but the compiler emits calls to these four for
// structure copies and clears. Their loops must not be recognised as the very
// patterns they implement, or each would call itself.
#include <stddef.h>

#define SFX_PLAIN_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns"), used))

extern "C" {

SFX_PLAIN_LOOPS void* memset(void* dest, int value, size_t count) {
    unsigned char* out = static_cast<unsigned char*>(dest);
    while (count-- != 0) *out++ = static_cast<unsigned char>(value);
    return dest;
}

SFX_PLAIN_LOOPS void* memcpy(void* dest, const void* src, size_t count) {
    unsigned char* out = static_cast<unsigned char*>(dest);
    const unsigned char* in = static_cast<const unsigned char*>(src);
    while (count-- != 0) *out++ = *in++;
    return dest;
}

SFX_PLAIN_LOOPS void* memmove(void* dest, const void* src, size_t count) {
    unsigned char* out = static_cast<unsigned char*>(dest);
    const unsigned char* in = static_cast<const unsigned char*>(src);
    if (out > in && out < in + count) {
        while (count != 0) {
            --count;
            out[count] = in[count];
        }
    } else {
        while (count-- != 0) *out++ = *in++;
    }
    return dest;
}

SFX_PLAIN_LOOPS int memcmp(const void* a, const void* b, size_t count) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; count != 0; --count, ++x, ++y)
        if (*x != *y) return *x < *y ? -1 : 1;
    return 0;
}

}  // extern "C"
