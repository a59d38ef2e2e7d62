// The entry layer of WinZip's AES encryption (method 99, extra field
// 0x9901). An entry's data are: salt (8, 12 or 16 bytes for AES-128, -192,
// -256), a 2-byte password verifier, the encrypted data, a 10-byte
// authentication code. PBKDF2-HMAC-SHA1 with 1,000 iterations turns password
// and salt into the AES key, the HMAC key and the verifier; the data are
// AES in counter mode; the code is the first 10 bytes of HMAC-SHA1 over the
// encrypted data.
#pragma once
#include "codecs/aes_ctr.h"
#include "codecs/hmac_sha1.h"

const uint32_t WINZIP_AES_VERIFIER_SIZE = 2;
const uint32_t WINZIP_AES_CODE_SIZE = 10;
const uint32_t WINZIP_AES_ITERATIONS = 1000;
const uint32_t WINZIP_AES_SALT_MAX = 16;

struct WinZipAes {
    AesCtr ctr;
    HmacSha1 mac;
};

// The salt's size for strength 1, 2 or 3 (AES-128, -192, -256); 0 for any
// other strength.
uint32_t WinZipAesSaltSize(uint32_t strength);

// Derives the keys of strength 1 to 3 from password and salt (of
// WinZipAesSaltSize bytes) and writes the password verifier, which a reader
// compares with the stored one and a writer stores.
void WinZipAesStart(WinZipAes& aes, uint32_t strength, const uint8_t* password, uint32_t passwordLength,
                    const uint8_t* salt, uint8_t verifier[WINZIP_AES_VERIFIER_SIZE]);

// In place, in any split into pieces. The code covers the encrypted bytes:
// decrypting hashes them before, encrypting after.
void WinZipAesDecrypt(WinZipAes& aes, uint8_t* data, uint32_t count);
void WinZipAesEncrypt(WinZipAes& aes, uint8_t* data, uint32_t count);

// The authentication code of all the data passed (the record is used up).
void WinZipAesFinish(WinZipAes& aes, uint8_t code[WINZIP_AES_CODE_SIZE]);
// True when the code of all the data passed equals the stored one.
bool WinZipAesAuthentic(WinZipAes& aes, const uint8_t stored[WINZIP_AES_CODE_SIZE]);
