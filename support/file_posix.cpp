// Host back-end of the file layer: one POSIX call per operation. Paths come
// in as the engine builds them and go through HostPath before every call.
#include "support/file_layer.h"
#include "support/str_util.h"
#include "support/host_text.h"
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// Descriptors 0..2 are the console streams. A file opened while one of them
// was closed must not take its number: a zero-initialised handle field
// would then look like an open file, and a stray write could land on it.
int AwayFromConsole(int fd) {
    if (fd < 0 || fd > 2) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

}  // namespace

bool FileExists(const char* path) {
    if (path[0] == 0) return false;
    struct stat info;
    return stat(HostPath(path).c_str(), &info) == 0;
}

void* MemAlloc(uint32_t size) { return malloc(size != 0 ? size : 1); }

void MemFree(void* block) { free(block); }

int MakeDirectory(const char* path) {
    return mkdir(HostPath(path).c_str(), 0777) == 0 ? 0 : -1;
}

FileHandle FileOpen(const char* path, const char* mode) {
    int fd;
    if (mode[0] == 'r') {
        fd = open(HostPath(path).c_str(), O_RDONLY | O_CLOEXEC);
        // Windows refuses to open a directory as a file; so does this layer.
        struct stat info;
        if (fd >= 0 && (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))) {
            close(fd);
            fd = -1;
        }
    } else if (mode[0] == 'w') {
        fd = open(HostPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } else {
        return FILE_NONE;
    }
    fd = AwayFromConsole(fd);
    return fd < 0 ? FILE_NONE : FileHandle(fd);
}

int32_t FileSeek(FileHandle file, int32_t distance, int origin) {
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    off_t position = lseek(int(file), off_t(distance), whence);
    // Positions are 32-bit signed; a file position beyond 2 GiB is a failure.
    if (position < 0 || position > INT32_MAX) return -1;
    return int32_t(position);
}

int32_t FileRead(void* buffer, uint32_t count, FileHandle file) {
    ssize_t done;
    do {
        done = read(int(file), buffer, count);
    } while (done < 0 && errno == EINTR);
    return done < 0 ? -1 : int32_t(done);
}

int32_t FileWrite(const void* buffer, uint32_t count, FileHandle file) {
    ssize_t done;
    do {
        done = write(int(file), buffer, count);
    } while (done < 0 && errno == EINTR);
    return done < 0 ? -1 : int32_t(done);
}

int32_t FileSize(FileHandle file) {
    struct stat info;
    if (fstat(int(file), &info) != 0 || info.st_size > INT32_MAX) return -1;
    return int32_t(info.st_size);
}

int32_t FileTell(FileHandle file) { return FileSeek(file, 0, 1); }

int FileClose(FileHandle file) { return close(int(file)) == 0 ? 0 : -1; }

int FileDelete(const char* path) { return unlink(HostPath(path).c_str()) == 0 ? 0 : -1; }

FileHandle FileCreateTemp(const char* folder, char* tempPath) {
    static uint32_t counter;
    uint32_t folderLength = StrLength(folder);
    const uint32_t nameLength = 12;   // "sfx" + 5 hex digits + ".tmp"
    if (folderLength + nameLength >= 264) return FILE_NONE;
    uint32_t seed = uint32_t(getpid()) * 2654435761u ^ uint32_t(time(nullptr));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        uint32_t unique = (seed + ++counter * 40503u) & 0xFFFFF;
        char name[16] = "sfx";
        for (int i = 0; i < 5; ++i) name[3 + i] = "0123456789ABCDEF"[(unique >> (16 - 4 * i)) & 0xF];
        StrCopy(name + 8, ".tmp");
        StrCopy(tempPath, folder);
        StrAppend(tempPath, name);
        // O_EXCL makes the name ours: an existing file is never reused.
        int fd = open(HostPath(tempPath).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd = AwayFromConsole(fd);
            if (fd >= 0) return FileHandle(fd);
            unlink(HostPath(tempPath).c_str());
            break;
        }
        if (errno != EEXIST) break;
    }
    tempPath[0] = 0;
    return FILE_NONE;
}

// A file without write permission counts as read-only and is not replaced,
// as on Windows, although rename() would replace it.
int FileReplace(const char* from, const char* to) {
    std::string target = HostPath(to);
    struct stat st;
    if (lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return -1;
    return rename(HostPath(from).c_str(), target.c_str()) == 0 ? 0 : -1;
}
