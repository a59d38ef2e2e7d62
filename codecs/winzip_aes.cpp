#include "codecs/winzip_aes.h"
#include "codecs/pbkdf2.h"

uint32_t WinZipAesSaltSize(uint32_t strength) { return strength - 1 < 3 ? 4 + 4 * strength : 0; }

void WinZipAesStart(WinZipAes& aes, uint32_t strength, const uint8_t* password, uint32_t passwordLength,
                    const uint8_t* salt, uint8_t verifier[WINZIP_AES_VERIFIER_SIZE]) {
    // The derived bytes: AES key, HMAC key (of the same length), verifier.
    uint32_t keyLength = 8 + 8 * strength;
    uint8_t derived[2 * 32 + WINZIP_AES_VERIFIER_SIZE];
    Pbkdf2HmacSha1(password, passwordLength, salt, WinZipAesSaltSize(strength), WINZIP_AES_ITERATIONS, derived,
                   2 * keyLength + WINZIP_AES_VERIFIER_SIZE);
    AesCtrStart(aes.ctr, derived, keyLength);
    HmacSha1Start(aes.mac, derived + keyLength, keyLength);
    verifier[0] = derived[2 * keyLength];
    verifier[1] = derived[2 * keyLength + 1];
}

void WinZipAesDecrypt(WinZipAes& aes, uint8_t* data, uint32_t count) {
    HmacSha1Update(aes.mac, data, count);
    AesCtrXor(aes.ctr, data, count);
}

void WinZipAesEncrypt(WinZipAes& aes, uint8_t* data, uint32_t count) {
    AesCtrXor(aes.ctr, data, count);
    HmacSha1Update(aes.mac, data, count);
}

void WinZipAesFinish(WinZipAes& aes, uint8_t code[WINZIP_AES_CODE_SIZE]) {
    uint8_t full[SHA1_DIGEST_SIZE];
    HmacSha1Finish(aes.mac, full);
    __builtin_memcpy(code, full, WINZIP_AES_CODE_SIZE);
}

bool WinZipAesAuthentic(WinZipAes& aes, const uint8_t stored[WINZIP_AES_CODE_SIZE]) {
    uint8_t code[SHA1_DIGEST_SIZE];
    HmacSha1Finish(aes.mac, code);
    // Every byte compared, so the time taken tells nothing of where they differ.
    uint32_t differ = 0;
    for (uint32_t i = 0; i < WINZIP_AES_CODE_SIZE; ++i) differ |= code[i] ^ stored[i];
    return differ == 0;
}
