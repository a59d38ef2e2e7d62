#include "ui/wide_text.h"
#include "ui/ui_state.h"

void TextToWide(UINT codePage, const char* text, WCHAR* wide, int size) {
    if (MultiByteToWideChar(codePage, 0, text, -1, wide, size) == 0)
        wide[0] = 0;
}

void FormatWide(WCHAR* wide, const char* format, const char* insert) {
    // The program's texts are shorter than 512 characters; an insert longer
    // than the whole text can be is left out.
    WCHAR pattern[512];
    WCHAR name[WIDE_TEXT_SIZE];
    Text1252ToWide(format, pattern, 512);
    TextToWide(CP_UTF8, insert ? insert : "", name, WIDE_TEXT_SIZE);
    wsprintfW(wide, pattern, name);
}

int ShowMessage(const char* text, const char* insert, UINT style) {
    WCHAR message[WIDE_TEXT_SIZE];
    FormatWide(message, text, insert);
    return MessageBoxW(MainWindow, message, Caption, style);
}

void SetItemText(HWND dialog, int id, const char* text) {
    WCHAR wide[WIDE_TEXT_SIZE];
    TextToWide(CP_UTF8, text, wide, WIDE_TEXT_SIZE);
    SetDlgItemTextW(dialog, id, wide);
}
