// Shared helpers of the engine tests: run a self-extractor image through the
// whole extraction, and read back what it wrote.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <time.h>
#include <string>
#include <vector>
#include "archive/archive_state.h"
#include "engine/extract_run.h"
#include "support/zip_writer.h"
#include "support/test_front_end.h"

// Writes the image as dir/prog.exe and extracts it into target.
inline int RunImage(const TempDir& dir, const std::string& image, const std::string& target,
                    const char* command = "") {
    WriteFileBytes(dir.File("prog.exe"), image);
    return ExtractArchive(dir.File("prog.exe").c_str(), target.c_str(), command);
}

inline std::string Image(const std::vector<ZipEntrySpec>& entries, const std::string& command = "") {
    ZipImageOptions options;
    options.prefix = MakeStubPrefix("", command);
    return BuildZipImage(entries, options);
}

inline ZipEntrySpec Stored(const std::string& name, const std::string& data) {
    ZipEntrySpec e;
    e.name = name;
    e.data = data;
    return e;
}

// The local time a DOS date and time stand for, as the file system holds it.
inline time_t DosToTime(uint16_t date, uint16_t time) {
    struct tm t = {};
    t.tm_year = ((date >> 9) & 0x7F) + 80;
    t.tm_mon = ((date >> 5) & 0x0F) - 1;
    t.tm_mday = date & 0x1F;
    t.tm_hour = (time >> 11) & 0x1F;
    t.tm_min = (time >> 5) & 0x3F;
    t.tm_sec = (time & 0x1F) * 2;
    t.tm_isdst = -1;
    return mktime(&t);
}

inline time_t ModTime(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return (time_t)-1;
    return st.st_mtime;
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Test data that differs at every position, so that a lost, doubled or
// shifted chunk shows.
inline std::string Pattern(size_t size, uint32_t seed = 1) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = char(x >> 23);
    }
    return s;
}

inline int AnswerSecret(char* password, const char*) {
    strcpy(password, "secret");
    return 1;
}

// The configured command makes the target folder current; the tests put the
// previous folder back, since their target folders vanish after each test.
struct KeepCurrentFolder {
    char saved[4096];
    bool ok;
    KeepCurrentFolder() { ok = getcwd(saved, sizeof saved) != nullptr; }
    ~KeepCurrentFolder() { if (ok && chdir(saved) != 0) ok = false; }
};
