// String, memory and path routines. Texts are UTF-8, zero-terminated, in the
// callers' fixed buffers; nothing here allocates.
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

// Text from the archive as UTF-8 in dest, zero-terminated; returns false when
// UTF-8 text held an invalid sequence. With codePage TEXT_UTF8 the bytes
// are UTF-8 and copied as they are, but every broken or overlong sequence,
// encoded surrogate or code point past U+10FFFF becomes '?' (never a guess);
// otherwise each byte is a character of that single-byte code page. A zero
// byte becomes '?' either way, so that no name ends early. dest holds three
// bytes per byte of text and one more; *written gets the length.
const uint32_t TEXT_UTF8 = 65001;
// UTF-16 units of length bytes of UTF-8 text: what Windows counts.
uint32_t Utf16Length(const char* text, uint32_t length);
bool TextToUtf8(char* dest, const uint8_t* text, uint32_t length, uint32_t codePage, uint32_t* written);

// 8-bit positions and counts, for texts of at most 255 characters.
char* StrCopySub(const char* src, uint8_t position, uint8_t count, char* dest);
char* StrDelete(char* text, uint8_t position, uint8_t count);
uint8_t StrPos(char c, const char* text);  // 255 when absent

// Splits a path into drive, directory, name and extension; any output may be
// null, each other one is a buffer of at least 256 bytes.
void SplitPath(const char* path, char* drive, char* dir, char* name, char* ext);

// wvsprintfA-style formatting (%s %d %u %%); at most 1024 bytes are written.
int FormatText(char* dest, const char* format, ...);
