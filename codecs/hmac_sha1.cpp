#include "codecs/hmac_sha1.h"

void HmacSha1Start(HmacSha1& mac, const uint8_t* key, uint32_t keyLength) {
    uint8_t pad[SHA1_BLOCK_SIZE];
    __builtin_memset(pad, 0, sizeof pad);
    if (keyLength > SHA1_BLOCK_SIZE) {
        Sha1Start(mac.inner);
        Sha1Update(mac.inner, key, keyLength);
        Sha1Finish(mac.inner, pad);
    } else {
        __builtin_memcpy(pad, key, keyLength);
    }
    // The inner pad is the key XOR 0x36, the outer one the key XOR 0x5C.
    Sha1* sha = &mac.inner;
    uint8_t change = 0x36;
    for (int k = 0; k < 2; ++k) {
        for (uint32_t i = 0; i < SHA1_BLOCK_SIZE; ++i) pad[i] ^= change;
        Sha1Start(*sha);
        Sha1Update(*sha, pad, SHA1_BLOCK_SIZE);
        sha = &mac.outer;
        change = 0x36 ^ 0x5C;
    }
}

void HmacSha1Update(HmacSha1& mac, const uint8_t* data, uint32_t count) { Sha1Update(mac.inner, data, count); }

void HmacSha1Finish(HmacSha1& mac, uint8_t code[SHA1_DIGEST_SIZE]) {
    Sha1Finish(mac.inner, code);
    Sha1Update(mac.outer, code, SHA1_DIGEST_SIZE);
    Sha1Finish(mac.outer, code);
}
