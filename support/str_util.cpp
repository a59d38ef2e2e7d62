// String, memory and path routines. The stub has no C runtime, so these are
// the program's whole toolkit; they work only in the callers' buffers.
#include "support/str_util.h"
#include "support/platform.h"

char* StrCopy(char* dest, const char* src) {
    char* out = dest;
    while ((*out++ = *src++) != 0) {
    }
    return dest;
}

char* StrAppend(char* dest, const char* src) {
    StrCopy(dest + StrLength(dest), src);
    return dest;
}

uint32_t StrLength(const char* text) {
    uint32_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

void* MemFill(void* buffer, int value, uint32_t count) {
    // The compiler may turn these loops into memset/memcpy calls; the stub
    // provides those in crt_win32.cpp, built so that they stay loops.
    uint8_t* out = static_cast<uint8_t*>(buffer);
    while (count-- != 0) *out++ = static_cast<uint8_t>(value);
    return buffer;
}

void* MemCopy(void* dest, const void* src, uint32_t count) {
    uint8_t* out = static_cast<uint8_t*>(dest);
    const uint8_t* in = static_cast<const uint8_t*>(src);
    while (count-- != 0) *out++ = *in++;
    return dest;
}

void* MemMove(void* dest, const void* src, uint32_t count) {
    uint8_t* out = static_cast<uint8_t*>(dest);
    const uint8_t* in = static_cast<const uint8_t*>(src);
    // Copy backwards only when the destination starts inside the source area;
    // a forward copy would overwrite source bytes before they are read.
    if (out > in && out < in + count) {
        uint8_t* o = out + count;
        const uint8_t* i = in + count;
        while (count-- != 0) *--o = *--i;
    } else {
        MemCopy(dest, src, count);
    }
    return dest;
}

char* StrNCopy(char* dest, const char* src, uint32_t n) {
    uint32_t i = 0;
    for (; i < n && src[i] != 0; ++i) dest[i] = src[i];
    for (; i < n; ++i) dest[i] = 0;
    return dest;
}

void StrCopyMax(char* dest, const char* src, uint32_t n) {
    if (dest == nullptr) return;
    if (StrLength(src) < n) {
        StrCopy(dest, src);
        return;
    }
    MemCopy(dest, src, n);
    dest[n] = 0;
}

char* SlashesToBackslashes(const char* src, char* dest) {
    uint32_t i = 0;
    do {
        dest[i] = src[i] == '/' ? '\\' : src[i];
    } while (src[i++] != 0);
    return dest;
}

bool TextToUtf8(char* dest, const uint8_t* text, uint32_t length, uint32_t codePage, uint32_t* written) {
    bool valid = true;
    uint8_t* out = reinterpret_cast<uint8_t*>(dest);
    const uint8_t* end = text + length;
    while (text < end) {
        uint32_t c = *text++;
        if (codePage != TEXT_UTF8) {
            c = CodePageToUnicode(codePage, uint8_t(c));
            // Single-byte code pages stay in the Basic Multilingual Plane.
            if (c >= 0x800) {
                *out++ = uint8_t(0xE0 | (c >> 12));
                *out++ = uint8_t(0x80 | ((c >> 6) & 0x3F));
            } else if (c >= 0x80) {
                *out++ = uint8_t(0xC0 | (c >> 6));
            }
            *out++ = uint8_t(c < 0x80 ? (c ? c : '?') : 0x80 | (c & 0x3F));
            continue;
        }
        // The lead byte tells the number of continuation bytes and the
        // smallest code point that needs them.
        uint32_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        uint32_t smallest = extra == 3 ? 0x10000 : extra == 2 ? 0x800 : 0x80;
        const uint8_t* start = text - 1;
        uint32_t cp = c & (0x7F >> extra);
        bool good = c != 0 && (c < 0x80 || (extra != 0 && c < 0xF8));
        for (uint32_t i = 0; good && i < extra; ++i) {
            good = text < end && (*text & 0xC0) == 0x80;
            if (good) cp = cp << 6 | (*text++ & 0x3F);
        }
        if (good && extra != 0)
            good = cp >= smallest && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (good) {
            while (start < text) *out++ = *start++;
        } else {
            *out++ = '?';
            text = start + 1;
            valid = false;
        }
    }
    *out = 0;
    *written = uint32_t(out - reinterpret_cast<uint8_t*>(dest));
    return valid;
}

uint32_t Utf16Length(const char* text, uint32_t length) {
    uint32_t units = 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t c = (uint8_t)text[i];
        // A lead of four bytes starts a surrogate pair; continuation bytes
        // add nothing.
        units += ((c & 0xC0) != 0x80) + (c >= 0xF0);
    }
    return units;
}

// The three routines below count in 8 bits: they serve the 256-byte path
// buffers of the directory walk, where positions never pass 255.
char* StrCopySub(const char* src, uint8_t position, uint8_t count, char* dest) {
    uint32_t length = StrLength(src);
    if (count == 0 || length <= position) {
        dest[0] = 0;
        return dest;
    }
    if (static_cast<uint8_t>(length) < static_cast<uint8_t>(position + count))
        count = static_cast<uint8_t>(length - position);
    MemMove(dest, src + position, count);
    dest[count] = 0;
    return dest;
}

char* StrDelete(char* text, uint8_t position, uint8_t count) {
    if (count == 0) return text;
    uint32_t length = StrLength(text);
    uint8_t moved = static_cast<uint8_t>(length - count - position + 1);
    MemMove(text + position, text + position + count, moved);
    return text;
}

uint8_t StrPos(char c, const char* text) {
    uint8_t length = static_cast<uint8_t>(StrLength(text));
    if (length == 0) return 255;
    for (uint8_t i = 0; i < length; ++i)
        if (text[i] == c) return i;
    return 255;
}

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// work[0] is the start mark (zero), the text runs from work[1]. A colon
// counts as a drive colon only as the second character of the text.
bool IsDriveColon(const char* work, int i) { return i == 2 && work[i] == ':'; }

// The dot at work[i] ends the remaining text. It (with one more dot before
// it) is a whole "." or ".." component when what stands before is the start,
// a separator or the drive colon.
bool IsDotDirectory(const char* work, int i) {
    if (i > 1 && work[i - 1] == '.') --i;
    int before = i - 1;
    return before == 0 || IsSeparator(work[before]) || IsDriveColon(work, before);
}

}  // namespace

void SplitPath(const char* path, char* drive, char* dir, char* name, char* ext) {
    if (drive) drive[0] = 0;
    if (dir) dir[0] = 0;
    if (name) name[0] = 0;
    if (ext) ext[0] = 0;

    while (*path == ' ') ++path;
    char work[258];
    work[0] = 0;
    int length = 0;
    while (length < 256 && path[length] != 0) {
        work[length + 1] = path[length];
        ++length;
    }
    work[length + 1] = 0;

    bool inDirectory = false;
    bool extensionTaken = false;
    int i = length;
    for (; i > 0; --i) {
        char c = work[i];
        if (c == '.' && !inDirectory) {
            if (work[i + 1] == 0 && IsDotDirectory(work, i)) {
                inDirectory = true;
            } else if (!extensionTaken) {
                StrCopyMax(ext, work + i, 255);
                work[i] = 0;
                extensionTaken = true;
            }
        } else if (IsSeparator(c) && !inDirectory) {
            StrCopyMax(name, work + i + 1, 255);
            work[i + 1] = 0;
            inDirectory = true;
        } else if (IsDriveColon(work, i)) {
            break;
        }
    }
    StrCopyMax(inDirectory ? dir : name, work + i + 1, 255);
    if (i > 0 && drive) {
        drive[0] = work[1];
        drive[1] = work[2];
        drive[2] = 0;
    }
}
