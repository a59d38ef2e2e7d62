// What the engine and the front-ends use of one entry: its central header as
// stored, and what the catalogue decoded from the header and its extra fields;
// and the catalogue that holds them.
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

// The central directory of the open archive: read whole into one block by
// ReadCatalog, its entries decoded from the block one at a time
// (archive/catalog.h), so that memory grows only with the directory itself.
struct Catalog {
    uint8_t* directory;             // the central directory as stored
    uint32_t size;                  // its bytes
    uint32_t count;                 // its entries
    uint32_t next;                  // offset in the block of the next entry to decode
    int64_t shift;                  // added to every stored offset: an archive joined behind data
    SfxStatus status;               // outcome of ReadCatalog
    CatalogEntry entry;             // the entry decoded last
};
