// File, directory and memory operations over the platform. Each is one
// platform call; failure is -1 (null for MemAlloc) and the caller decides.
// Paths are UTF-8 text with backslashes, as the engine builds them, of any
// length the platform takes (the Win32 layer converts them to UTF-16 and
// adds the long-path prefix where a path needs it). Positions and sizes are
// 64-bit; counts of one read or write are 32-bit, and a read or write may
// move fewer bytes than asked: the caller compares the count.
#pragma once
#include "support/sfx_types.h"

bool FileExists(const char* path);
void* MemAlloc(uint32_t size);
void MemFree(void* block);
int MakeDirectory(const char* path);
// Mode "rb": read, must exist. "wb": write, created or emptied. Else -1.
FileHandle FileOpen(const char* path, const char* mode);
// origin 0 start, 1 current, 2 end; result is the new position or -1.
int64_t FileSeek(FileHandle file, int64_t distance, int origin);
int32_t FileRead(void* buffer, uint32_t count, FileHandle file);
int32_t FileWrite(const void* buffer, uint32_t count, FileHandle file);
int64_t FileSize(FileHandle file);
int64_t FileTell(FileHandle file);
int FileClose(FileHandle file);
int FileDelete(const char* path);

// Creates a new empty file and opens it for writing; fails (-1) when any file
// or folder of that name exists, which is never opened or changed.
FileHandle FileCreateNew(const char* path);
// Puts the finished file from in place of the file to. Where nothing exists,
// from is renamed. An existing file has its content replaced and keeps what
// the platform keeps with a file (on Windows its security, creation time and
// the letter case of its name); on the way it may stand under the unused
// name backup, and every failure puts it back as it was. A read-only, hidden
// or system file is replaced only with replaceProtected. A link (symbolic,
// or a file with more than one name) is replaced as a name: what it points
// to is never changed. A folder is never replaced. 0 or -1.
int FileReplace(const char* from, const char* to, const char* backup, bool replaceProtected);
