// The program's own texts are kept as code page 1252 bytes (German, with
// umlauts) and shown through the wide calls, converted from 1252 whatever
// the system's ANSI code page is: on a Windows set to another code page the
// same bytes handed to an ANSI call would show other letters. Entry names,
// paths and commands are UTF-8, as everywhere inside the program.
#pragma once
#include <windows.h>

const int WIDE_TEXT_SIZE = 1024;   // wsprintfW writes at most 1024 characters

// text in code page codePage as wide text; a text that does not fit into
// size units, or is not valid in its code page, shows what it can
// (replacement characters) or nothing: these are texts to look at only.
void TextToWide(UINT codePage, const char* text, WCHAR* wide, int size);
inline void Text1252ToWide(const char* text, WCHAR* wide, int size) { TextToWide(1252, text, wide, size); }
// format (1252, at most one %s) with insert (UTF-8, may be null) into wide
// (WIDE_TEXT_SIZE characters).
void FormatWide(WCHAR* wide, const char* format, const char* insert);
// A message box owned by MainWindow with the program's caption: the text in
// 1252, its %s replaced by insert (UTF-8, may be null).
int ShowMessage(const char* text, const char* insert, UINT style);
// Shows text (UTF-8 of up to WIDE_TEXT_SIZE - 1 characters) in a control.
void SetItemText(HWND dialog, int id, const char* text);
