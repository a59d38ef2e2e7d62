// Entry names: the checks that keep a name extractable by the stub, and the
// encoding it is stored in (OEM code page 850, or UTF-8 with flag bit 11).
#include "tools/mksfx/input/entry_names.h"
#include "engine/extract_run.h"

namespace {

// Unicode of the bytes 0x80..0xFF of code page 850 (the OEM code page the
// stub converts names from).
const uint16_t Cp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// Unicode of the bytes 0x80..0xFF of Windows code page 1252 (the ANSI code
// page the stub's file names end up in); 0 where the code page has no character.
const uint16_t Cp1252High[128] = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x0000, 0x017D, 0x0000,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

int FindHigh(const uint16_t* table, char32_t c) {
    for (int i = 0; i < 128; ++i)
        if (table[i] == c) return 0x80 + i;
    return -1;
}

bool IsSeparator(char32_t c) { return c == U'/' || c == U'\\'; }

std::string Printable(const std::u32string& name) {
    std::string out;
    for (char32_t c : name) {
        if (c < 32) {
            out += '^';
            out += char('@' + c);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}

bool DecodeUtf8(const std::string& bytes, std::u32string* text) {
    text->clear();
    size_t i = 0;
    while (i < bytes.size()) {
        uint8_t b = uint8_t(bytes[i]);
        int more;
        char32_t c;
        if (b < 0x80) { c = b; more = 0; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; more = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; more = 2; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; more = 3; }
        else return false;
        if (i + more >= bytes.size() && more > 0) return false;
        for (int k = 1; k <= more; ++k) {
            uint8_t t = uint8_t(bytes[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            c = (c << 6) | (t & 0x3F);
        }
        // Overlong forms and surrogates would let one name hide behind another.
        if ((more == 1 && c < 0x80) || (more == 2 && c < 0x800) || (more == 3 && c < 0x10000) ||
            c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        text->push_back(c);
        i += more + 1;
    }
    return true;
}

std::u32string DecodeCp850(const std::string& bytes) {
    std::u32string text;
    for (char b : bytes) {
        uint8_t u = uint8_t(b);
        text.push_back(u < 0x80 ? char32_t(u) : char32_t(Cp850High[u - 0x80]));
    }
    return text;
}

bool ToCp1252(const std::u32string& text, std::string* bytes) {
    bytes->clear();
    for (char32_t c : text) {
        if (c < 0x80) {
            bytes->push_back(char(c));
            continue;
        }
        int b = FindHigh(Cp1252High, c);
        if (b < 0) return false;
        bytes->push_back(char(b));
    }
    return true;
}

std::string EncodeEntryName(const std::u32string& name, bool* utf8) {
    *utf8 = false;
    for (char32_t c : name)
        if (c >= 0x80) *utf8 = true;
    return ToUtf8(name);
}

bool CheckEntryName(const std::u32string& name, std::string* problem) {
    std::string shown = "\"" + Printable(name) + "\"";
    if (name.empty()) {
        *problem = "an entry has an empty name";
        return false;
    }
    if (ToUtf8(name).size() > MAX_ENTRY_NAME) {
        *problem = shown + " is longer than the 65,535 bytes a name field holds";
        return false;
    }
    if (IsSeparator(name[0])) {
        *problem = shown + " starts with a slash";
        return false;
    }
    for (char32_t c : name) {
        if (c >= 1 && c <= 31) {
            *problem = shown + " holds a control character";
            return false;
        }
        if (c == 0 || c == U':' || c == U'<' || c == U'>' || c == U'"' || c == U'|' ||
            c == U'?' || c == U'*') {
            *problem = shown + " holds a character that Windows file names cannot hold (: < > \" | ? *)";
            return false;
        }
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        std::u32string component = name.substr(start, end - start);
        if (component == U"..") {
            *problem = shown + " has a \"..\" component";
            return false;
        }
        // Windows drops a trailing dot or blank, which would turn the name
        // into another one; the stub refuses such names.
        if (!component.empty() && component != U"." && (component.back() == U'.' || component.back() == U' ')) {
            *problem = shown + " has a component that ends in a dot or a blank, which Windows drops";
            return false;
        }
        size_t units = 0;
        for (char32_t c : component) units += c >= 0x10000 ? 2 : 1;
        if (units > MAX_COMPONENT_UNITS) {
            *problem = shown + " has a component longer than the 255 characters Windows allows";
            return false;
        }
        std::string utf8 = ToUtf8(component);
        if (IsDeviceName(utf8.data(), uint32_t(utf8.size()))) {
            *problem = shown + " has a component that is a Windows device name (" +
                       ToUtf8(component) + ")";
            return false;
        }
        start = end + 1;
    }
    return true;
}
