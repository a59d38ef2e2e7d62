// POSIX side of the builder's system layer.
#include "tools/mksfx/host/host_system.h"
#include "tools/mksfx/input/entry_names.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + strerror(errno);
}

}  // namespace

bool UnixTimeToDos(int64_t when, uint16_t* dosDate, uint16_t* dosTime) {
    struct tm local;
    time_t t = time_t(when);
    if (!localtime_r(&t, &local) || local.tm_year < 80) {
        *dosDate = (0 << 9) | (1 << 5) | 1;
        *dosTime = 0;
        return false;
    }
    if (local.tm_year > 207) {
        *dosDate = uint16_t((127 << 9) | (12 << 5) | 31);
        *dosTime = uint16_t((23 << 11) | (59 << 5) | 29);
        return true;
    }
    *dosDate = uint16_t(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    *dosTime = uint16_t((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return true;
}

bool GetPathFacts(const std::string& path, PathFacts* facts, std::string* error) {
    struct stat info;
    facts->kind = PATH_MISSING;
    facts->size = 0;
    facts->modified = 0;
    facts->dosDate = facts->dosTime = 0;
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return true;
        *error = SystemError(path);
        return false;
    }
    if (S_ISREG(info.st_mode)) facts->kind = PATH_FILE;
    else if (S_ISDIR(info.st_mode)) facts->kind = PATH_FOLDER;
    else facts->kind = PATH_OTHER;
    facts->size = uint64_t(info.st_size);
    facts->modified = int64_t(info.st_mtime);
    UnixTimeToDos(facts->modified, &facts->dosDate, &facts->dosTime);
    return true;
}

bool ListFolder(const std::string& path, std::vector<std::string>* names, std::string* error) {
    names->clear();
    DIR* dir = opendir(path.c_str());
    if (!dir) {
        *error = SystemError(path);
        return false;
    }
    while (struct dirent* item = readdir(dir)) {
        std::string name = item->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    closedir(dir);
    return true;
}

char NativeSeparator() { return '/'; }

bool NativeToUnicode(const std::string& native, std::u32string* text) {
    return DecodeUtf8(native, text);
}

bool NativeToAnsi(const std::string& native, std::string* ansi) {
    std::u32string text;
    return DecodeUtf8(native, &text) && ToCp1252(text, ansi);
}

FILE* CreateTempBeside(const std::string& beside, std::string* path, std::string* error) {
    size_t slash = beside.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : beside.substr(0, slash + 1);
    std::string pattern = folder + ".mksfx-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    int fd = mkstemp(buffer.data());
    if (fd < 0) {
        *error = SystemError("cannot create a temporary file in " + (folder.empty() ? "." : folder));
        return nullptr;
    }
    // mkstemp makes the file private (0600); the finished program should carry
    // the usual permissions, as any newly created file would.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0777 & ~mask);
    *path = buffer.data();
    FILE* file = fdopen(fd, "w+b");
    if (!file) {
        *error = SystemError(*path);
        close(fd);
        unlink(path->c_str());
    }
    return file;
}

bool CreateScratchFolder(std::string* path, std::string* error) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/mksfx-check-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!mkdtemp(buffer.data())) {
        *error = SystemError("cannot create a scratch folder");
        return false;
    }
    *path = std::string(buffer.data()) + "/";
    return true;
}

void RemoveTree(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat info;
    if (lstat(folder.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) {
        std::vector<std::string> names;
        std::string ignored;
        if (ListFolder(folder, &names, &ignored))
            for (const std::string& name : names) RemoveTree(folder + "/" + name);
        rmdir(folder.c_str());
    } else {
        unlink(folder.c_str());
    }
}

bool TruncateOpenFile(FILE* file, uint64_t length) {
    return fflush(file) == 0 && ftruncate(fileno(file), off_t(length)) == 0;
}

bool PutFileInPlace(const std::string& from, const std::string& to, std::string* error) {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    *error = SystemError("cannot put the program file in place as " + to);
    return false;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool StderrIsTerminal() { return isatty(2) != 0; }

std::string ProgramFolder() {
    char buffer[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return std::string();
    std::string path(buffer, size_t(n));
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int ProcessorCount() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : int(n);
}

namespace {
struct ThreadCall {
    void (*work)(void*);
    void* context;
};
void* ThreadMain(void* call) {
    ThreadCall* c = static_cast<ThreadCall*>(call);
    c->work(c->context);
    return nullptr;
}
}  // namespace

void RunOnThreads(int count, void (*work)(void*), void* context) {
    ThreadCall call{work, context};
    std::vector<pthread_t> threads;
    for (int i = 1; i < count; ++i) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, ThreadMain, &call) != 0) break;
        threads.push_back(thread);
    }
    work(context);
    for (pthread_t thread : threads) pthread_join(thread, nullptr);
}

namespace {
void* OwnThreadMain(void* thread) {
    HostThread* t = static_cast<HostThread*>(thread);
    t->work(t->context);
    return nullptr;
}
struct LatchState {
    pthread_mutex_t mutex;
    pthread_cond_t wake;
};
LatchState* StateOf(HostLatch* latch) { return static_cast<LatchState*>(latch->state); }
}  // namespace

bool StartThread(HostThread* thread, void (*work)(void*), void* context) {
    thread->work = work;
    thread->context = context;
    pthread_t* handle = new pthread_t;
    if (pthread_create(handle, nullptr, OwnThreadMain, thread) != 0) {
        delete handle;
        thread->handle = nullptr;
        return false;
    }
    thread->handle = handle;
    return true;
}

void JoinThread(HostThread* thread) {
    pthread_t* handle = static_cast<pthread_t*>(thread->handle);
    if (!handle) return;
    pthread_join(*handle, nullptr);
    delete handle;
    thread->handle = nullptr;
}

bool LatchInit(HostLatch* latch) {
    LatchState* state = new LatchState;
    if (pthread_mutex_init(&state->mutex, nullptr) != 0) {
        delete state;
        return false;
    }
    if (pthread_cond_init(&state->wake, nullptr) != 0) {
        pthread_mutex_destroy(&state->mutex);
        delete state;
        return false;
    }
    latch->state = state;
    return true;
}

void LatchEnd(HostLatch* latch) {
    LatchState* state = StateOf(latch);
    if (!state) return;
    pthread_cond_destroy(&state->wake);
    pthread_mutex_destroy(&state->mutex);
    delete state;
    latch->state = nullptr;
}

void LatchLock(HostLatch* latch) { pthread_mutex_lock(&StateOf(latch)->mutex); }
void LatchUnlock(HostLatch* latch) { pthread_mutex_unlock(&StateOf(latch)->mutex); }
// One condition for both sides: the waiter checks its own condition.
void LatchWait(HostLatch* latch, int) { pthread_cond_wait(&StateOf(latch)->wake, &StateOf(latch)->mutex); }
void LatchWake(HostLatch* latch, int) { pthread_cond_broadcast(&StateOf(latch)->wake); }
