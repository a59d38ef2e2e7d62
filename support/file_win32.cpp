// Win32 back-end of the file layer: each operation is one kernel32 call,
// but for the replacement of an existing file, which has more to look after.
#include "support/file_layer.h"
#include "support/str_util.h"
#include <windows.h>

namespace {
HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
const DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
}  // namespace

bool FileExists(const char* path) {
    if (path[0] == 0) return false;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void* MemAlloc(uint32_t size) { return reinterpret_cast<void*>(GlobalAlloc(GMEM_FIXED, size)); }

void MemFree(void* block) {
    if (block != nullptr) GlobalFree(reinterpret_cast<HGLOBAL>(block));
}

int MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) ? 0 : -1; }

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
    HANDLE handle = CreateFileA(path, access, kShare, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
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

int FileDelete(const char* path) { return DeleteFileA(path) ? 0 : -1; }

FileHandle FileCreateNew(const char* path) {
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, kShare, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return reinterpret_cast<FileHandle>(handle);
}

namespace {

const DWORD kProtected = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

const DWORD kFinalPathSize = 600;

// The path the file system reports for what path opens (a folder too), and
// the file's record; false when either cannot be had.
bool FinalPath(const char* path, char* final, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle = CreateFileA(path, 0, kShare | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD length = GetFinalPathNameByHandleA(handle, final, kFinalPathSize / 2, 0);
    bool known = length != 0 && length < kFinalPathSize / 2 && GetFileInformationByHandle(handle, info);
    CloseHandle(handle);
    return known;
}

// True unless the file at path (its folder of folderLength characters, then
// its name) is a plain file with one name: a symbolic link, a junction or a
// file with further hard links is "linked", and so is a file that cannot be
// examined. A link opens the file it points to, whose final path then is not
// the folder's final path followed by the name as the folder lists it (in
// its stored letter case, as final paths are); Wine shows symbolic links
// only that way. Taking the folder's own final path as the reference, a
// target folder reached through a link of its own counts for nothing.
bool IsLinked(char* path, uint32_t folderLength) {
    char file[kFinalPathSize];
    char expected[kFinalPathSize];
    BY_HANDLE_FILE_INFORMATION info;
    char cut = path[folderLength];
    path[folderLength] = 0;
    bool known = FinalPath(folderLength ? path : ".", expected, &info);
    path[folderLength] = cut;
    if (!known || !FinalPath(path, file, &info) || info.nNumberOfLinks != 1) return true;
    uint32_t length = StrLength(expected);
    if (expected[length - 1] != '\\') expected[length++] = '\\';
    StrCopy(expected + length, path + folderLength);
    // Both texts are spelled as the file system stores the names.
    const char* a = file;
    const char* b = expected;
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a != *b;
}

// ReplaceFile gives the new content the old file's identity. The old file
// goes to the backup name on the way, so whatever step fails, every file
// is still under a name known here: a moved-away original is put back.
bool ReplaceKeepingIdentity(const char* from, const char* to, const char* backup) {
    if (ReplaceFileA(to, from, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        // The old content under the backup name; it had its marks cleared.
        DeleteFileA(backup);
        return true;
    }
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExA(backup, to, 0);
    return false;
}

}  // namespace

int FileReplace(const char* from, const char* to, const char* backup, bool replaceProtected) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(to, &found);
    if (search == INVALID_HANDLE_VALUE) return MoveFileExA(from, to, 0) ? 0 : -1;
    FindClose(search);
    DWORD attributes = found.dwFileAttributes;
    DWORD protectedBits = attributes & kProtected;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || (protectedBits && !replaceProtected)) return -1;

    // The existing name in its own letter case.
    char existing[264];
    uint32_t folderLength = 0;
    for (uint32_t i = 0; to[i] != 0; ++i)
        if (to[i] == '\\') folderLength = i + 1;
    if (folderLength + StrLength(found.cFileName) >= sizeof existing) return -1;
    MemCopy(existing, to, folderLength);
    StrCopy(existing + folderLength, found.cFileName);

    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsLinked(existing, folderLength))
        return MoveFileExA(from, existing, MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
    // Read-only, hidden and system lose their marks only now that the new
    // content is complete, and on a plain file of its own.
    if (protectedBits && !SetFileAttributesA(existing, attributes & ~kProtected)) return -1;
    if (ReplaceKeepingIdentity(from, existing, backup)) return 0;
    if (protectedBits) SetFileAttributesA(existing, attributes);
    return -1;
}
