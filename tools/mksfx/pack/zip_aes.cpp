#include "tools/mksfx/pack/zip_aes.h"
#include "tools/mksfx/little_endian.h"
#include "codecs/pbkdf2.h"

std::string AesExtraField(uint16_t realMethod) {
    std::string field;
    Put16(field, 0x9901);
    Put16(field, 7);
    Put16(field, AES_VENDOR_VERSION);
    field += "AE";
    field += char(AES_STRENGTH);
    Put16(field, realMethod);
    return field;
}

// Reproducible output wants a salt that the inputs decide, but counter mode
// must never run twice with the same key: two entries with the same salt and
// password would get the same key stream, and the XOR of their encrypted data
// would be the XOR of their plain data. So the salt comes from the password,
// the entry (name, method, size) and the SHA-1 of its content: different
// contents never share a salt, and the same entry gets the same salt on every
// build (only identical data under the same name and password shows as
// identical). The password keys it through PBKDF2 with the entry key's 1,000
// iterations: without the password the salt tells nothing about the content,
// and who knows the content can test a guessed password against the salt no
// faster than against the password verifier.
void AesSaltFor(const std::string& password, const std::string& storedName, uint16_t realMethod, uint64_t size,
                const uint8_t contentDigest[SHA1_DIGEST_SIZE], uint8_t salt[AES_SALT_SIZE]) {
    std::string entry = "mksfx AES salt";
    Put16(entry, realMethod);
    Put32(entry, uint32_t(size));
    Put32(entry, uint32_t(size >> 32));
    entry.append(reinterpret_cast<const char*>(contentDigest), SHA1_DIGEST_SIZE);
    entry += storedName;
    uint8_t digest[SHA1_DIGEST_SIZE];
    Sha1 sha;
    Sha1Start(sha);
    Sha1Update(sha, reinterpret_cast<const uint8_t*>(entry.data()), uint32_t(entry.size()));
    Sha1Finish(sha, digest);
    Pbkdf2HmacSha1(reinterpret_cast<const uint8_t*>(password.data()), uint32_t(password.size()), digest,
                   SHA1_DIGEST_SIZE, WINZIP_AES_ITERATIONS, salt, AES_SALT_SIZE);
}

std::string StartAesEntry(WinZipAes& aes, const std::string& password, const uint8_t salt[AES_SALT_SIZE]) {
    uint8_t verifier[WINZIP_AES_VERIFIER_SIZE];
    WinZipAesStart(aes, AES_STRENGTH, reinterpret_cast<const uint8_t*>(password.data()), uint32_t(password.size()),
                   salt, verifier);
    return std::string(reinterpret_cast<const char*>(salt), AES_SALT_SIZE) +
           std::string(reinterpret_cast<const char*>(verifier), WINZIP_AES_VERIFIER_SIZE);
}

std::string FinishAesEntry(WinZipAes& aes) {
    uint8_t code[WINZIP_AES_CODE_SIZE];
    WinZipAesFinish(aes, code);
    return std::string(reinterpret_cast<const char*>(code), WINZIP_AES_CODE_SIZE);
}
