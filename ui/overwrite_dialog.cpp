// The question before an existing file is replaced: names the file, shows size
// and modification time of the existing file and of the archive entry under
// the file type's icon, and returns the id of the button pressed.
#include "ui/ui_state.h"
#include "ui/resources/resource_ids.h"
#include "ui/wide_text.h"
#include <shellapi.h>
#include "support/str_util.h"

// Found by the dialog's initialisation.
static WIN32_FIND_DATAW ExistingFile;
static FILETIME EntryTime;        // UTC
static uint64_t EntrySize;

static const int TEXT_SIZE = 256;
// The dialog's texts come from its template and stay wide all the way.
static WCHAR BytesTemplate[TEXT_SIZE];
static WCHAR KilobytesTemplate[TEXT_SIZE];
static WCHAR Formatted[TEXT_SIZE];
// The file type's icon, destroyed when the dialog has closed.
static HICON TypeIcon;

// The templates use FormatMessage inserts (%1, %2, %3!d!), so that a
// translation may reorder them.
static void SetFormattedText(HWND dialog, int id, const WCHAR* format, DWORD_PTR* inserts) {
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, 0, 0,
                        Formatted, TEXT_SIZE, (va_list*)inserts))
        Formatted[0] = 0;   // too long for the line: leave it empty rather than stale
    SetDlgItemTextW(dialog, id, Formatted);
}

// One file line: size in bytes below 1 KB, else in whole KB, then the local
// date and time.
static void ShowFileLine(HWND dialog, int id, const FILETIME* time, uint64_t size) {
    FILETIME local;
    SYSTEMTIME fields;
    FileTimeToLocalFileTime(time, &local);
    FileTimeToSystemTime(&local, &fields);
    WCHAR timeText[100], dateText[100];
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_FORCE24HOURFORMAT, &fields, nullptr, timeText, 100);
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &fields, nullptr, dateText, 100);
    const WCHAR* format = BytesTemplate;
    if (size >= 1024) {
        format = KilobytesTemplate;
        size >>= 10;
    }
    DWORD_PTR inserts[3] = {(DWORD_PTR)dateText, (DWORD_PTR)timeText, (DWORD_PTR)size};
    SetFormattedText(dialog, id, format, inserts);
}

void InitOverwriteDialog(HWND dialog) {
    GetDlgItemTextW(dialog, CTL_BYTES_TEMPLATE, BytesTemplate, TEXT_SIZE);
    GetDlgItemTextW(dialog, CTL_KB_TEMPLATE, KilobytesTemplate, TEXT_SIZE);

    // The icon follows from the name's type alone; the disk is not touched.
    SHFILEINFOW info;
    if (SHGetFileInfoW(ExistingFile.cFileName, 0, &info, sizeof info,
                       SHGFI_ICON | SHGFI_USEFILEATTRIBUTES) && info.hIcon) {
        TypeIcon = info.hIcon;
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
    WCHAR format[TEXT_SIZE];
    GetDlgItemTextW(dialog, messageId, format, TEXT_SIZE);
    ShowWindow(GetDlgItem(dialog, messageId), SW_SHOW);
    // The name as stored in the folder, in its own letter case.
    DWORD_PTR inserts[1] = {(DWORD_PTR)ExistingFile.cFileName};
    SetFormattedText(dialog, messageId, format, inserts);

    ShowFileLine(dialog, CTL_EXISTING_LINE, &ExistingFile.ftLastWriteTime,
                 (uint64_t)ExistingFile.nFileSizeHigh << 32 | ExistingFile.nFileSizeLow);
    ShowFileLine(dialog, CTL_ENTRY_LINE, &EntryTime, EntrySize);
}

int ConfirmOverwrite(const CatalogEntry* entry, const char* targetPath) {
    HANDLE search = FindFirstFileW(WidePath(targetPath, 0), &ExistingFile);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);

    // The archive keeps local DOS times; the dialog compares UTC file times.
    FILETIME local;
    DosDateTimeToFileTime(entry->header.dosDate, entry->header.dosTime, &local);
    LocalFileTimeToFileTime(&local, &EntryTime);
    EntrySize = entry->uncompressedSize;

    TypeIcon = nullptr;
    INT_PTR result = ShowButtonDialog(IDD_OVERWRITE, MainWindow);
    if (TypeIcon)
        DestroyIcon(TypeIcon);
    // Nothing is changed here: "Ja" lets the entry replace even a read-only,
    // hidden or system file, but only once the new file is complete and
    // correct (CONFIRM_REPLACE_PROTECTED); "Alle ersetzen" never does.
    return (int)result;
}
