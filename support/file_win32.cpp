// Win32 back-end of the file layer: each operation is one kernel32 call.
#include "support/file_layer.h"
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

int32_t FileSeek(FileHandle file, int32_t distance, int origin) {
    DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
    DWORD position = SetFilePointer(AsHandle(file), distance, nullptr, method);
    return position == INVALID_SET_FILE_POINTER ? -1 : int32_t(position);
}

int32_t FileRead(void* buffer, uint32_t count, FileHandle file) {
    DWORD done = 0;
    return ReadFile(AsHandle(file), buffer, count, &done, nullptr) ? int32_t(done) : -1;
}

int32_t FileWrite(const void* buffer, uint32_t count, FileHandle file) {
    DWORD done = 0;
    return WriteFile(AsHandle(file), buffer, count, &done, nullptr) ? int32_t(done) : -1;
}

int32_t FileSize(FileHandle file) {
    DWORD size = GetFileSize(AsHandle(file), nullptr);
    return size == INVALID_FILE_SIZE ? -1 : int32_t(size);
}

int32_t FileTell(FileHandle file) { return FileSeek(file, 0, 1); }

int FileClose(FileHandle file) { return CloseHandle(AsHandle(file)) ? 0 : -1; }

int FileDelete(const char* path) { return DeleteFileA(path) ? 0 : -1; }

FileHandle FileCreateTemp(const char* folder, char* tempPath) {
    // GetTempFileNameA creates the file under a name nobody else holds.
    if (GetTempFileNameA(folder[0] != 0 ? folder : ".", "sfx", 0, tempPath) == 0) {
        tempPath[0] = 0;
        return FILE_NONE;
    }
    HANDLE handle = CreateFileA(tempPath, GENERIC_WRITE, kShare, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DeleteFileA(tempPath);
        tempPath[0] = 0;
        return FILE_NONE;
    }
    return reinterpret_cast<FileHandle>(handle);
}

// A read-only, hidden or system file is never replaced: that is what creating
// a file over it would refuse, and Windows lets the move replace a hidden or
// system file (Wine, run as root, even a read-only one). A folder of that name
// makes the move itself fail.
int FileReplace(const char* from, const char* to) {
    DWORD attributes = GetFileAttributesA(to);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return -1;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
}
