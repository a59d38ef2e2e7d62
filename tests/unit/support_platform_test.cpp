// Host back-end of the platform layer: file times in the local zone, code
// page conversions of entry names, the recorded command.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <string>
#include "support/file_layer.h"
#include "support/host_text.h"
#include "support/platform.h"
#include "support/zip_writer.h"

namespace {

uint16_t DosDate(int y, int m, int d) { return uint16_t(((y - 1980) << 9) | (m << 5) | d); }
uint16_t DosTime(int h, int mi, int s) { return uint16_t((h << 11) | (mi << 5) | (s / 2)); }

time_t ModificationTime(const std::string& path) {
    struct stat info;
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    return info.st_mtime;
}

// Sets a file's time from a DOS date and time and returns its mtime.
time_t StampFile(const TempDir& dir, uint16_t date, uint16_t time, uint32_t* result) {
    std::string path = dir.File("f");
    FileHandle f = FileOpen(path.c_str(), "wb");
    EXPECT_NE(f, FILE_NONE);
    *result = SetFileDosTime(f, date, time);
    FileClose(f);
    return ModificationTime(path);
}

// Runs a block with TZ set, and puts the old zone back afterwards.
struct ZoneScope {
    std::string old;
    bool had;
    explicit ZoneScope(const char* zone) {
        const char* o = getenv("TZ");
        had = o != nullptr;
        if (had) old = o;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (had) setenv("TZ", old.c_str(), 1); else unsetenv("TZ");
        tzset();
    }
};

TEST(SetFileDosTime, TakesDosTimeAsLocalTime) {
    TempDir dir;
    uint32_t result = 1;
    time_t got = StampFile(dir, 0x5A87, 0x6C21, &result);   // 2025-04-07 13:33:02
    EXPECT_EQ(result, 0u);
    struct tm local = {};
    local.tm_year = 125;
    local.tm_mon = 3;
    local.tm_mday = 7;
    local.tm_hour = 13;
    local.tm_min = 33;
    local.tm_sec = 2;
    local.tm_isdst = -1;
    EXPECT_EQ(got, mktime(&local));
}

TEST(SetFileDosTime, FollowsTheZoneIncludingSummerTime) {
    TempDir dir;
    ZoneScope zone("Europe/Berlin");
    uint32_t result = 1;
    // Summer: CEST, two hours ahead of UTC.
    time_t got = StampFile(dir, DosDate(2025, 4, 7), DosTime(13, 33, 2), &result);
    EXPECT_EQ(result, 0u);
    struct tm utc = {};
    utc.tm_year = 125; utc.tm_mon = 3; utc.tm_mday = 7; utc.tm_hour = 11; utc.tm_min = 33; utc.tm_sec = 2;
    EXPECT_EQ(got, timegm(&utc));
    // Winter: CET, one hour ahead.
    got = StampFile(dir, DosDate(2024, 1, 15), DosTime(10, 0, 58), &result);
    EXPECT_EQ(result, 0u);
    struct tm utc2 = {};
    utc2.tm_year = 124; utc2.tm_mon = 0; utc2.tm_mday = 15; utc2.tm_hour = 9; utc2.tm_min = 0; utc2.tm_sec = 58;
    EXPECT_EQ(got, timegm(&utc2));
}

TEST(SetFileDosTime, InvalidDosValuesFailAndLeaveTheTime) {
    TempDir dir;
    std::string path = dir.File("f");
    WriteFileBytes(path, "x");
    time_t before = ModificationTime(path);
    FileHandle f = FileOpen(path.c_str(), "rb");
    ASSERT_NE(f, FILE_NONE);
    EXPECT_NE(SetFileDosTime(f, DosDate(2020, 13, 1), DosTime(1, 0, 0)), 0u);
    EXPECT_NE(SetFileDosTime(f, DosDate(2020, 1, 0), DosTime(1, 0, 0)), 0u);
    EXPECT_NE(SetFileDosTime(f, DosDate(2020, 1, 1), uint16_t(24 << 11)), 0u);
    FileClose(f);
    EXPECT_EQ(ModificationTime(path), before);
}

TEST(OemToAnsi, Cp850To1252) {
    char out[256];
    OemToAnsi("Gr\x81\xE1" "e \x84\x94\x8E\x99\x9A", out);     // Grüße äöÄÖÜ
    EXPECT_STREQ(out, "Gr\xFC\xDF" "e \xE4\xF6\xC4\xD6\xDC");
    OemToAnsi("a\xC4z\xB3", out);            // box drawing has no 1252 form
    EXPECT_STREQ(out, "a?z?");
    OemToAnsi("plain/ascii.txt", out);
    EXPECT_STREQ(out, "plain/ascii.txt");
    OemToAnsi("\xD5", out);                   // dotless i
    EXPECT_STREQ(out, "?");
}

TEST(Utf8ToAnsi, MapsTo1252AndMarksWhatItLacks) {
    char out[256];
    Utf8ToAnsi("\xC3\xA4" "bc \xE2\x82\xAC", out, sizeof out);   // "äbc €"
    EXPECT_STREQ(out, "\xE4" "bc \x80");
    Utf8ToAnsi("\xC5\x91", out, sizeof out);                      // ő: not in 1252
    EXPECT_STREQ(out, "?");
    Utf8ToAnsi("a\xF0\x9F\x98\x80" "b", out, sizeof out);         // emoji: one '?'
    EXPECT_STREQ(out, "a?b");
    Utf8ToAnsi("a\xFF" "b\xC0\xAF" "c", out, sizeof out);         // invalid and overlong
    EXPECT_EQ(std::string(out).substr(0, 2), "a?");
    EXPECT_EQ(std::string(out).find_first_not_of("a?bc"), std::string::npos);
    EXPECT_EQ(std::string(out).back(), 'c');
    Utf8ToAnsi("ab\xC3", out, sizeof out);                        // cut sequence at the end
    EXPECT_STREQ(out, "ab?");
    Utf8ToAnsi("\xED\xA0\x80", out, sizeof out);                  // encoded surrogate
    EXPECT_EQ(std::string(out).find_first_not_of('?'), std::string::npos);
    EXPECT_FALSE(std::string(out).empty());
}

TEST(Utf8ToAnsi, RespectsTheDestinationSize) {
    char out[8];
    memset(out, 'x', sizeof out);
    Utf8ToAnsi("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F", out, 4);
    EXPECT_EQ(std::string(out, 5), std::string("\xE4\xF6\xFC\0x", 5));
}

TEST(HostText, AnsiToUtf8AndHostPath) {
    EXPECT_EQ(AnsiToUtf8("\xE4\x80\x9F z"), "\xC3\xA4\xE2\x82\xAC\xC5\xB8 z");
    EXPECT_EQ(HostPath("C:\\a\\\xFC.txt"), "C:/a/\xC3\xBC.txt");
    for (int b = 1; b < 256; ++b) {
        int back = UnicodeToCp1252(Cp1252ToUnicode(uint8_t(b)));
        EXPECT_EQ(back, b) << b;
    }
    EXPECT_EQ(UnicodeToCp1252(0x0151), -1);
}

TEST(StartProgram, HostRecordsTheCommandInsteadOfRunningIt) {
    TempDir dir;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    int before = HostStartCount;
    std::string marker = dir.File("ran");
    std::string folder = dir.path + "\\";
    SetCurrentFolder(folder.c_str());
    std::string command = "touch " + marker;
    EXPECT_GE(StartProgram(&command[0]), 32u);
    EXPECT_EQ(HostStartCount, before + 1);
    EXPECT_STREQ(HostStartedCommand, command.c_str());
    EXPECT_STREQ(HostStartedFolder, folder.c_str());
    char now[4096];
    ASSERT_NE(getcwd(now, sizeof now), nullptr);
    EXPECT_EQ(std::string(now), dir.path);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_FALSE(FileExists(marker.c_str()));
}

}  // namespace
