// Host back-end of the platform layer: file times in the local zone, code
// page conversions of entry names, the recorded command.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "support/file_layer.h"
#include "support/host_text.h"
#include "support/platform.h"
#include "support/str_util.h"
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

std::string Decode(const std::string& text, uint32_t codePage, bool* valid = nullptr) {
    std::vector<char> out(3 * text.size() + 1, 'x');
    uint32_t written = 12345;
    bool ok = TextToUtf8(out.data(), reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()),
                         codePage, &written);
    if (valid) *valid = ok;
    EXPECT_EQ(out[written], '\0');
    return std::string(out.data(), written);
}

// The OEM code page of the host and the stub alike: 850, every byte a
// character (box drawing and the dotless i too), a zero byte never the end.
TEST(TextToUtf8, Cp850AndCp1252AsUtf8) {
    EXPECT_EQ(Decode("Gr\x81\xE1" "e \x84\x94\x8E\x99\x9A", CODE_PAGE_OEM),
              "Gr\xC3\xBC\xC3\x9F" "e \xC3\xA4\xC3\xB6\xC3\x84\xC3\x96\xC3\x9C");
    EXPECT_EQ(Decode("a\xC4z\xB3\xD5", CODE_PAGE_OEM), "a\xE2\x94\x80z\xE2\x94\x82\xC4\xB1");
    EXPECT_EQ(Decode(std::string("a\0b", 3), CODE_PAGE_OEM), "a?b");
    EXPECT_EQ(Decode("\x80\x9F\xE4", CODE_PAGE_ANSI), "\xE2\x82\xAC\xC5\xB8\xC3\xA4");
    for (int b = 1; b < 256; ++b) EXPECT_EQ(UnicodeToCp1252(Cp1252ToUnicode(uint8_t(b))), b) << b;
}

// UTF-8 as it stands, but nothing guessed: each broken, overlong, surrogate
// or out-of-range sequence and each zero byte becomes '?', which no name
// may hold.
TEST(TextToUtf8, Utf8IsValidatedNotGuessed) {
    bool valid = false;
    EXPECT_EQ(Decode("\xC3\xA4" "bc \xE2\x82\xAC \xF0\x9F\x98\x80 \xE6\x97\xA5", TEXT_UTF8, &valid),
              "\xC3\xA4" "bc \xE2\x82\xAC \xF0\x9F\x98\x80 \xE6\x97\xA5");
    EXPECT_TRUE(valid);
    struct Case { const char* text; const char* decoded; };
    for (Case c : {Case{"a\xFF" "b", "a?b"}, Case{"\xC0\xAF", "??"}, Case{"\xE0\x80\xAF", "???"},
                   Case{"ab\xC3", "ab?"}, Case{"\xED\xA0\x80", "???"}, Case{"\xF4\x90\x80\x80", "????"},
                   Case{"\x80x", "?x"}, Case{"\xF8\x88\x80\x80\x80", "?????"}}) {
        EXPECT_EQ(Decode(c.text, TEXT_UTF8, &valid), c.decoded) << c.text;
        EXPECT_FALSE(valid) << c.text;
    }
    EXPECT_EQ(Decode(std::string("a\0b", 3), TEXT_UTF8, &valid), "a?b");
    EXPECT_FALSE(valid);
    EXPECT_EQ(Utf16Length("a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80", 10), 5u);
}

TEST(HostText, HostPathTurnsBackslashesIntoSlashes) {
    EXPECT_EQ(HostPath("C:\\a\\\xC3\xBC.txt"), "C:/a/\xC3\xBC.txt");
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
