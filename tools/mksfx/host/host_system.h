// The few things the builder needs of the operating system: folder listing,
// file facts with DOS times, temporary files and the final rename, the
// terminal and its own location. POSIX: host_system_posix.cpp; Windows (ANSI
// paths): host_system_win32.cpp.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

enum PathKind { PATH_MISSING, PATH_FILE, PATH_FOLDER, PATH_OTHER };

struct PathFacts {
    PathKind kind;
    uint64_t size;
    int64_t modified;       // last modification, seconds since 1970-01-01 UTC
    uint16_t dosDate;       // the same in local time, DOS format
    uint16_t dosTime;
};

// A time in seconds since 1970-01-01 UTC as DOS date and time in local time
// (two-second steps, rounded down). Times before 1980 give 1980-01-01 00:00
// and false; times after 2107 give the last DOS time.
bool UnixTimeToDos(int64_t when, uint16_t* dosDate, uint16_t* dosTime);

// Facts of a path, following symbolic links. false with *error on failure
// (a missing path is no failure: kind PATH_MISSING).
bool GetPathFacts(const std::string& path, PathFacts* facts, std::string* error);
// Names in a folder, without "." and "..", in no particular order.
bool ListFolder(const std::string& path, std::vector<std::string>* names, std::string* error);
// The path separator of the platform's own paths.
char NativeSeparator();
// A name as the platform gives it (UTF-8 on POSIX, the ANSI code page on
// Windows) as Unicode; false when it cannot be decoded.
bool NativeToUnicode(const std::string& native, std::u32string* text);
// Text typed by the user on the command line as Windows code page 1252, the
// code page the stub reads its configuration and passwords in.
bool NativeToAnsi(const std::string& native, std::string* ansi);

// Creates a new, uniquely named file in the folder of 'beside' and opens it for
// writing; *path receives its name.
FILE* CreateTempBeside(const std::string& beside, std::string* path, std::string* error);
// Creates a new empty folder for scratch work; *path receives its name (with
// a trailing separator).
bool CreateScratchFolder(std::string* path, std::string* error);
// Removes a folder with everything below it; best effort.
void RemoveTree(const std::string& path);
// Cuts an open file to length bytes.
bool TruncateOpenFile(FILE* file, uint64_t length);
// Puts 'from' in place of 'to', replacing an existing file in one step.
bool PutFileInPlace(const std::string& from, const std::string& to, std::string* error);
bool RemoveFile(const std::string& path);

bool StderrIsTerminal();
// The folder of the running program, with a trailing separator, or "".
std::string ProgramFolder();
// The number of processors the builder may keep busy (at least 1).
int ProcessorCount();
// Calls work(context) on 'count' threads at once, the calling thread being
// one of them, and returns when every call has returned. When the platform
// refuses further threads, fewer calls run; work must not depend on how many.
void RunOnThreads(int count, void (*work)(void*), void* context);

// A thread beside the caller's, for work handed over piece by piece (the
// LZMA match finder): StartThread calls work(context) on it, false when the
// platform refuses the thread; JoinThread waits until that call returns.
struct HostThread {
    void (*work)(void*);
    void* context;
    void* handle;
};
bool StartThread(HostThread* thread, void (*work)(void*), void* context);
void JoinThread(HostThread* thread);

// A lock with a wake-up, for two threads handing each other work, each
// known by its side (0 or 1). LatchWait, called with the lock held, lets go
// of it until the other thread calls LatchWake for this side (or
// spuriously) and takes it again: callers check what they wait for in a
// loop. A wake that comes before its thread waits is kept.
struct HostLatch {
    void* state;
};
bool LatchInit(HostLatch* latch);
void LatchEnd(HostLatch* latch);
void LatchLock(HostLatch* latch);
void LatchUnlock(HostLatch* latch);
void LatchWait(HostLatch* latch, int side);
void LatchWake(HostLatch* latch, int side);
