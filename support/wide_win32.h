// Windows programs only: text inside the program is UTF-8, the wide calls of
// Windows take UTF-16. Implemented in file_win32.cpp.
#pragma once
#include <windows.h>

// The longest path Windows takes (through the \\?\ prefix), terminator
// included; also the longest command line.
const int WIDE_PATH_UNITS = 32768;

// UTF-8 text as UTF-16 in wide (room for units, the terminator included).
// False, and wide empty, when the text is not valid UTF-8 or does not fit:
// a name is never cut or guessed.
bool Utf8ToWide(const char* text, WCHAR* wide, int units);
// UTF-16 as UTF-8 in text (room for size bytes); false, and text empty, when
// it does not fit.
bool WideToUtf8(const WCHAR* wide, char* text, int size);

// A path of the file layer (UTF-8) as the full wide path with the long-path
// prefix that the file layer hands to Windows, in one of three process-wide
// slots (0 to 2) that the next file operation may overwrite. The empty path,
// which every call refuses, when it is not UTF-8 or too long for Windows.
WCHAR* WidePath(const char* path, int slot);
