// Each output block Ti = U1 ^ U2 ^ ... ^ Uc, U1 = HMAC(salt || i), Uj =
// HMAC(Uj-1). The keyed record is set up once and copied for every HMAC, so
// an iteration costs two compressions and no key set-up.
#include "codecs/pbkdf2.h"
#include "codecs/hmac_sha1.h"

// The salts of this program are at most 16 bytes; longer ones are taken up
// to this length (the RFC's test vectors need 36).
const uint32_t PBKDF2_SALT_MAX = 64;

void Pbkdf2HmacSha1(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt, uint32_t saltLength,
                    uint32_t iterations, uint8_t* out, uint32_t outLength) {
    HmacSha1 keyed, mac;
    HmacSha1Start(keyed, password, passwordLength);
    if (saltLength > PBKDF2_SALT_MAX) saltLength = PBKDF2_SALT_MAX;
    uint8_t first[PBKDF2_SALT_MAX + 4];
    __builtin_memcpy(first, salt, saltLength);
    // The block number, big-endian: at most 255 blocks of 20 bytes are asked for.
    __builtin_memset(first + saltLength, 0, 4);
    for (uint8_t block = 1; outLength != 0; ++block) {
        first[saltLength + 3] = block;
        uint8_t u[SHA1_DIGEST_SIZE], t[SHA1_DIGEST_SIZE];
        const uint8_t* message = first;
        uint32_t messageLength = saltLength + 4;
        __builtin_memset(t, 0, sizeof t);
        for (uint32_t j = 0; j < iterations; ++j) {
            mac = keyed;
            HmacSha1Update(mac, message, messageLength);
            HmacSha1Finish(mac, u);
            for (uint32_t i = 0; i < SHA1_DIGEST_SIZE; ++i) t[i] ^= u[i];
            message = u;
            messageLength = SHA1_DIGEST_SIZE;
        }
        uint32_t take = outLength < SHA1_DIGEST_SIZE ? outLength : SHA1_DIGEST_SIZE;
        __builtin_memcpy(out, t, take);
        out += take;
        outLength -= take;
    }
}
