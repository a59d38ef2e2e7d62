// AES in counter mode as WinZip's AES format defines it: the counter block
// is a 16-byte little-endian number that starts at 1, and the key stream
// runs on across calls, so any split of the data gives the same bytes.
// Encrypting and decrypting are the same operation.
#pragma once
#include "codecs/aes.h"

struct AesCtr {
    AesKey key;
    uint8_t counter[AES_BLOCK_SIZE];   // the counter of the next key stream block
    uint8_t stream[AES_BLOCK_SIZE];    // the current block's key stream
    uint32_t used;                     // its bytes already used (16: none left)
};

void AesCtrStart(AesCtr& ctr, const uint8_t* key, uint32_t keyLength);
void AesCtrXor(AesCtr& ctr, uint8_t* data, uint32_t count);

// Whole blocks: each of data's blocks is XORed with the cipher of counter,
// which then counts on by one.
void AesCtrBlocks(const AesKey& key, uint8_t counter[AES_BLOCK_SIZE], uint8_t* data, uint32_t blocks);
void AesCtrBlocksPortable(const AesKey& key, uint8_t counter[AES_BLOCK_SIZE], uint8_t* data, uint32_t blocks);
void AesCountUp(uint8_t counter[AES_BLOCK_SIZE]);

#if defined(__x86_64__) || defined(__i386__)
// AES-NI: true when the processor has it.
bool AesHardwareAvailable();
void AesCtrBlocksHardware(const AesKey& key, uint8_t counter[AES_BLOCK_SIZE], uint8_t* data, uint32_t blocks);
#endif
