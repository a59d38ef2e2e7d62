// ZIP record layouts as they stand in the file (little-endian, packed), minus
// their 4-byte signatures, which are read separately.
#pragma once
#include "support/sfx_types.h"

const uint32_t SIG_CENTRAL_HEADER = 0x02014B50;  // "PK\1\2"
const uint32_t SIG_END_RECORD = 0x06054B50;      // "PK\5\6"
const uint32_t SIG_LOCAL_HEADER = 0x04034B50;    // "PK\3\4"
const uint32_t SIG_ZIP64_END_RECORD = 0x06064B50;  // "PK\6\6"
const uint32_t SIG_ZIP64_LOCATOR = 0x07064B50;   // "PK\6\7"

// The program's own image must not hold the end-record signature: in a stub
// with nothing appended, the backward search would take that copy for an end
// record. So the program keeps it complemented and restores it at run time;
// the volatile read stops the compiler from folding it back into a constant.
extern const volatile uint32_t EndSignatureComplement;
inline uint32_t EndRecordSignature() { return ~EndSignatureComplement; }

#pragma pack(push, 1)
// End of central directory record, bytes 4..21 (18 bytes).
struct EndRecord {
    uint16_t diskNumber;
    uint16_t centralDisk;
    uint16_t entriesOnDisk;
    uint16_t entriesTotal;
    uint32_t centralSize;
    uint32_t centralOffset;     // absolute offset in the program file
    uint16_t commentLength;
};

// Central directory file header, bytes 4..45 (42 bytes).
struct CentralHeader {
    uint16_t versionMadeBy;
    uint16_t versionNeeded;     // low byte compared with 20
    uint16_t flags;             // bit 0 encrypted, bit 3 data descriptor, bit 11 UTF-8 name
    uint16_t method;            // 0 stored, 8 deflated
    uint16_t dosTime;
    uint16_t dosDate;
    uint32_t crc32;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
    uint16_t commentLength;
    uint16_t diskStart;
    uint16_t internalAttributes;
    uint32_t externalAttributes;
    uint32_t localHeaderOffset; // absolute offset in the program file
};

// Local file header, bytes 4..29 (26 bytes).
struct LocalHeader {
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint16_t dosTime;
    uint16_t dosDate;
    uint32_t crc32;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
};

// Zip64 end of central directory record and its locator, as they stand
// right before the end record (76 bytes, signatures included).
struct Zip64Tail {
    uint32_t signature;         // SIG_ZIP64_END_RECORD
    uint64_t recordSize;        // bytes behind this field: 44 without extensible data
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint32_t diskNumber;
    uint32_t centralDisk;
    uint64_t entriesOnDisk;
    uint64_t entriesTotal;
    uint64_t centralSize;
    uint64_t centralOffset;
    uint32_t locatorSignature;  // SIG_ZIP64_LOCATOR
    uint32_t endRecordDisk;
    uint64_t endRecordOffset;
    uint32_t diskCount;
};

// The 514-byte block between the executable image and the ZIP archive.
struct ConfigBlock {
    char targetFolder[257];
    char command[257];
};
#pragma pack(pop)

static_assert(sizeof(EndRecord) == 18, "EndRecord layout");
static_assert(sizeof(CentralHeader) == 42, "CentralHeader layout");
static_assert(sizeof(LocalHeader) == 26, "LocalHeader layout");
static_assert(sizeof(ConfigBlock) == 514, "ConfigBlock layout");
static_assert(sizeof(Zip64Tail) == 76, "Zip64Tail layout");

const uint16_t ZIP_FLAG_ENCRYPTED = 0x0001;
const uint16_t ZIP_FLAG_DATA_DESCRIPTOR = 0x0008;
const uint16_t ZIP_FLAG_UTF8 = 0x0800;

// Extra fields: Zip64 sizes and offsets, the Info-ZIP Unicode path, WinZip AES.
const uint16_t EXTRA_ZIP64 = 0x0001;
const uint16_t EXTRA_UNICODE_PATH = 0x7075;
const uint16_t EXTRA_AES = 0x9901;
