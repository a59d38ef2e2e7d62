// The few platform calls other than files that the engine and archive code
// make: file times, code page conversion of entry names, the configured
// command. Win32 back-end: platform_win32.cpp; host back-end: platform_posix.cpp.
#pragma once
#include "support/sfx_types.h"

// Sets the last-write time of an open file from a DOS date and time taken as
// local time. 0 on success, otherwise the platform's error code.
uint32_t SetFileDosTime(FileHandle file, uint16_t dosDate, uint16_t dosTime);

// Entry names: OEM code page (850 on the host) to ANSI (1252 on the host),
// stopping at the first zero byte; dest holds at least 256 bytes.
void OemToAnsi(const char* oem, char* dest);
// UTF-8 to ANSI; characters the ANSI code page lacks become '?'. dest gets at
// most destSize - 1 characters and a terminator.
void Utf8ToAnsi(const char* utf8, char* dest, int destSize);

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
