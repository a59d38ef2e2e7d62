// The few platform calls other than files that the engine and archive code
// make: file times, code page conversion of entry names, the configured
// command. Win32 back-end: platform_win32.cpp; host back-end: platform_posix.cpp.
#pragma once
#include "support/sfx_types.h"

// Sets the last-write time of an open file from a DOS date and time taken as
// local time. 0 on success, otherwise the platform's error code.
uint32_t SetFileDosTime(FileHandle file, uint16_t dosDate, uint16_t dosTime);

// A byte of a single-byte code page as a Unicode code point. Entry names
// without a UTF-8 mark are in the OEM code page 850 (that of a German
// Windows; the host and the stub take the same, whatever system they run
// on); configuration fields without a byte order mark are in 1252.
const uint32_t CODE_PAGE_OEM = 850;
const uint32_t CODE_PAGE_ANSI = 1252;
uint32_t CodePageToUnicode(uint32_t codePage, uint8_t byte);

// The configured command: make folder the current directory, then start the
// command line (which may be changed in place). StartProgram answers 32 or
// more when the program started and keeps it, so that WaitForStartedProgram
// can wait for its end and answer its exit code.
void SetCurrentFolder(const char* folder);
uint32_t StartProgram(char* commandLine);
uint32_t WaitForStartedProgram();
// Set: the program StartProgram starts, and every process it starts in turn,
// form a group that WaitForStartedProgram waits for as a whole.
extern bool StartInJob;
