// Basic types shared by every subsystem: status codes, file handles, callbacks.
#pragma once
#include <stdint.h>
#include <stddef.h>

typedef uint16_t SfxStatus;

enum : SfxStatus {
    SFX_OK = 0,
    SFX_ERR_IO = 5,             // open, read, write, seek, delete or mkdir failed
    SFX_ERR_NOMEM = 8,          // a memory block was refused
    SFX_ERR_EXISTS = 80,        // an existing file that nobody could be asked about
    SFX_USER_ABORT = 2926,      // the user cancelled
    SFX_ERR_PASSWORD = 9961,    // an encrypted entry was not unlocked
    SFX_ERR_BAD_DATA = 9964,    // foreign record signature, corrupt DEFLATE data, unsafe name
    SFX_ERR_NO_ARCHIVE = 9966,  // no end-of-central-directory record
    SFX_ERR_EMPTY = 19906,      // the central directory holds no entry
    SFX_ERR_UNSUPPORTED = 19960,// version needed above 20, or method 7 or above 8
    SFX_ERR_CRC = 19962,        // CRC-32 of the written data differs
    SFX_ERR_CREATE = 19963      // the output file could not be created or put in place
};

// Result of ExtractArchive when the configured command was started; not a status.
const int SFX_RUN_STARTED = 33;

// The platform's file handle held as an integer: a Win32 HANDLE or a POSIX
// descriptor. FILE_NONE (-1, INVALID_HANDLE_VALUE on Win32) means no file.
typedef intptr_t FileHandle;
const FileHandle FILE_NONE = -1;

// Short texts (file names shown, parts of a split path): 256-byte buffers.
const int SFX_PATH_MAX = 256;

// Paths inside are UTF-8 of any length Windows takes: 32,767 UTF-16 units
// with the long-path prefix, each unit at most 3 bytes of UTF-8. A target
// path keeps room for that prefix (\\?\UNC\ in place of \\) and for the
// temporary names beside it, which may be 4 units longer than the target.
const uint32_t SFX_PATH_UNITS = 32767;
const uint32_t SFX_PATH_BYTES = 3 * SFX_PATH_UNITS + 1;
const uint32_t SFX_TARGET_UNITS = SFX_PATH_UNITS - 16;
