// File, directory and memory operations over the platform. Each is one
// platform call; failure is -1 (null for MemAlloc) and the caller decides.
// Paths are ANSI text with backslashes, as the engine builds them.
#pragma once
#include "support/sfx_types.h"

bool FileExists(const char* path);
void* MemAlloc(uint32_t size);
void MemFree(void* block);
int MakeDirectory(const char* path);
// Mode "rb": read, must exist. "wb": write, created or emptied. Else -1.
FileHandle FileOpen(const char* path, const char* mode);
// origin 0 start, 1 current, 2 end; result is the new position or -1.
int32_t FileSeek(FileHandle file, int32_t distance, int origin);
int32_t FileRead(void* buffer, uint32_t count, FileHandle file);
int32_t FileWrite(const void* buffer, uint32_t count, FileHandle file);
int32_t FileSize(FileHandle file);
int32_t FileTell(FileHandle file);
int FileClose(FileHandle file);
int FileDelete(const char* path);

// Creates a new, uniquely named empty file in folder (which ends in a
// backslash or is empty for the current folder), opens it for writing and
// stores its path in tempPath (264 bytes). Returns the handle or -1.
FileHandle FileCreateTemp(const char* folder, char* tempPath);
// Puts the file from in place of the file to, replacing it. 0 or -1.
int FileReplace(const char* from, const char* to);
