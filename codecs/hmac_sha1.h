// HMAC-SHA1 (RFC 2104): the authentication code of AES-encrypted entries
// and the pseudo-random function of their key derivation.
#pragma once
#include "codecs/sha1.h"

struct HmacSha1 {
    Sha1 inner;     // keyed with the inner pad, then fed the message
    Sha1 outer;     // keyed with the outer pad, waiting for the inner digest
};

// Keys of any length; one longer than a block is hashed first.
void HmacSha1Start(HmacSha1& mac, const uint8_t* key, uint32_t keyLength);
void HmacSha1Update(HmacSha1& mac, const uint8_t* data, uint32_t count);
void HmacSha1Finish(HmacSha1& mac, uint8_t code[SHA1_DIGEST_SIZE]);
