// Small helpers shared by the fuzz targets: scratch folders, tree snapshots,
// invariant checks that abort with a message, in-memory files.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <signal.h>
#include <functional>
#include <map>
#include <string>

#define FUZZ_CHECK(cond, ...)                                        \
    do {                                                             \
        if (!(cond)) {                                               \
            fprintf(stderr, "fuzz invariant broken: %s\n  ", #cond); \
            fprintf(stderr, __VA_ARGS__);                            \
            fprintf(stderr, "\n");                                   \
            abort();                                                 \
        }                                                            \
    } while (0)

namespace fuzzutil {

inline void RemoveTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* ent = readdir(d)) {
                std::string n = ent->d_name;
                if (n != "." && n != "..") RemoveTree(path + "/" + n);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

inline std::string ReadWhole(const std::string& path) {
    std::string out;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return "<unreadable>";
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    close(fd);
    return out;
}

// What a tree holds: relative path -> "d" for a folder, "f<size>:<hash>" for a
// file, "l" for anything else. Folders under `skip` (relative) are left out.
typedef std::map<std::string, std::string> Tree;

inline void Walk(const std::string& root, const std::string& rel, const std::string& skip, Tree& out) {
    std::string dir = rel.empty() ? root : root + "/" + rel;
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* ent = readdir(d)) {
        std::string n = ent->d_name;
        if (n == "." || n == "..") continue;
        std::string r = rel.empty() ? n : rel + "/" + n;
        if (!skip.empty() && r == skip) continue;
        struct stat st;
        if (lstat((root + "/" + r).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            out[r] = "d";
            Walk(root, r, skip, out);
        } else if (S_ISREG(st.st_mode)) {
            std::string content = ReadWhole(root + "/" + r);
            out[r] = "f" + std::to_string(content.size()) + ":" + std::to_string(std::hash<std::string>()(content));
        } else {
            out[r] = "l";
        }
    }
    closedir(d);
}

inline Tree Snapshot(const std::string& root, const std::string& skip = "") {
    Tree t;
    Walk(root, "", skip, t);
    return t;
}

inline std::string Describe(const Tree& before, const Tree& after) {
    std::string s;
    for (auto& kv : after) {
        auto it = before.find(kv.first);
        if (it == before.end()) s += "  new: " + kv.first + "\n";
        else if (it->second != kv.second) s += "  changed: " + kv.first + "\n";
    }
    for (auto& kv : before)
        if (!after.count(kv.first)) s += "  gone: " + kv.first + "\n";
    return s;
}

inline int CountOpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* ent = readdir(d)) n += ent->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// A scratch folder of this process, removed at exit.
inline const std::string& ScratchRoot(const char* tag) {
    static std::string root;
    if (root.empty()) {
        char pattern[128];
        snprintf(pattern, sizeof pattern, "/tmp/sfxfuzz-%s.XXXXXX", tag);
        const char* made = mkdtemp(pattern);
        if (!made) abort();
        root = made;
        atexit([] { RemoveTree(root); });
    }
    return root;
}

inline void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) abort();
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) abort();
        done += size_t(n);
    }
    close(fd);
}

// An anonymous in-memory file holding the bytes, positioned at its start.
inline int MemoryFile(const uint8_t* data, size_t size) {
    int fd = memfd_create("sfxfuzz", 0);
    if (fd < 0) abort();
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) abort();
        done += size_t(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

// Files the code under test writes stay small: a larger write fails like a
// full disk (EFBIG) instead of filling it.
inline void LimitFileSize(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &lim);
}

}  // namespace fuzzutil
