#include "tools/mksfx/zip_crypt.h"
#include <zlib.h>

namespace {

uint32_t CrcByte(uint32_t reg, uint8_t byte) {
    static const z_crc_t* table = get_crc_table();
    return uint32_t(table[(reg ^ byte) & 0xFF]) ^ (reg >> 8);
}

void UpdateKeys(ZipCipher& cipher, uint8_t plain) {
    cipher.keys[0] = CrcByte(cipher.keys[0], plain);
    cipher.keys[1] = (cipher.keys[1] + (cipher.keys[0] & 0xFF)) * 134775813u + 1;
    cipher.keys[2] = CrcByte(cipher.keys[2], uint8_t(cipher.keys[1] >> 24));
}

uint8_t KeystreamByte(const ZipCipher& cipher) {
    uint32_t t = (cipher.keys[2] | 2) & 0xFFFF;
    return uint8_t((t * (t ^ 1)) >> 8);
}

}  // namespace

void StartCipher(ZipCipher& cipher, const std::string& password) {
    cipher.keys[0] = 0x12345678;
    cipher.keys[1] = 0x23456789;
    cipher.keys[2] = 0x34567890;
    for (char c : password) UpdateKeys(cipher, uint8_t(c));
}

void EncryptBytes(ZipCipher& cipher, uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t plain = data[i];
        data[i] = plain ^ KeystreamByte(cipher);
        UpdateKeys(cipher, plain);
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
