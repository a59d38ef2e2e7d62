// What the engine and the front-ends use of one entry: its central header as
// stored, and what the catalogue decoded from the header and its extra fields.
#pragma once
#include "archive/zip_records.h"

struct CatalogEntry {
    CentralHeader header;           // as stored; its 32-bit sizes may be 0xFFFFFFFF (Zip64)
    uint64_t compressedSize;        // the entry's real sizes (Zip64 extra field where needed)
    uint64_t uncompressedSize;
    uint64_t localHeaderOffset;     // absolute in the program file, joined archives adjusted
    const char* name;               // UTF-8, zero-terminated, slashes as stored
    uint32_t nameLength;            // bytes before the terminator
    uint8_t folder;                 // 1: a folder (trailing slash, or its attributes say so)
    // WinZip AES (extra field 0x9901), as stored; all zero without the field.
    uint8_t aesStrength;            // 1 AES-128, 2 AES-192, 3 AES-256
    uint16_t aesVersion;            // 1 AE-1 (CRC-32 kept), 2 AE-2 (CRC-32 zero)
    uint16_t aesMethod;             // the compression method of the data inside
};
