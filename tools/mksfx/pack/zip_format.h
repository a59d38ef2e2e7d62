// ZIP record constants and the output file of the builder, which keeps its
// own position so that every offset is known without asking.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <string>
#include "tools/mksfx/little_endian.h"

const uint64_t PROGRAM_LIMIT = 0x80000000ull;   // the stub seeks with signed 32-bit offsets
const uint16_t VERSION_NEEDED = 20;             // 2.0: deflate and traditional encryption
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
