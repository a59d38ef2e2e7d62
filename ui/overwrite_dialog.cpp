// The question before an existing file is replaced: names the file, shows size
// and modification time of the existing file and of the archive entry under
// the file type's icon, and returns the id of the button pressed.
#include "ui/ui_state.h"
#include "ui/resources/resource_ids.h"
#include <shellapi.h>
#include "support/str_util.h"

// Found by the dialog's initialisation.
static WIN32_FIND_DATAA ExistingFile;
static FILETIME EntryTime;        // UTC
static uint32_t EntrySize;

static const int TEXT_SIZE = 256;
static char BytesTemplate[TEXT_SIZE];
static char KilobytesTemplate[TEXT_SIZE];
static char Formatted[TEXT_SIZE];

// The templates use FormatMessage inserts (%1, %2, %3!d!), so that a
// translation may reorder them.
static void SetFormattedText(HWND dialog, int id, const char* format, DWORD_PTR* inserts) {
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, 0, 0,
                        Formatted, TEXT_SIZE, (va_list*)inserts))
        Formatted[0] = 0;   // too long for the line: leave it empty rather than stale
    SetDlgItemTextA(dialog, id, Formatted);
}

// One file line: size in bytes below 1 KB, else in whole KB, then the local
// date and time.
static void ShowFileLine(HWND dialog, int id, const FILETIME* time, uint32_t size) {
    FILETIME local;
    SYSTEMTIME fields;
    FileTimeToLocalFileTime(time, &local);
    FileTimeToSystemTime(&local, &fields);
    char timeText[100], dateText[100];
    GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_FORCE24HOURFORMAT, &fields, nullptr, timeText, 100);
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_LONGDATE, &fields, nullptr, dateText, 100);
    const char* format = BytesTemplate;
    if (size >= 1024) {
        format = KilobytesTemplate;
        size >>= 10;
    }
    DWORD_PTR inserts[3] = {(DWORD_PTR)dateText, (DWORD_PTR)timeText, size};
    SetFormattedText(dialog, id, format, inserts);
}

static void InitOverwriteDialog(HWND dialog) {
    CenterOnDesktop(dialog);
    GetDlgItemTextA(dialog, CTL_BYTES_TEMPLATE, BytesTemplate, TEXT_SIZE);
    GetDlgItemTextA(dialog, CTL_KB_TEMPLATE, KilobytesTemplate, TEXT_SIZE);

    // The icon follows from the name's type alone; the disk is not touched.
    SHFILEINFOA info;
    if (SHGetFileInfoA(ExistingFile.cFileName, 0, &info, sizeof info,
                       SHGFI_ICON | SHGFI_USEFILEATTRIBUTES) && info.hIcon) {
        SendDlgItemMessageA(dialog, CTL_EXISTING_ICON, STM_SETIMAGE, IMAGE_ICON, (LPARAM)info.hIcon);
        SendDlgItemMessageA(dialog, CTL_ENTRY_ICON, STM_SETIMAGE, IMAGE_ICON, (LPARAM)info.hIcon);
    }

    // The three message lines lie on top of each other; one of them shows.
    DWORD attributes = ExistingFile.dwFileAttributes;
    int messageId = (attributes & FILE_ATTRIBUTE_SYSTEM)     ? CTL_MSG_SYSTEM
                    : (attributes & FILE_ATTRIBUTE_READONLY) ? CTL_MSG_READONLY
                                                             : CTL_MSG_PLAIN;
    static_assert(CTL_MSG_READONLY == CTL_MSG_PLAIN + 1 && CTL_MSG_SYSTEM == CTL_MSG_PLAIN + 2,
                  "the message lines have consecutive ids");
    for (int id = CTL_MSG_PLAIN; id <= CTL_MSG_SYSTEM; ++id)
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    char format[TEXT_SIZE];
    GetDlgItemTextA(dialog, messageId, format, TEXT_SIZE);
    ShowWindow(GetDlgItem(dialog, messageId), SW_SHOW);
    // The name as stored in the folder, in its own letter case.
    DWORD_PTR inserts[1] = {(DWORD_PTR)ExistingFile.cFileName};
    SetFormattedText(dialog, messageId, format, inserts);

    ShowFileLine(dialog, CTL_EXISTING_LINE, &ExistingFile.ftLastWriteTime, ExistingFile.nFileSizeLow);
    ShowFileLine(dialog, CTL_ENTRY_LINE, &EntryTime, EntrySize);
}

static INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        InitOverwriteDialog(dialog);
        return TRUE;   // focus to "Ja"
    }
    if (message == WM_COMMAND) {
        WORD id = LOWORD(wParam);
        if (id == CTL_YES || id == CTL_CANCEL || id == CTL_NO || id == CTL_REPLACE_ALL) {
            EndDialog(dialog, id);
            return TRUE;
        }
    }
    return FALSE;
}

int ConfirmOverwrite(const CentralHeader* header, const char* targetPath) {
    HANDLE search = FindFirstFileA(targetPath, &ExistingFile);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);

    // The archive keeps local DOS times; the dialog compares UTC file times.
    FILETIME local;
    DosDateTimeToFileTime(header->dosDate, header->dosTime, &local);
    LocalFileTimeToFileTime(&local, &EntryTime);
    EntrySize = header->uncompressedSize;

    INT_PTR result = DialogBoxParamA(ModuleHandle, MAKEINTRESOURCEA(IDD_OVERWRITE), MainWindow,
                                     OverwriteDialogProc, 0);
    // "Ja" makes a read-only, hidden or system file replaceable; "Alle
    // ersetzen" deliberately does not.
    if (result == CTL_YES)
        SetFileAttributesA(targetPath, FILE_ATTRIBUTE_NORMAL);
    return (int)result;
}
