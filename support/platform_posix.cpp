// Host back-end of the platform layer: file times through the local time
// zone, code pages 850 (OEM) and 1252 (ANSI), a small formatter, and a
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

// CP850 bytes 0x80..0xFF in CP1252; '?' where 1252 has no such character
// (box drawing, dotless i, ...).
const uint8_t kOem850ToAnsi[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xF8, 0xA3, 0xD8, 0xD7, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0xAE, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xC1, 0xC2, 0xC0, 0xA9, 0x3F, 0x3F, 0x3F, 0x3F, 0xA2, 0xA5, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xE3, 0xC3, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xA4,
    0xF0, 0xD0, 0xCA, 0xCB, 0xC8, 0x3F, 0xCD, 0xCE, 0xCF, 0x3F, 0x3F, 0x3F, 0x3F, 0xA6, 0xCC, 0x3F,
    0xD3, 0xDF, 0xD4, 0xD2, 0xF5, 0xD5, 0xB5, 0xFE, 0xDE, 0xDA, 0xDB, 0xD9, 0xFD, 0xDD, 0xAF, 0xB4,
    0xAD, 0xB1, 0x3F, 0xBE, 0xB6, 0xA7, 0xF7, 0xB8, 0xB0, 0xA8, 0xB7, 0xB9, 0xB3, 0xB2, 0x3F, 0xA0};

const int kFormatLimit = 1024;   // bytes, terminator included

struct FormatOut {
    char* dest;
    int length;
    void Put(char c) {
        if (length < kFormatLimit - 1) dest[length++] = c;
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

// Decodes one UTF-8 sequence at text; returns the code point and advances
// text, or returns -1 for an invalid sequence (advancing past its bad bytes).
int32_t NextCodePoint(const uint8_t*& text) {
    uint8_t lead = *text++;
    if (lead < 0x80) return lead;
    int extra;
    uint32_t cp;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) { extra = 1; cp = lead & 0x1F; minimum = 0x80; }
    else if (lead >= 0xE0 && lead <= 0xEF) { extra = 2; cp = lead & 0x0F; minimum = 0x800; }
    else if (lead >= 0xF0 && lead <= 0xF4) { extra = 3; cp = lead & 0x07; minimum = 0x10000; }
    else return -1;
    for (int i = 0; i < extra; ++i) {
        if ((*text & 0xC0) != 0x80) return -1;   // also stops at the terminator
        cp = (cp << 6) | (*text++ & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return int32_t(cp);
}

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

void OemToAnsi(const char* oem, char* dest) {
    const uint8_t* in = reinterpret_cast<const uint8_t*>(oem);
    uint8_t* out = reinterpret_cast<uint8_t*>(dest);
    while (*in != 0) {
        *out++ = *in < 0x80 ? *in : kOem850ToAnsi[*in - 0x80];
        ++in;
    }
    *out = 0;
}

void Utf8ToAnsi(const char* utf8, char* dest, int destSize) {
    if (destSize <= 0) return;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(utf8);
    int length = 0;
    while (*in != 0 && length < destSize - 1) {
        int32_t cp = NextCodePoint(in);
        int ansi = cp < 0 ? -1 : UnicodeToCp1252(uint32_t(cp));
        dest[length++] = ansi < 0 ? '?' : char(ansi);
    }
    dest[length] = 0;
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
