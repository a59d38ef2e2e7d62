// A small ZIP writer for the tests: builds self-extractor images (stub bytes,
// configuration block, archive) in memory, including deliberately broken ones.
// It uses zlib, liblzma and its own encryption code, never the code under test.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

struct ZipEntrySpec {
    std::string name;               // bytes as stored in both headers
    std::string data;               // the uncompressed content
    uint16_t method = 0;            // 0 stored, 8 deflated (zlib, raw), 14 LZMA (liblzma)
    uint16_t flags = 0;             // bit 0 is set automatically with a password
    uint16_t versionNeeded = 20;
    uint16_t versionMadeBy = 20;    // high byte: the system (0 MS-DOS, 3 Unix)
    uint16_t dosTime = 0x6C21;      // 13:33:02
    uint16_t dosDate = 0x5A87;      // 2025-04-07
    uint32_t externalAttributes = 0;
    std::string extra;              // central and local extra field
    std::string comment;            // central file comment
    std::string password;           // non-empty: traditional encryption
    int level = 9;                  // zlib level for method 8

    // Overrides for broken archives (used when the has* flag is set).
    bool hasCrc = false;              uint32_t crc = 0;
    bool hasCompressedSize = false;   uint32_t compressedSize = 0;
    bool hasUncompressedSize = false; uint32_t uncompressedSize = 0;
    bool hasLocalName = false;        std::string localName;
    bool hasPayload = false;          std::string payload;   // compressed bytes, before encryption
    bool hasLocalOffset = false;      uint32_t localOffset = 0;
    bool checkByteFromTime = false;   // last header byte = high byte of dosTime (bit 3 style)
    // Central header fields moved into a Zip64 extra field (all ones in the
    // header): 1 uncompressed size, 2 compressed size, 4 local header offset.
    uint8_t zip64Fields = 0;
};

struct ZipImageOptions {
    std::string prefix;             // bytes before the archive (stub and config block)
    std::string archiveComment;
    bool reverseLocalOrder = false; // local headers in reverse of the central order
    bool hasCentralOffset = false;  uint32_t centralOffset = 0;
    bool omitEndRecord = false;
    bool zip64EndRecord = false;    // Zip64 end record and locator; all ones in the end record
};

// Builds prefix + local headers and data + central directory + end record.
// All offsets count from the start of the returned image.
std::string BuildZipImage(const std::vector<ZipEntrySpec>& entries, const ZipImageOptions& options = {});

// 514-byte configuration block (fields zero-padded to 257 bytes, may be cut).
std::string MakeConfigBlock(const std::string& target, const std::string& command);
// A stand-in executable image of the given size followed by a configuration block.
std::string MakeStubPrefix(const std::string& target = "", const std::string& command = "", size_t stubSize = 1024);

std::string RawDeflate(const std::string& data, int level = 9, int strategy = 0);
// An LZMA entry's data (method 14) by liblzma: the 4-byte header, the
// properties (lc 3, lp 0, pb 2, a 64 KB dictionary), the stream without end
// marker.
std::string LzmaEntryData(const std::string& data);
uint32_t ZipCrc32(const std::string& data);
// Traditional ZIP encryption of header + data with the password (12-byte header
// whose last byte is checkByte).
std::string ZipEncrypt(const std::string& plain, const std::string& password, uint8_t checkByte, uint32_t seed = 1);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// A fresh folder under /tmp, removed with everything in it at the end of scope.
struct TempDir {
    std::string path;       // without trailing slash
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const { return path + "/" + name; }
};

// Every file below root (relative paths, '/' separated, sorted): for checks
// that nothing was written outside a target folder.
std::vector<std::string> ListTree(const std::string& root);
