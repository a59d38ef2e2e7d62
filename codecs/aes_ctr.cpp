#include "codecs/aes_ctr.h"
#include "codecs/cpu_x86.h"

void AesCountUp(uint8_t counter[AES_BLOCK_SIZE]) {
    for (uint32_t i = 0; i < AES_BLOCK_SIZE && ++counter[i] == 0; ++i) {
    }
}

void AesCtrBlocksPortable(const AesKey& key, uint8_t counter[AES_BLOCK_SIZE], uint8_t* data, uint32_t blocks) {
    uint8_t stream[AES_BLOCK_SIZE];
    for (; blocks != 0; --blocks) {
        AesEncryptBlockPortable(key, counter, stream);
        AesCountUp(counter);
        for (uint32_t i = 0; i < AES_BLOCK_SIZE; ++i) *data++ ^= stream[i];
    }
}

void AesCtrBlocks(const AesKey& key, uint8_t counter[AES_BLOCK_SIZE], uint8_t* data, uint32_t blocks) {
#if defined(__x86_64__) || defined(__i386__)
    if (CpuFeatures() & CPU_AES) {
        AesCtrBlocksHardware(key, counter, data, blocks);
        return;
    }
#endif
    AesCtrBlocksPortable(key, counter, data, blocks);
}

void AesCtrStart(AesCtr& ctr, const uint8_t* key, uint32_t keyLength) {
    AesSetKey(ctr.key, key, keyLength);
    __builtin_memset(ctr.counter, 0, AES_BLOCK_SIZE);
    ctr.counter[0] = 1;
    ctr.used = AES_BLOCK_SIZE;
}

void AesCtrXor(AesCtr& ctr, uint8_t* data, uint32_t count) {
    while (count != 0) {
        if (ctr.used == AES_BLOCK_SIZE) {
            uint32_t blocks = count / AES_BLOCK_SIZE;
            if (blocks != 0) {
                AesCtrBlocks(ctr.key, ctr.counter, data, blocks);
                data += blocks * AES_BLOCK_SIZE;
                count -= blocks * AES_BLOCK_SIZE;
                continue;
            }
            // A block's key stream for a ragged end: the cipher of the
            // counter is what it XORs into zeros.
            __builtin_memset(ctr.stream, 0, AES_BLOCK_SIZE);
            AesCtrBlocks(ctr.key, ctr.counter, ctr.stream, 1);
            ctr.used = 0;
        }
        *data++ ^= ctr.stream[ctr.used++];
        --count;
    }
}
