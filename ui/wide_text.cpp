#include "ui/wide_text.h"
#include "ui/ui_state.h"

static const UINT CODE_PAGE_1252 = 1252;

void Text1252ToWide(const char* text, WCHAR* wide, int size) {
    if (MultiByteToWideChar(CODE_PAGE_1252, 0, text, -1, wide, size) == 0)
        wide[0] = 0;
}

void AnsiToWide(const char* text, WCHAR* wide, int size) {
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, size) == 0)
        wide[0] = 0;
}

void FormatWide(WCHAR* wide, const char* format, const char* insert) {
    // The program's texts are shorter than 512 characters, names and
    // commands shorter than 300.
    WCHAR pattern[512];
    WCHAR name[300];
    Text1252ToWide(format, pattern, 512);
    AnsiToWide(insert ? insert : "", name, 300);
    wsprintfW(wide, pattern, name);
}

int ShowMessage(const char* caption, const char* text, const char* insert, UINT style) {
    WCHAR title[64];
    WCHAR message[WIDE_TEXT_SIZE];
    Text1252ToWide(caption, title, 64);
    FormatWide(message, text, insert);
    return MessageBoxW(MainWindow, message, title, style);
}
