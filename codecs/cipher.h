// Traditional ZIP decryption and the password check of an encrypted entry.
#pragma once
#include "archive/archive_state.h"

void InitCipherKeys(const char* password);
uint8_t UpdateCipherKeys(uint8_t plain);
uint8_t NextKeystreamByte();
void DecryptInPlace(uint8_t* buffer, uint32_t count);
int CheckEncryptionHeader(const uint8_t header[12]);
bool UnlockEntry(const char* entryName);
