// Packing files into the ZIP archive behind the stub: local headers and data
// now, the central directory and end record once every entry is written.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>
#include "tools/mksfx/input/input_walk.h"
#include "tools/mksfx/progress_bar.h"
#include "tools/mksfx/pack/zip_format.h"

// What the central directory needs of one written entry.
struct PackedEntry {
    std::string storedName;     // as stored: ASCII or UTF-8
    uint16_t flags;
    uint16_t method;            // 99 for AES, the real one in realMethod
    uint16_t realMethod;
    uint16_t dosDate;
    uint16_t dosTime;
    uint32_t crc;               // of the data; AES entries store 0 in its place
    uint64_t compressedSize;    // with the encryption header (and the AES code)
    uint64_t uncompressedSize;
    uint64_t localOffset;       // from the start of the program file
    uint32_t externalAttributes;
    // The local header carries both sizes in a Zip64 field: decided before
    // the data is written, from the file's size, so that the header keeps
    // its length when it is patched.
    bool zip64Local;
};

const uint16_t METHOD_DEFLATE = 8;
const uint16_t METHOD_LZMA_ENTRY = 14;

struct PackSettings {
    uint16_t method = 8;        // METHOD_DEFLATE or METHOD_LZMA_ENTRY
    int level = 11;             // of DEFLATE; 0 stores everything
    int threads = 1;            // for compressing; the output does not depend on it
    bool encrypt = false;
    bool aes = false;           // with encrypt: WinZip AES-256, else the traditional kind
    std::string password;       // code page 1252, as the stub compares it
    ProgressBar* progress = nullptr;
};

// Writes every item at the output's position, in their order. Files are
// compressed on several threads (DEFLATE in pieces, LZMA a file per thread)
// and written by this one. Sizes and
// CRC go into the local headers (no data descriptors): an encrypted entry's
// CRC (and for AES the content's SHA-1, which the salt is made of) is taken
// in a first read, the local header is patched after the data.
bool PackItems(OutputFile& out, const std::vector<PackItem>& items, const PackSettings& settings,
               std::vector<PackedEntry>* entries, std::string* error);

// Writes the central directory and the end record (with comment), with Zip64
// fields exactly where a size, an offset or the count needs them.
bool WriteCentralDirectory(OutputFile& out, const std::vector<PackedEntry>& entries,
                           const std::string& comment, std::string* error);
