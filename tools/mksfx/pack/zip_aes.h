// WinZip's AES encryption of an entry (method 99, extra field 0x9901), the
// writing side of what the stub decrypts, with the stub's own cryptography.
// The builder writes AE-2 with AES-256: the CRC-32 field stays 0, since the
// CRC of the plain data would tell a reader without the password something
// about it (the authentication code checks the data instead).
#pragma once
#include <stdint.h>
#include <string>
#include "codecs/winzip_aes.h"

const uint16_t METHOD_AES = 99;
const uint16_t VERSION_NEEDED_AES = 51;     // 5.1: AES encryption
const uint16_t AES_VENDOR_VERSION = 2;      // AE-2
const uint8_t AES_STRENGTH = 3;             // AES-256
const uint32_t AES_SALT_SIZE = 16;
// Salt and verifier in front of the data, the authentication code behind.
const uint32_t AES_OVERHEAD = AES_SALT_SIZE + WINZIP_AES_VERIFIER_SIZE + WINZIP_AES_CODE_SIZE;

// The extra field 0x9901: vendor version, "AE", strength, the real method.
std::string AesExtraField(uint16_t realMethod);

// The salt of an entry, from the password, the entry and its content.
void AesSaltFor(const std::string& password, const std::string& storedName, uint16_t realMethod, uint64_t size,
                const uint8_t contentDigest[SHA1_DIGEST_SIZE], uint8_t salt[AES_SALT_SIZE]);

// Keys the record for the entry; returns salt and verifier, which open the
// entry's data.
std::string StartAesEntry(WinZipAes& aes, const std::string& password, const uint8_t salt[AES_SALT_SIZE]);
// The authentication code that closes the entry's data.
std::string FinishAesEntry(WinZipAes& aes);
