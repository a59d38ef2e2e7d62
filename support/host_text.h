// Host only: code page 1252, the path conversion between the engine's
// backslashes and the host's forward slashes (both UTF-8), and the record of
// the command the host back-end was asked to start.
#pragma once
#include <stdint.h>
#include <string>
#include "support/sfx_types.h"

// Code page 1252 <-> Unicode. The five bytes 1252 leaves undefined map to
// the C1 control characters of the same value, as Windows does.
uint32_t Cp1252ToUnicode(uint8_t ansi);
int UnicodeToCp1252(uint32_t codePoint);   // -1 when 1252 has no such character

// A path as the engine builds it ('\' separators) as the host's file system
// wants it ('/' separators). Every POSIX call of the back-end goes through
// this.
std::string HostPath(const char* path);

// The host never runs the configured command: StartProgram records it here
// (with the folder SetCurrentFolder last made current) and counts the starts.
extern char HostStartedCommand[1100];
extern char HostStartedFolder[SFX_PATH_BYTES];
extern int HostStartCount;
