// Host-side code page 1252 and path conversion.
#include "support/host_text.h"

namespace {

// Unicode code points of the bytes 0x80..0x9F; 0xA0..0xFF equal their code.
const uint16_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char HostStartedCommand[1100];
char HostStartedFolder[SFX_PATH_BYTES];
int HostStartCount;

uint32_t Cp1252ToUnicode(uint8_t ansi) {
    if (ansi >= 0x80 && ansi < 0xA0) return CP1252_HIGH[ansi - 0x80];
    return ansi;
}

int UnicodeToCp1252(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return int(codePoint);
    for (int i = 0; i < 32; ++i)
        if (CP1252_HIGH[i] == codePoint) return 0x80 + i;
    return -1;
}

std::string HostPath(const char* path) {
    std::string out = path;
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}
