// Host only: text and path conversion between the program's ANSI world
// (code page 1252, backslashes) and the host's (UTF-8, forward slashes), and
// the record of the command the host back-end was asked to start.
#pragma once
#include <stdint.h>
#include <string>

// Code page 1252 <-> Unicode. The five bytes 1252 leaves undefined map to
// the C1 control characters of the same value, as Windows does.
uint32_t Cp1252ToUnicode(uint8_t ansi);
int UnicodeToCp1252(uint32_t codePoint);   // -1 when 1252 has no such character

// CP1252 text (zero-terminated) to UTF-8.
std::string AnsiToUtf8(const char* ansi);
// A path as the engine builds it ('\' separators, ANSI bytes) as the host's
// file system wants it ('/' separators, UTF-8). Every POSIX call of the
// back-end goes through this.
std::string HostPath(const char* path);

// The host never runs the configured command: StartProgram records it here
// (with the folder SetCurrentFolder last made current) and counts the starts.
extern char HostStartedCommand[264];
extern char HostStartedFolder[264];
extern int HostStartCount;
