// The traditional ZIP encryption's key schedule and key stream.
#include "codecs/cipher.h"
#include "codecs/crc32.h"

namespace {

const uint32_t KEY_MULTIPLIER = 134775813;

// The one key step: the plain byte through the three keys. The loops keep
// the keys in locals, since this runs over every byte of an entry.
inline void KeyStep(uint32_t& k0, uint32_t& k1, uint32_t& k2, uint8_t plain) {
    k0 = Crc32Step(plain, k0);
    k1 = (k1 + (k0 & 0xFF)) * KEY_MULTIPLIER + 1;
    k2 = Crc32Step((uint8_t)(k1 >> 24), k2);
}

inline uint8_t KeyStreamByte(uint32_t k2) {
    uint32_t t = (k2 & 0xFFFF) | 2;
    return (uint8_t)((t * (t ^ 1)) >> 8);
}

// decrypt: the plain byte is the result of the XOR; encrypt: its input.
void Run(ZipCryptoKeys* keys, uint8_t* data, uint32_t count, bool decrypt) {
    uint32_t k0 = keys->key[0], k1 = keys->key[1], k2 = keys->key[2];
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t in = data[i];
        uint8_t out = (uint8_t)(in ^ KeyStreamByte(k2));
        data[i] = out;
        KeyStep(k0, k1, k2, decrypt ? out : in);
    }
    keys->key[0] = k0;
    keys->key[1] = k1;
    keys->key[2] = k2;
}

}  // namespace

void ZipCryptoStart(ZipCryptoKeys* keys, const char* password) {
    Crc32PrepareTables();   // the key steps are CRC-32 steps
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    for (const char* p = password; *p != 0; ++p) KeyStep(k0, k1, k2, (uint8_t)*p);
    keys->key[0] = k0;
    keys->key[1] = k1;
    keys->key[2] = k2;
}

void ZipCryptoDecrypt(ZipCryptoKeys* keys, uint8_t* data, uint32_t count) { Run(keys, data, count, true); }

void ZipCryptoEncrypt(ZipCryptoKeys* keys, uint8_t* data, uint32_t count) { Run(keys, data, count, false); }

uint8_t ZipCryptoHeaderCheck(ZipCryptoKeys* keys, const char* password, const uint8_t* header) {
    ZipCryptoStart(keys, password);
    uint8_t copy[ZIPCRYPTO_HEADER_SIZE];
    __builtin_memcpy(copy, header, ZIPCRYPTO_HEADER_SIZE);
    ZipCryptoDecrypt(keys, copy, ZIPCRYPTO_HEADER_SIZE);
    return copy[ZIPCRYPTO_HEADER_SIZE - 1];
}
