// Windows side of the builder's system layer (ANSI paths).
#include "tools/mksfx/host/host_system.h"
#include "tools/mksfx/input/entry_names.h"

#include <windows.h>
#include <io.h>
#include <process.h>
#include <stdio.h>

namespace {

std::string SystemError(const std::string& what) {
    char text[512];
    DWORD code = GetLastError();
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                             0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
    return what + ": " + (n ? std::string(text, n) : "error " + std::to_string(code));
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// File times count 100-nanosecond ticks from 1601-01-01 UTC.
const uint64_t TICKS_PER_SECOND = 10000000;
const int64_t SECONDS_1601_TO_1970 = 11644473600ll;
const int64_t LAST_DOS_YEAR_END = 4354819200ll;     // 2108-01-01 00:00 UTC

}  // namespace

bool UnixTimeToDos(int64_t when, uint16_t* dosDate, uint16_t* dosTime) {
    *dosDate = 0x21;     // 1980-01-01 00:00, the first DOS time
    *dosTime = 0;
    if (when < 0) return false;
    uint64_t ticks = (uint64_t(when) + SECONDS_1601_TO_1970) * TICKS_PER_SECOND;
    FILETIME utc = {DWORD(ticks), DWORD(ticks >> 32)};
    FILETIME local;
    WORD date, time;
    if (!FileTimeToLocalFileTime(&utc, &local)) return false;
    if (!FileTimeToDosDateTime(&local, &date, &time)) {
        if (when < LAST_DOS_YEAR_END) return false;
        date = (127 << 9) | (12 << 5) | 31;     // after 2107: the last DOS time
        time = (23 << 11) | (59 << 5) | 29;
    }
    *dosDate = date;
    *dosTime = time;
    return true;
}

bool GetPathFacts(const std::string& path, PathFacts* facts, std::string* error) {
    facts->kind = PATH_MISSING;
    facts->size = 0;
    facts->modified = 0;
    facts->dosDate = facts->dosTime = 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
        *error = SystemError(path);
        return false;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) facts->kind = PATH_FOLDER;
    else if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) facts->kind = PATH_OTHER;
    else facts->kind = PATH_FILE;
    facts->size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    uint64_t ticks = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    facts->modified = int64_t(ticks / TICKS_PER_SECOND) - SECONDS_1601_TO_1970;
    UnixTimeToDos(facts->modified, &facts->dosDate, &facts->dosTime);
    return true;
}

bool ListFolder(const std::string& path, std::vector<std::string>* names, std::string* error) {
    names->clear();
    std::string pattern = path;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        *error = SystemError(path);
        return false;
    }
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names->push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

char NativeSeparator() { return '\\'; }

bool NativeToUnicode(const std::string& native, std::u32string* text) {
    text->clear();
    if (native.empty()) return true;
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, native.data(), int(native.size()), nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, native.data(), int(native.size()), &wide[0], n);
    for (wchar_t c : wide) text->push_back(char32_t(c));
    return true;
}

bool NativeToAnsi(const std::string& native, std::string* ansi) {
    std::u32string text;
    return NativeToUnicode(native, &text) && ToCp1252(text, ansi);
}

FILE* CreateTempBeside(const std::string& beside, std::string* path, std::string* error) {
    std::string folder = FolderOf(beside);
    char name[MAX_PATH];
    if (!GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "mks", 0, name)) {
        *error = SystemError("cannot create a temporary file in " + (folder.empty() ? "." : folder));
        return nullptr;
    }
    *path = name;
    FILE* file = fopen(name, "w+b");
    if (!file) {
        *error = SystemError(*path);
        DeleteFileA(name);
    }
    return file;
}

bool CreateScratchFolder(std::string* path, std::string* error) {
    char base[MAX_PATH];
    char name[MAX_PATH];
    DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n >= sizeof base || !GetTempFileNameA(base, "mkc", 0, name)) {
        *error = SystemError("cannot create a scratch folder");
        return false;
    }
    // GetTempFileNameA reserved the name as a file; the folder takes its place.
    DeleteFileA(name);
    if (!CreateDirectoryA(name, nullptr)) {
        *error = SystemError("cannot create a scratch folder");
        return false;
    }
    *path = std::string(name) + "\\";
    return true;
}

void RemoveTree(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(folder.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        std::vector<std::string> names;
        std::string ignored;
        if (ListFolder(folder, &names, &ignored))
            for (const std::string& name : names) RemoveTree(folder + "\\" + name);
        RemoveDirectoryA(folder.c_str());
    } else {
        DeleteFileA(folder.c_str());
    }
}

bool TruncateOpenFile(FILE* file, uint64_t length) {
    return fflush(file) == 0 && _chsize_s(_fileno(file), int64_t(length)) == 0;
}

bool PutFileInPlace(const std::string& from, const std::string& to, std::string* error) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    *error = SystemError("cannot put the program file in place as " + to);
    return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return std::string();
    return FolderOf(std::string(path, n));
}

int ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 1 ? 1 : int(info.dwNumberOfProcessors);
}

namespace {
struct ThreadCall {
    void (*work)(void*);
    void* context;
};
unsigned __stdcall ThreadMain(void* call) {
    ThreadCall* c = static_cast<ThreadCall*>(call);
    c->work(c->context);
    return 0;
}
}  // namespace

void RunOnThreads(int count, void (*work)(void*), void* context) {
    ThreadCall call{work, context};
    std::vector<HANDLE> threads;
    for (int i = 1; i < count; ++i) {
        // Through the C runtime, since the work uses it (files, memory).
        HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadMain, &call, 0, nullptr));
        if (!thread) break;
        threads.push_back(thread);
    }
    work(context);
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

namespace {
unsigned __stdcall OwnThreadMain(void* thread) {
    HostThread* t = static_cast<HostThread*>(thread);
    t->work(t->context);
    return 0;
}
// A critical section and an auto-reset event per side, which every Windows
// has (condition variables came with Vista): a wake that comes before its
// thread waits stays set until it does, and no thread takes the other's.
struct LatchState {
    CRITICAL_SECTION lock;
    HANDLE wake[2];
};
LatchState* StateOf(HostLatch* latch) { return static_cast<LatchState*>(latch->state); }
}  // namespace

bool StartThread(HostThread* thread, void (*work)(void*), void* context) {
    thread->work = work;
    thread->context = context;
    // Through the C runtime, since the work uses it (memory).
    thread->handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, OwnThreadMain, thread, 0, nullptr));
    return thread->handle != nullptr;
}

void JoinThread(HostThread* thread) {
    if (!thread->handle) return;
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    thread->handle = nullptr;
}

bool LatchInit(HostLatch* latch) {
    LatchState* state = new LatchState;
    state->wake[0] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    state->wake[1] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!state->wake[0] || !state->wake[1]) {
        if (state->wake[0]) CloseHandle(state->wake[0]);
        if (state->wake[1]) CloseHandle(state->wake[1]);
        delete state;
        return false;
    }
    InitializeCriticalSection(&state->lock);
    latch->state = state;
    return true;
}

void LatchEnd(HostLatch* latch) {
    LatchState* state = StateOf(latch);
    if (!state) return;
    DeleteCriticalSection(&state->lock);
    CloseHandle(state->wake[0]);
    CloseHandle(state->wake[1]);
    delete state;
    latch->state = nullptr;
}

void LatchLock(HostLatch* latch) { EnterCriticalSection(&StateOf(latch)->lock); }
void LatchUnlock(HostLatch* latch) { LeaveCriticalSection(&StateOf(latch)->lock); }
void LatchWait(HostLatch* latch, int side) {
    LeaveCriticalSection(&StateOf(latch)->lock);
    WaitForSingleObject(StateOf(latch)->wake[side & 1], INFINITE);
    EnterCriticalSection(&StateOf(latch)->lock);
}
void LatchWake(HostLatch* latch, int side) { SetEvent(StateOf(latch)->wake[side & 1]); }
