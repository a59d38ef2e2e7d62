#include "tools/mksfx/pack/zip_crypt.h"
#include "tools/mksfx/pack/zip_format.h"
#include <zlib.h>

void StartCipher(ZipCipher& cipher, const std::string& password) { ZipCryptoStart(&cipher.keys, password.c_str()); }

void EncryptBytes(ZipCipher& cipher, uint8_t* data, size_t count) {
    // In pieces: the cipher counts in 32 bits.
    while (count != 0) {
        uint32_t piece = count > 0x40000000u ? 0x40000000u : uint32_t(count);
        ZipCryptoEncrypt(&cipher.keys, data, piece);
        data += piece;
        count -= piece;
    }
}

std::string StartEncryptedEntry(ZipCipher& cipher, const std::string& password, uint32_t crc,
                                const uint8_t random[11]) {
    uint8_t header[12];
    for (int i = 0; i < 11; ++i) header[i] = random[i];
    header[11] = uint8_t(crc >> 24);
    StartCipher(cipher, password);
    EncryptBytes(cipher, header, 12);
    return std::string(reinterpret_cast<char*>(header), 12);
}

namespace {

uint64_t Rotate(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

void SipRound(uint64_t v[4]) {
    v[0] += v[1]; v[1] = Rotate(v[1], 13); v[1] ^= v[0]; v[0] = Rotate(v[0], 32);
    v[2] += v[3]; v[3] = Rotate(v[3], 16); v[3] ^= v[2];
    v[0] += v[3]; v[3] = Rotate(v[3], 21); v[3] ^= v[0];
    v[2] += v[1]; v[1] = Rotate(v[1], 17); v[1] ^= v[2]; v[2] = Rotate(v[2], 32);
}

// SipHash-2-4 of message under the key k0, k1.
uint64_t SipHash(uint64_t k0, uint64_t k1, const std::string& message) {
    uint64_t v[4] = {k0 ^ 0x736f6d6570736575ull, k1 ^ 0x646f72616e646f6dull, k0 ^ 0x6c7967656e657261ull,
                     k1 ^ 0x7465646279746573ull};
    size_t n = message.size();
    size_t whole = n - n % 8;
    for (size_t at = 0; at <= whole; at += 8) {
        uint64_t m = 0;
        if (at < whole) {
            for (int i = 7; i >= 0; --i) m = (m << 8) | uint8_t(message[at + i]);
        } else {
            m = uint64_t(n & 0xFF) << 56;       // the last word: the tail and the length
            for (size_t i = n % 8; i > 0; --i) m |= uint64_t(uint8_t(message[at + i - 1])) << (8 * (i - 1));
        }
        v[3] ^= m;
        SipRound(v);
        SipRound(v);
        v[0] ^= m;
    }
    v[2] ^= 0xFF;
    for (int i = 0; i < 4; ++i) SipRound(v);
    return v[0] ^ v[1] ^ v[2] ^ v[3];
}

}  // namespace

void HeaderBytesFor(const std::string& password, const std::string& storedName, uint32_t crc, uint32_t size,
                    uint8_t out[11]) {
    uint64_t k0 = SipHash(0x6d6b7366782d6b30ull, 0, password);
    uint64_t k1 = SipHash(0x6d6b7366782d6b31ull, 0, password);
    std::string message = storedName;
    Put32(message, crc);
    Put32(message, size);
    uint8_t bytes[16];
    for (int half = 0; half < 2; ++half) {
        uint64_t h = SipHash(k0, k1, message + char(half));
        for (int i = 0; i < 8; ++i) bytes[8 * half + i] = uint8_t(h >> (8 * i));
    }
    for (int i = 0; i < 11; ++i) out[i] = bytes[i];
}
