// String, memory and path routines. Texts are 8-bit ANSI, zero-terminated,
// in the callers' fixed buffers; nothing here allocates.
#pragma once
#include "support/sfx_types.h"

char* StrCopy(char* dest, const char* src);
char* StrAppend(char* dest, const char* src);
uint32_t StrLength(const char* text);
void* MemFill(void* buffer, int value, uint32_t count);
void* MemCopy(void* dest, const void* src, uint32_t count);
void* MemMove(void* dest, const void* src, uint32_t count);
char* StrNCopy(char* dest, const char* src, uint32_t n);
void StrCopyMax(char* dest, const char* src, uint32_t n);
char* SlashesToBackslashes(const char* src, char* dest);

// 8-bit positions and counts, for texts of at most 255 characters.
char* StrCopySub(const char* src, uint8_t position, uint8_t count, char* dest);
char* StrDelete(char* text, uint8_t position, uint8_t count);
uint8_t StrPos(char c, const char* text);  // 255 when absent

// Splits a path into drive, directory, name and extension; any output may be
// null, each other one is a buffer of at least 256 bytes.
void SplitPath(const char* path, char* drive, char* dir, char* name, char* ext);

// wvsprintfA-style formatting (%s %d %u %%); at most 1024 bytes are written.
int FormatText(char* dest, const char* format, ...);
