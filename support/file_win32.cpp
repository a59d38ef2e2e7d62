// Win32 back-end of the file layer: each operation is one kernel32 call on
// the path as wide text, but for the replacement of an existing file, which
// has more to look after.
#include "support/file_layer.h"
#include "support/str_util.h"
#include "support/wide_win32.h"

bool Utf8ToWide(const char* text, WCHAR* wide, int units) {
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, units) != 0) return true;
    wide[0] = 0;
    return false;
}

bool WideToUtf8(const WCHAR* wide, char* text, int size) {
    // A lone surrogate (which file names may hold) fails rather than turning
    // into a replacement character that names another file.
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, text, size, nullptr, nullptr) != 0)
        return true;
    text[0] = 0;
    return false;
}

namespace {
HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
const DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Room for a full path of any length Windows takes, behind the six units
// that its prefix may need, and for a name of a folder's listing put in
// place of its last part.
const int SLOT_UNITS = 6 + WIDE_PATH_UNITS + MAX_PATH;

// The paths of one call as Windows takes them, in zero-filled memory that
// costs the program file nothing; a replacement needs three at once.
WCHAR Typed[WIDE_PATH_UNITS];
WCHAR Slots[3][SLOT_UNITS];

uint32_t WideLength(const WCHAR* text) {
    uint32_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

void WideCopy(WCHAR* dest, const WCHAR* src) {
    while ((*dest++ = *src++) != 0) {
    }
}
}  // namespace

// path (UTF-8) as a full wide path with the long-path prefix (\\?\C:\...,
// \\?\UNC\server\share\...), in slot. The prefix also turns off Windows'
// clean-up of "." and ".." parts, slashes and trailing dots and blanks, so
// GetFullPathNameW first does that clean-up as any unprefixed call would.
// A path that is not UTF-8 or too long for Windows becomes the empty path,
// which every call refuses: it fails, never cut.
WCHAR* WidePath(const char* path, int slot) {
    WCHAR* full = Slots[slot] + 6;
    // Text that is not UTF-8 leaves Typed empty, and an empty path has no
    // full form.
    Utf8ToWide(path, Typed, WIDE_PATH_UNITS);
    DWORD length = GetFullPathNameW(Typed, WIDE_PATH_UNITS, full, nullptr);
    if (length - 1 >= WIDE_PATH_UNITS - 1) {
        full[0] = 0;
        return full;
    }
    WCHAR* prefixed = full - 4;
    if (full[0] == '\\') {
        // A device or an already prefixed path stays as it is.
        if (full[2] == '?' || full[2] == '.') return full;
        // \\server\share: "\\?\UN" in front, and its first two units
        // become "C\".
        prefixed = full - 6;
        prefixed[4] = 'U';
        prefixed[5] = 'N';
        full[0] = 'C';
    }
    prefixed[0] = prefixed[1] = prefixed[3] = '\\';
    prefixed[2] = '?';
    return prefixed;
}

bool FileExists(const char* path) { return GetFileAttributesW(WidePath(path, 0)) != INVALID_FILE_ATTRIBUTES; }

void* MemAlloc(uint32_t size) { return reinterpret_cast<void*>(GlobalAlloc(GMEM_FIXED, size)); }

void MemFree(void* block) {
    if (block != nullptr) GlobalFree(reinterpret_cast<HGLOBAL>(block));
}

int MakeDirectory(const char* path) { return CreateDirectoryW(WidePath(path, 0), nullptr) ? 0 : -1; }

FileHandle FileOpen(const char* path, const char* mode) {
    DWORD access;
    DWORD creation;
    if (mode[0] == 'r') {
        access = GENERIC_READ;
        creation = OPEN_EXISTING;
    } else if (mode[0] == 'w') {
        access = GENERIC_WRITE;
        creation = CREATE_ALWAYS;
    } else {
        return FILE_NONE;
    }
    HANDLE handle = CreateFileW(WidePath(path, 0), access, SHARE_ALL, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    return reinterpret_cast<FileHandle>(handle);   // INVALID_HANDLE_VALUE is FILE_NONE
}

int64_t FileSeek(FileHandle file, int64_t distance, int origin) {
    DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER move, position;
    move.QuadPart = distance;
    return SetFilePointerEx(AsHandle(file), move, &position, method) ? position.QuadPart : -1;
}

int32_t FileRead(void* buffer, uint32_t count, FileHandle file) {
    DWORD done = 0;
    return ReadFile(AsHandle(file), buffer, count, &done, nullptr) ? int32_t(done) : -1;
}

int32_t FileWrite(const void* buffer, uint32_t count, FileHandle file) {
    DWORD done = 0;
    return WriteFile(AsHandle(file), buffer, count, &done, nullptr) ? int32_t(done) : -1;
}

int64_t FileSize(FileHandle file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(AsHandle(file), &size) ? size.QuadPart : -1;
}

int64_t FileTell(FileHandle file) { return FileSeek(file, 0, 1); }

int FileClose(FileHandle file) { return CloseHandle(AsHandle(file)) ? 0 : -1; }

int FileDelete(const char* path) { return DeleteFileW(WidePath(path, 0)) ? 0 : -1; }

FileHandle FileCreateNew(const char* path) {
    HANDLE handle = CreateFileW(WidePath(path, 0), GENERIC_WRITE, SHARE_ALL, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return reinterpret_cast<FileHandle>(handle);
}

namespace {

const DWORD PROTECTED_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The path the file system reports for what path opens (a folder too), and
// the file's record; false when either cannot be had.
bool FinalPath(const WCHAR* path, WCHAR* final, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle = CreateFileW(path, 0, SHARE_ALL | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD length = GetFinalPathNameByHandleW(handle, final, WIDE_PATH_UNITS, 0);
    bool known = length != 0 && length < WIDE_PATH_UNITS && GetFileInformationByHandle(handle, info);
    CloseHandle(handle);
    return known;
}

// True unless the file at path (its folder of folderLength units, then its
// name) is a plain file with one name: a symbolic link, a junction or a
// file with further hard links is "linked", and so is a file that cannot be
// examined. A link opens the file it points to, whose final path then is not
// the folder's final path followed by the name as the folder lists it (in
// its stored letter case, as final paths are); Wine shows symbolic links
// only that way. Taking the folder's own final path as the reference, a
// target folder reached through a link of its own counts for nothing.
// Uses the second and third slot.
bool IsLinked(WCHAR* path, uint32_t folderLength) {
    WCHAR* expected = Slots[1];
    WCHAR* file = Slots[2];
    BY_HANDLE_FILE_INFORMATION info;
    WCHAR cut = path[folderLength];
    path[folderLength] = 0;
    bool known = FinalPath(path, expected, &info);
    path[folderLength] = cut;
    if (!known || !FinalPath(path, file, &info) || info.nNumberOfLinks != 1) return true;
    uint32_t length = WideLength(expected);
    if (expected[length - 1] != '\\') expected[length++] = '\\';
    WideCopy(expected + length, path + folderLength);
    // Both texts are spelled as the file system stores the names.
    const WCHAR* a = file;
    const WCHAR* b = expected;
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a != *b;
}

// ReplaceFile gives the new content the old file's identity. The old file
// goes to the backup name on the way, so whatever step fails, every file
// is still under a name known here: a moved-away original is put back.
bool ReplaceKeepingIdentity(const WCHAR* from, const WCHAR* to, const WCHAR* backup) {
    if (ReplaceFileW(to, from, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        // The old content under the backup name; it had its marks cleared.
        DeleteFileW(backup);
        return true;
    }
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(backup, to, 0);
    return false;
}

}  // namespace

int FileReplace(const char* from, const char* to, const char* backup, bool replaceProtected) {
    WCHAR* target = WidePath(to, 0);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(target, &found);
    if (search == INVALID_HANDLE_VALUE) return MoveFileExW(WidePath(from, 1), target, 0) ? 0 : -1;
    FindClose(search);
    DWORD attributes = found.dwFileAttributes;
    DWORD protectedBits = attributes & PROTECTED_ATTRIBUTES;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || (protectedBits && !replaceProtected)) return -1;

    // The existing name in its own letter case; the slot has room for it.
    uint32_t folderLength = 0;
    for (uint32_t i = 0; target[i] != 0; ++i)
        if (target[i] == '\\') folderLength = i + 1;
    WideCopy(target + folderLength, found.cFileName);

    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsLinked(target, folderLength))
        return MoveFileExW(WidePath(from, 1), target, MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
    // Read-only, hidden and system lose their marks only now that the new
    // content is complete, and on a plain file of its own.
    if (protectedBits && !SetFileAttributesW(target, attributes & ~PROTECTED_ATTRIBUTES)) return -1;
    if (ReplaceKeepingIdentity(WidePath(from, 1), target, WidePath(backup, 2))) return 0;
    if (protectedBits) SetFileAttributesW(target, attributes);
    return -1;
}
