// PBKDF2 with HMAC-SHA1 (RFC 8018): the key derivation of AES-encrypted
// entries (1,000 iterations, salt of 8 to 16 bytes).
#pragma once
#include <stdint.h>

// outLength at most 255 * 20 bytes.
void Pbkdf2HmacSha1(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt, uint32_t saltLength,
                    uint32_t iterations, uint8_t* out, uint32_t outLength);
