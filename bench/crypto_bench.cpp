// The cryptography of AES-encrypted entries against OpenSSL's libcrypto,
// side by side: the key derivation of an AES-256 entry (PBKDF2-HMAC-SHA1,
// 1,000 iterations, 66 bytes), AES-256 in counter mode and HMAC-SHA1 over
// 1 MB pieces. Ours runs twice, on the processor's instructions (where it
// has them) and on the portable functions. Rounds take turns; CPU time of
// the thread; medians.
//
// Built twice: sfx_crypto_bench with the host's flags, sfx_crypto_bench_oz
// with the stub's -Oz, which is what the stub's users get.
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <openssl/params.h>
#include <stdio.h>
#include <time.h>
#include <algorithm>
#include <string>
#include <vector>
#include "codecs/cpu_x86.h"
#include "codecs/winzip_aes.h"
#include "codecs/pbkdf2.h"

namespace {

double Now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const uint32_t PIECE = 1 << 20;
const int PIECES = 32;
uint8_t Data[PIECE];
uint8_t Key[66];
volatile uint8_t Sink;

enum Who { OURS_FAST, OURS_PORTABLE, OPENSSL, WHO_COUNT };
const char* const Names[WHO_COUNT] = {"ours, processor's instructions", "ours, portable", "OpenSSL libcrypto"};

void Use(Who who) {
#if defined(__x86_64__) || defined(__i386__)
    CpuFeatureBits = who == OURS_PORTABLE ? uint32_t(CPU_KNOWN) : 0;
#endif
}

double Derive(Who who) {
    Use(who);
    static const uint8_t salt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    double start = Now();
    for (int i = 0; i < 20; ++i) {
        if (who == OPENSSL)
            PKCS5_PBKDF2_HMAC_SHA1("kennwort", 8, salt, 16, 1000, 66, Key);
        else
            Pbkdf2HmacSha1((const uint8_t*)"kennwort", 8, salt, 16, 1000, Key, 66);
    }
    return (Now() - start) / 20 * 1e3;    // ms per derivation
}

double Ctr(Who who) {
    Use(who);
    double start = Now();
    if (who == OPENSSL) {
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        uint8_t iv[16] = {1};
        EVP_EncryptInit_ex(ctx, EVP_aes_256_ctr(), nullptr, Key, iv);
        int n;
        for (int i = 0; i < PIECES; ++i) EVP_EncryptUpdate(ctx, Data, &n, Data, PIECE);
        EVP_CIPHER_CTX_free(ctx);
    } else {
        AesCtr ctr;
        AesCtrStart(ctr, Key, 32);
        for (int i = 0; i < PIECES; ++i) AesCtrXor(ctr, Data, PIECE);
    }
    Sink = Data[0];
    return PIECES / (Now() - start);     // MB/s
}

double Mac(Who who) {
    Use(who);
    uint8_t code[20];
    double start = Now();
    if (who == OPENSSL) {
        EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
        EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(hmac);
        OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("digest", (char*)"SHA1", 0), OSSL_PARAM_construct_end()};
        EVP_MAC_init(ctx, Key + 32, 32, params);
        for (int i = 0; i < PIECES; ++i) EVP_MAC_update(ctx, Data, PIECE);
        size_t n;
        EVP_MAC_final(ctx, code, &n, sizeof code);
        EVP_MAC_CTX_free(ctx);
        EVP_MAC_free(hmac);
    } else {
        HmacSha1 mac;
        HmacSha1Start(mac, Key + 32, 32);
        for (int i = 0; i < PIECES; ++i) HmacSha1Update(mac, Data, PIECE);
        HmacSha1Finish(mac, code);
    }
    Sink = code[0];
    return PIECES / (Now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 7;
    for (uint32_t i = 0; i < PIECE; ++i) Data[i] = uint8_t(i * 7 + (i >> 9));
    std::vector<double> r[3][WHO_COUNT];
    for (int round = 0; round < rounds; ++round)
        for (int who = 0; who < WHO_COUNT; ++who) {
            r[0][who].push_back(Derive(Who(who)));
            r[1][who].push_back(Ctr(Who(who)));
            r[2][who].push_back(Mac(Who(who)));
        }
    printf("%-34s %16s %16s %16s\n", "", "PBKDF2 AES-256", "AES-256-CTR", "HMAC-SHA1");
    for (int who = 0; who < WHO_COUNT; ++who)
        printf("%-34s %13.2f ms %11.0f MB/s %11.0f MB/s\n", Names[who], Median(r[0][who]), Median(r[1][who]),
               Median(r[2][who]));
    for (int who = 0; who < OPENSSL; ++who)
        printf("%-34s %16.2f %16.2f %16.2f   (ours / OpenSSL: time, speed, speed)\n", Names[who],
               Median(r[0][who]) / Median(r[0][OPENSSL]), Median(r[1][who]) / Median(r[1][OPENSSL]),
               Median(r[2][who]) / Median(r[2][OPENSSL]));
    return 0;
}
