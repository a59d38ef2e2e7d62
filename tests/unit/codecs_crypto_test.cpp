// The cryptography of AES-encrypted entries: SHA-1, HMAC-SHA1, PBKDF2 and AES
// against their published known answers (FIPS 180 and 197, SP 800-38A,
// RFC 2202, RFC 6070), the portable functions against the processor's
// instructions, and the whole WinZip AES layer against an independent
// implementation on Python's cryptography package, over random lengths and
// random splits.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>
#include "codecs/aes_ctr.h"
#include "codecs/hmac_sha1.h"
#include "codecs/cpu_x86.h"
#include "codecs/pbkdf2.h"
#include "codecs/winzip_aes.h"
#include "support/zip_writer.h"

namespace {

std::string Hex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += {digits[p[i] >> 4], digits[p[i] & 15]};
    return s;
}
std::string Hex(const std::string& s) { return Hex((const uint8_t*)s.data(), s.size()); }

std::string Unhex(const std::string& hex) {
    std::string s;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) s += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return s;
}
const uint8_t* Bytes(const std::string& s) { return (const uint8_t*)s.data(); }

typedef void (*BlocksFn)(uint32_t*, const uint8_t*, uint32_t);
typedef void (*CtrFn)(const AesKey&, uint8_t*, uint8_t*, uint32_t);

// The block functions this machine can run: the portable ones always.
std::vector<BlocksFn> ShaPaths() {
    std::vector<BlocksFn> paths = {Sha1BlocksPortable};
#if defined(SFX_SHA_NI)
    if (Sha1HardwareAvailable()) paths.push_back(Sha1BlocksHardware);
#endif
    return paths;
}
std::vector<CtrFn> AesPaths() {
    std::vector<CtrFn> paths = {AesCtrBlocksPortable};
#if defined(__x86_64__) || defined(__i386__)
    if (AesHardwareAvailable()) paths.push_back(AesCtrBlocksHardware);
#endif
    return paths;
}

// SHA-1 through the given block function: whole blocks, then the padding
// done by hand, so that each path is tested on its own.
std::string Sha1With(BlocksFn blocks, const std::string& message) {
    uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string padded = message + '\x80';
    while (padded.size() % 64 != 56) padded += '\0';
    uint64_t bits = uint64_t(message.size()) * 8;
    for (int i = 7; i >= 0; --i) padded += char(bits >> (8 * i));
    blocks(state, Bytes(padded), uint32_t(padded.size() / 64));
    uint8_t digest[20];
    for (int i = 0; i < 20; ++i) digest[i] = uint8_t(state[i / 4] >> (24 - 8 * (i % 4)));
    return Hex(digest, 20);
}

}  // namespace

TEST(Sha1, Fips180VectorsOnEveryPathAndInAnySplit) {
    const struct {
        std::string message, digest;
    } vectors[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    std::mt19937 rng(7);
    for (const auto& v : vectors) {
        for (BlocksFn path : ShaPaths()) EXPECT_EQ(Sha1With(path, v.message), v.digest);
        // The record in random pieces, ragged ends and whole blocks mixed.
        Sha1 sha;
        Sha1Start(sha);
        for (size_t at = 0; at < v.message.size();) {
            size_t n = std::min<size_t>(v.message.size() - at, rng() % 3 ? rng() % 70 : rng() % 5000);
            Sha1Update(sha, Bytes(v.message) + at, uint32_t(n));
            at += n;
        }
        uint8_t digest[20];
        Sha1Finish(sha, digest);
        EXPECT_EQ(Hex(digest, 20), v.digest);
    }
}

TEST(HmacSha1, Rfc2202Vectors) {
    const struct {
        std::string key, data, code;
    } vectors[] = {
        {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
        {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {Unhex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::string(50, '\xcd'),
         "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::string(20, '\x0c'), "Test With Truncation", "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto& v : vectors) {
        HmacSha1 mac;
        HmacSha1Start(mac, Bytes(v.key), uint32_t(v.key.size()));
        HmacSha1Update(mac, Bytes(v.data), uint32_t(v.data.size()));
        uint8_t code[20];
        HmacSha1Finish(mac, code);
        EXPECT_EQ(Hex(code, 20), v.code) << v.data;
    }
}

TEST(Pbkdf2, Rfc6070Vectors) {
    // The RFC's vector of 16,777,216 iterations is left out: it takes
    // seconds, and 4,096 iterations already chain every step.
    const struct {
        std::string password, salt;
        uint32_t iterations;
        std::string key;
    } vectors[] = {
        {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const auto& v : vectors) {
        uint8_t key[32];
        uint32_t length = uint32_t(v.key.size() / 2);
        Pbkdf2HmacSha1(Bytes(v.password), uint32_t(v.password.size()), Bytes(v.salt), uint32_t(v.salt.size()),
                       v.iterations, key, length);
        EXPECT_EQ(Hex(key, length), v.key) << v.password << " " << v.iterations;
    }
}

TEST(Aes, Fips197AndSp800_38aCounterVectorsOnEveryPath) {
    // FIPS-197 appendix C: the block function on its own.
    const std::string plain = Unhex("00112233445566778899aabbccddeeff");
    const std::string fips[] = {"69c4e0d86a7b0430d8cdb78070b4c55a", "dda97ca4864cdfe06eaf70a0ec0d7191",
                                "8ea2b7ca516745bfeafc49904b496089"};
    for (int k = 0; k < 3; ++k) {
        std::string keyBytes;
        for (int i = 0; i < 16 + 8 * k; ++i) keyBytes += char(i);
        AesKey key;
        AesSetKey(key, Bytes(keyBytes), uint32_t(keyBytes.size()));
        uint8_t out[16];
        AesEncryptBlockPortable(key, Bytes(plain), out);
        EXPECT_EQ(Hex(out, 16), fips[k]);
        // Counter mode on zeros with the plain block as counter gives its cipher.
        for (CtrFn path : AesPaths()) {
            uint8_t counter[16], zeros[16] = {};
            __builtin_memcpy(counter, plain.data(), 16);
            path(key, counter, zeros, 1);
            EXPECT_EQ(Hex(zeros, 16), fips[k]);
        }
    }
    // SP 800-38A F.5.1, F.5.3, F.5.5: four blocks each under the given counter
    // blocks (which count up big-endian, so they are passed one by one).
    const std::string keys[] = {"2b7e151628aed2a6abf7158809cf4f3c",
                                "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
                                "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"};
    const std::string text = Unhex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const std::string ciphers[] = {
        "874d6191b620e3261bef6864990db6ce9806f66b7970fdff8617187bb9fffdff"
        "5ae4df3edbd5d35e5b4f09020db03eab1e031dda2fbe03d1792170a0f3009cee",
        "1abc932417521ca24f2b0459fe7e6e0b090339ec0aa6faefd5ccc2c6f4ce8e94"
        "1e36b26bd1ebc670d1bd1d665620abf74f78a7f6d29809585a97daec58c6b050",
        "601ec313775789a5b7a7f504bbf3d228f443e3ca4d62b59aca84e990cacaf5c5"
        "2b0930daa23de94ce87017ba2d84988ddfc9c58db67aada613c2dd08457941a6"};
    for (int k = 0; k < 3; ++k) {
        AesKey key;
        std::string keyBytes = Unhex(keys[k]);
        AesSetKey(key, Bytes(keyBytes), uint32_t(keyBytes.size()));
        for (CtrFn path : AesPaths()) {
            std::string data = text;
            for (int block = 0; block < 4; ++block) {
                uint8_t counter[16];
                __builtin_memcpy(counter, Unhex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff").data(), 16);
                counter[15] = uint8_t(0xFF + block);
                counter[14] = uint8_t(block == 0 ? 0xFE : 0xFF);
                path(key, counter, (uint8_t*)&data[16 * block], 1);
            }
            EXPECT_EQ(Hex(data), ciphers[k]) << "key " << k;
        }
    }
}

TEST(Aes, PortableAndHardwarePathsAgreeAndCountLittleEndian) {
    std::vector<CtrFn> paths = AesPaths();
    std::vector<BlocksFn> shaPaths = ShaPaths();
    if (paths.size() < 2 && shaPaths.size() < 2) GTEST_SKIP() << "the processor has neither AES-NI nor SHA-NI";
    std::mt19937 rng(11);
    for (int round = 0; round < 30; ++round) {
        std::string keyBytes(16 + 8 * (round % 3), '\0'), data(64 * (1 + rng() % 300), '\0');
        for (auto& c : keyBytes) c = char(rng());
        for (auto& c : data) c = char(rng());
        AesKey key;
        AesSetKey(key, Bytes(keyBytes), uint32_t(keyBytes.size()));
        std::vector<std::string> results;
        for (CtrFn path : paths) {
            // A counter whose low bytes carry over within the run.
            uint8_t counter[16] = {0xFD, 0xFF, 0xFF};
            counter[3] = uint8_t(round);
            std::string d = data;
            path(key, counter, (uint8_t*)&d[0], uint32_t(d.size() / 16));
            results.push_back(d);
            uint32_t low = 0xFFFFFD + uint32_t(d.size() / 16);
            EXPECT_EQ(counter[0] | counter[1] << 8 | counter[2] << 16, low & 0xFFFFFF);
            EXPECT_EQ(counter[3], uint8_t(round + (low >> 24)));
        }
        for (const std::string& r : results) EXPECT_TRUE(r == results[0]) << "round " << round;
        std::vector<std::string> digests;
        for (BlocksFn path : shaPaths) digests.push_back(Sha1With(path, data));
        for (const std::string& d : digests) EXPECT_EQ(d, digests[0]);
    }
}

namespace {

// WinZip AES encryption of the cases on stdin, one per line ("strength
// password salt data" in hex), built from cryptography's PBKDF2, AES-ECB
// over the little-endian counter blocks, and HMAC; one line out per case:
// verifier, cipher text, authentication code, between commas.
const char* kPythonAes = R"PY(
import sys
from cryptography.hazmat.primitives import hashes, hmac
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC
for line in open(sys.argv[1]):
    strength, password, salt, data = line.split(',')
    strength, password, salt, data = int(strength), bytes.fromhex(password), bytes.fromhex(salt), bytes.fromhex(data)
    n = 8 + 8 * strength
    derived = PBKDF2HMAC(hashes.SHA1(), 2 * n + 2, salt, 1000).derive(password)
    blocks = (len(data) + 15) // 16
    counters = b''.join((i + 1).to_bytes(16, 'little') for i in range(blocks))
    encryptor = Cipher(algorithms.AES(derived[:n]), modes.ECB()).encryptor()
    stream = encryptor.update(counters) + encryptor.finalize()
    cipher = bytes(a ^ b for a, b in zip(data, stream))
    mac = hmac.HMAC(derived[n:2 * n], hashes.SHA1())
    mac.update(cipher)
    print(derived[2 * n:].hex(), cipher.hex(), mac.finalize()[:10].hex(), sep=',')
)PY";

// Feeds data through fn in random pieces.
template <typename Fn>
void InPieces(std::string& data, std::mt19937& rng, Fn fn) {
    for (size_t at = 0; at < data.size();) {
        size_t n = std::min<size_t>(data.size() - at, rng() % 4 ? rng() % 40 : rng() % 20000);
        fn((uint8_t*)&data[at], uint32_t(n));
        at += n;
    }
}

}  // namespace

TEST(WinZipAes, AgreesWithPythonCryptographyOverRandomLengthsAndSplits) {
    TempDir dir;
    std::mt19937 rng(2024);
    struct Case {
        uint32_t strength;
        std::string password, salt, data;
    };
    std::vector<Case> cases;
    std::ostringstream input;
    for (int i = 0; i < 24; ++i) {
        Case c;
        c.strength = 1 + i % 3;
        c.password.resize(rng() % 3 ? rng() % 20 : rng() % 100);
        c.salt.resize(WinZipAesSaltSize(c.strength));
        // Lengths around block edges, and some past 255 blocks (the
        // counter's first carry).
        c.data.resize(i < 6 ? i * 7 : rng() % 2 ? rng() % 100 : rng() % 70000);
        for (std::string* s : {&c.password, &c.salt, &c.data})
            for (auto& ch : *s) ch = char(rng());
        input << c.strength << ',' << Hex(c.password) << ',' << Hex(c.salt) << ',' << Hex(c.data) << "\n";
        cases.push_back(c);
    }
    WriteFileBytes(dir.File("cases.txt"), input.str());
    WriteFileBytes(dir.File("aes.py"), kPythonAes);
    std::string command = "python3 " + dir.File("aes.py") + " " + dir.File("cases.txt") + " > " + dir.File("out.txt");
    ASSERT_EQ(system(command.c_str()), 0) << "python3 with the cryptography package (python3-cryptography)";
    std::istringstream expected(ReadFileBytes(dir.File("out.txt")));
    std::vector<std::string> verifiers, ciphers, codes;
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string field[3];
        std::getline(expected, field[0], ',');
        std::getline(expected, field[1], ',');
        std::getline(expected, field[2]);
        verifiers.push_back(field[0]);
        ciphers.push_back(field[1]);
        codes.push_back(field[2]);
    }
    // With the processor's instructions where it has them, then portable.
    std::vector<uint32_t> modes = {0};
#if defined(__x86_64__) || defined(__i386__)
    modes.push_back(CPU_KNOWN);
#endif
    for (uint32_t mode : modes) {
#if defined(__x86_64__) || defined(__i386__)
        CpuFeatureBits = mode;
#endif
        for (size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            WinZipAes aes;
            uint8_t verifier[2], code[10];
            WinZipAesStart(aes, c.strength, Bytes(c.password), uint32_t(c.password.size()), Bytes(c.salt), verifier);
            EXPECT_EQ(Hex(verifier, 2), verifiers[i]) << "case " << i << " mode " << mode;
            std::string data = c.data;
            InPieces(data, rng, [&](uint8_t* p, uint32_t n) { WinZipAesEncrypt(aes, p, n); });
            WinZipAesFinish(aes, code);
            EXPECT_EQ(Hex(data), ciphers[i]) << "case " << i << " mode " << mode;
            EXPECT_EQ(Hex(code, 10), codes[i]) << "case " << i << " mode " << mode;

            // Back again in other pieces; a single changed bit anywhere fails
            // the code.
            for (int tamper = 0; tamper < 2; ++tamper) {
                std::string back = data;
                if (tamper && !back.empty()) back[rng() % back.size()] ^= char(1 << (rng() % 8));
                WinZipAesStart(aes, c.strength, Bytes(c.password), uint32_t(c.password.size()), Bytes(c.salt),
                               verifier);
                InPieces(back, rng, [&](uint8_t* p, uint32_t n) { WinZipAesDecrypt(aes, p, n); });
                bool authentic = WinZipAesAuthentic(aes, code);
                if (tamper && !data.empty()) {
                    EXPECT_FALSE(authentic) << "case " << i << " mode " << mode;
                } else {
                    EXPECT_TRUE(authentic) << "case " << i << " mode " << mode;
                    EXPECT_TRUE(back == c.data) << "case " << i << " mode " << mode;
                }
            }
        }
    }
#if defined(__x86_64__) || defined(__i386__)
    CpuFeatureBits = 0;
#endif
}

TEST(WinZipAes, SaltSizesByStrength) {
    EXPECT_EQ(WinZipAesSaltSize(1), 8u);
    EXPECT_EQ(WinZipAesSaltSize(2), 12u);
    EXPECT_EQ(WinZipAesSaltSize(3), 16u);
    EXPECT_EQ(WinZipAesSaltSize(0), 0u);
    EXPECT_EQ(WinZipAesSaltSize(4), 0u);
}
