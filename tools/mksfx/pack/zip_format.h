// ZIP record constants and the output file of the builder, which keeps its
// own position so that every offset is known without asking.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <string>
#include "tools/mksfx/little_endian.h"

// An existing archive is wrapped with 32-bit records only.
const uint64_t PROGRAM_LIMIT = 0x80000000ull;
const uint16_t VERSION_NEEDED = 20;             // 2.0: deflate and traditional encryption
const uint16_t VERSION_NEEDED_ZIP64 = 45;       // 4.5: Zip64 records
const uint32_t ZIP64_ALL_ONES = 0xFFFFFFFF;     // a 32-bit field whose value stands in a Zip64 record
// Version made by: 2.0 on MS-DOS/FAT (host 0) says "name in the OEM code
// page" to readers on every system; UTF-8 names are marked as made on NTFS
// (host 10), since some Unix readers convert names of FAT archives from the
// OEM code page even when flag bit 11 says UTF-8.
const uint16_t VERSION_MADE_BY_OEM = 0x0014;
const uint16_t VERSION_MADE_BY_UTF8 = 0x0A14;
const uint32_t DOS_ATTRIBUTE_FOLDER = 0x10;
const uint32_t DOS_ATTRIBUTE_ARCHIVE = 0x20;

struct OutputFile {
    FILE* file = nullptr;
    std::string path;
    uint64_t position = 0;      // where the next write goes
    uint64_t end = 0;           // highest position written
    bool failed = false;
};

bool WriteBytes(OutputFile& out, const void* data, size_t count);
inline bool WriteBytes(OutputFile& out, const std::string& bytes) {
    return WriteBytes(out, bytes.data(), bytes.size());
}
bool SeekOutput(OutputFile& out, uint64_t position);
