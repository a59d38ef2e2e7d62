// Host back-end of the platform layer: file times through the local time
// zone, code pages 850 (OEM) and 1252 by table, a small formatter, and a
// configured command that is recorded instead of run.
#include "support/platform.h"
#include "support/str_util.h"
#include "support/host_text.h"
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// Unicode code points of the CP850 bytes 0x80..0xFF.
const uint16_t CP850_HIGH[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

const int FORMAT_LIMIT = 1024;   // bytes, terminator included

struct FormatOut {
    char* dest;
    int length;
    void Put(char c) {
        if (length < FORMAT_LIMIT - 1) dest[length++] = c;
    }
    void PutText(const char* text) {
        while (*text != 0) Put(*text++);
    }
    void PutUnsigned(uint32_t value) {
        char digits[12];
        int n = 0;
        do {
            digits[n++] = char('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) Put(digits[--n]);
    }
};

}  // namespace

int FormatText(char* dest, const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatOut out{dest, 0};
    for (const char* p = format; *p != 0; ++p) {
        if (*p != '%') {
            out.Put(*p);
            continue;
        }
        char directive = *++p;
        if (directive == 's') {
            const char* text = va_arg(args, const char*);
            out.PutText(text ? text : "(null)");
        } else if (directive == 'd') {
            int value = va_arg(args, int);
            if (value < 0) {
                out.Put('-');
                out.PutUnsigned(0u - uint32_t(value));
            } else {
                out.PutUnsigned(uint32_t(value));
            }
        } else if (directive == 'u') {
            out.PutUnsigned(va_arg(args, unsigned));
        } else if (directive == '%') {
            out.Put('%');
        } else if (directive == 0) {
            break;
        } else {
            out.Put('%');
            out.Put(directive);
        }
    }
    va_end(args);
    dest[out.length] = 0;
    return out.length;
}

uint32_t SetFileDosTime(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
    int day = dosDate & 0x1F;
    int month = (dosDate >> 5) & 0x0F;
    int year = (dosDate >> 9) + 1980;
    int seconds = (dosTime & 0x1F) * 2;
    int minutes = (dosTime >> 5) & 0x3F;
    int hours = dosTime >> 11;
    if (day == 0 || month == 0 || month > 12 || hours > 23 || minutes > 59 || seconds > 59)
        return EINVAL;
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hours;
    local.tm_min = minutes;
    local.tm_sec = seconds;
    local.tm_isdst = -1;   // the zone's rules decide whether DST applies
    time_t when = mktime(&local);
    if (when == time_t(-1)) return EINVAL;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;   // only the modification time, as on Windows
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    if (futimens(int(file), times) != 0) return errno ? uint32_t(errno) : EIO;
    return 0;
}

uint32_t CodePageToUnicode(uint32_t codePage, uint8_t byte) {
    if (byte < 0x80) return byte;
    return codePage == CODE_PAGE_OEM ? CP850_HIGH[byte - 0x80] : Cp1252ToUnicode(byte);
}

void SetCurrentFolder(const char* folder) {
    StrCopyMax(HostStartedFolder, folder, sizeof(HostStartedFolder) - 1);
    if (chdir(HostPath(folder).c_str()) != 0) {
        // As on Windows, a folder that cannot be entered leaves the current
        // one; the start itself decides what happens then.
    }
}

uint32_t StartProgram(char* commandLine) {
    StrCopyMax(HostStartedCommand, commandLine, sizeof(HostStartedCommand) - 1);
    ++HostStartCount;
    return uint32_t(SFX_RUN_STARTED);
}

// Nothing was run, so nothing ended with a failure.
uint32_t WaitForStartedProgram() { return 0; }
