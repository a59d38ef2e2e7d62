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

int64_t FileSeek(FileHandle file, int64_t distance, int origin) {
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    off_t position = lseek(int(file), off_t(distance), whence);
    return position < 0 ? -1 : int64_t(position);
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

int64_t FileSize(FileHandle file) {
    struct stat info;
    if (fstat(int(file), &info) != 0) return -1;
    return int64_t(info.st_size);
}

int64_t FileTell(FileHandle file) { return FileSeek(file, 0, 1); }

int FileClose(FileHandle file) { return close(int(file)) == 0 ? 0 : -1; }

int FileDelete(const char* path) { return unlink(HostPath(path).c_str()) == 0 ? 0 : -1; }

FileHandle FileCreateNew(const char* path) {
    // O_EXCL: an existing file (or a link of that name) is never opened.
    int fd = open(HostPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return FILE_NONE;
    int moved = AwayFromConsole(fd);
    if (moved < 0) unlink(HostPath(path).c_str());
    return moved < 0 ? FILE_NONE : FileHandle(moved);
}

// rename() replaces the name alone: a symbolic link is replaced, never
// followed, and the other names of a file keep it. A file without write
// permission counts as read-only. There is nothing more of a file's identity
// to keep here. The backup name is not needed.
int FileReplace(const char* from, const char* to, const char*, bool replaceProtected) {
    std::string target = HostPath(to);
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return -1;
        if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR) && !replaceProtected) return -1;
    }
    return rename(HostPath(from).c_str(), target.c_str()) == 0 ? 0 : -1;
}
