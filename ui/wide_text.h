// The program's own texts are kept as code page 1252 bytes (German, with
// umlauts) and shown through the wide calls, converted from 1252 whatever
// the system's ANSI code page is: on a Windows set to another code page the
// same bytes handed to an ANSI call would show other letters. Entry names and
// paths are ANSI text of the system's code page and are converted from that.
#pragma once
#include <windows.h>

const int WIDE_TEXT_SIZE = 1024;   // wsprintfW writes at most 1024 characters

void Text1252ToWide(const char* text, WCHAR* wide, int size);
void AnsiToWide(const char* text, WCHAR* wide, int size);
// format (1252, at most one %s) with insert (ANSI, may be null) into wide
// (WIDE_TEXT_SIZE characters).
void FormatWide(WCHAR* wide, const char* format, const char* insert);
// A message box owned by MainWindow: caption and text in 1252, the text's %s
// replaced by insert (ANSI, may be null).
int ShowMessage(const char* caption, const char* text, const char* insert, UINT style);
