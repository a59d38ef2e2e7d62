#include "tools/mksfx/pe/installer_options.h"
#include "tools/mksfx/host/host_system.h"
#include "tools/mksfx/input/entry_names.h"
#include "ui/program_options.h"

#include <stdio.h>

namespace {

const uint16_t RT_STRING_ID = 6;
const uint16_t RT_MANIFEST_ID = 24;
const char AS_INVOKER[] = "level=\"asInvoker\"";
const char AS_ADMINISTRATOR[] = "level=\"requireAdministrator\"";

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        out.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
        out.push_back(char16_t(c));
    }
}

// A typed text as UTF-16, at most maximum units, without control characters
// but the line breaks and tabs that lines allows.
bool TypedText(const std::string& typed, const char* option, size_t maximum, bool lines, std::u16string* text,
               std::string* error) {
    std::u32string unicode;
    if (!NativeToUnicode(typed, &unicode)) {
        *error = std::string(option) + ": the text cannot be decoded";
        return false;
    }
    text->clear();
    for (char32_t c : unicode) {
        if ((c < 0x20 && !(lines && (c == '\n' || c == '\t'))) || c == 0x7F) {
            *error = std::string(option) + " holds a control character";
            return false;
        }
        AppendUtf16(*text, c);
    }
    if (text->empty()) {
        *error = std::string(option) + " needs a text";
        return false;
    }
    if (text->size() > maximum) {
        *error = std::string(option) + " is " + std::to_string(text->size()) + " UTF-16 units long; at most " +
                 std::to_string(maximum) + " fit";
        return false;
    }
    return true;
}

// The licence file: UTF-8 (with or without its byte order mark) or UTF-16
// with its byte order mark; line ends become CR LF, which the stub's text
// field needs.
bool LicenseText(const std::string& path, std::u16string* text, std::string* error) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *error = path + ": cannot be read (--license)";
        return false;
    }
    std::string bytes;
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() <= 4 * OPTION_LICENSE_MAX;)
        bytes.append(chunk, n);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        *error = path + ": cannot be read (--license)";
        return false;
    }
    std::u32string unicode;
    uint8_t first = bytes.size() >= 2 ? uint8_t(bytes[0]) : 0;
    uint8_t second = bytes.size() >= 2 ? uint8_t(bytes[1]) : 0;
    if ((first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF)) {
        bool little = first == 0xFF;
        auto unitAt = [&](size_t i) -> char32_t {
            return little ? uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8 : uint8_t(bytes[i]) << 8 | uint8_t(bytes[i + 1]);
        };
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            char32_t unit = unitAt(i);
            char32_t low = i + 3 < bytes.size() ? unitAt(i + 2) : 0;
            if (unit >= 0xD800 && unit < 0xDC00 && low >= 0xDC00 && low < 0xE000) {
                unicode.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
            } else if (unit >= 0xD800 && unit < 0xE000) {
                *error = path + ": broken UTF-16 (--license)";
                return false;
            } else {
                unicode.push_back(unit);
            }
        }
    } else {
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
        // Guessing a code page could show other letters than the publisher
        // wrote: what is not UTF-8 is refused.
        if (!DecodeUtf8(bytes, &unicode)) {
            *error = path + ": the licence is neither UTF-8 nor UTF-16 with a byte order mark (--license)";
            return false;
        }
    }
    text->clear();
    for (size_t i = 0; i < unicode.size(); ++i) {
        char32_t c = unicode[i];
        if (c == '\r') continue;
        if (c == 0) {
            *error = path + ": holds a zero character (--license)";
            return false;
        }
        if (c == '\n') text->push_back(u'\r');
        AppendUtf16(*text, c);
    }
    while (!text->empty() && (text->back() == u'\n' || text->back() == u'\r')) text->pop_back();
    if (text->empty()) {
        *error = path + ": the licence is empty (--license)";
        return false;
    }
    text->append(u"\r\n");
    if (text->size() > OPTION_LICENSE_MAX) {
        *error = path + ": the licence is " + std::to_string(text->size()) + " UTF-16 units long; at most " +
                 std::to_string(OPTION_LICENSE_MAX) + " fit (--license)";
        return false;
    }
    return true;
}

// One string of the table: its length, then its units; the stub reads each
// string straight from the resource, so a terminating zero is stored too.
void AppendString(std::string& block, const std::u16string& text) {
    size_t length = text.empty() ? 0 : text.size() + 1;
    block.push_back(char(length & 0xFF));
    block.push_back(char(length >> 8));
    for (char16_t unit : text) {
        block.push_back(char(unit & 0xFF));
        block.push_back(char(unit >> 8));
    }
    if (length) block.append(2, '\0');
}

}  // namespace

bool MakeInstallerOptions(const MksfxOptions& o, InstallerOptions* installer, std::string* error) {
    *installer = InstallerOptions();
    if (o.temporary) installer->flags |= OPTION_TEMPORARY;
    if (o.target.find('%') != std::string::npos || o.run.find('%') != std::string::npos)
        installer->flags |= OPTION_EXPAND;
    installer->admin = o.admin;
    return (!o.hasTitle || TypedText(o.title, "--title", OPTION_TITLE_MAX, false, &installer->title, error)) &&
           (!o.hasPrompt || TypedText(o.prompt, "--prompt", OPTION_PROMPT_MAX, true, &installer->prompt, error)) &&
           (o.licensePath.empty() || LicenseText(o.licensePath, &installer->license, error));
}

bool ApplyInstallerOptions(std::vector<ResourceItem>& items, const InstallerOptions& installer, uint16_t language,
                           std::string* error) {
    std::vector<ResourceItem> kept;
    for (ResourceItem& item : items) {
        bool manifest = IsNumber(item.type, RT_MANIFEST_ID);
        if (manifest && installer.admin) {
            size_t at = item.data.find(AS_INVOKER);
            if (at == std::string::npos) {
                *error = "--admin: the stub's manifest does not ask to run as the invoking user";
                return false;
            }
            item.data.replace(at, sizeof AS_INVOKER - 1, AS_ADMINISTRATOR);
        }
        // The options are block 1 of the string table (strings 0 to 15).
        if (!(IsNumber(item.type, RT_STRING_ID) && IsNumber(item.name, 1))) kept.push_back(item);
    }
    std::string block;
    std::u16string texts[16];
    texts[OPTION_STRING_FLAGS] = std::u16string(1, char16_t(installer.flags));
    texts[OPTION_STRING_TITLE] = installer.title;
    texts[OPTION_STRING_PROMPT] = installer.prompt;
    texts[OPTION_STRING_LICENSE] = installer.license;
    for (const std::u16string& text : texts) AppendString(block, text);
    ResourceItem strings;
    strings.type = NumberName(RT_STRING_ID);
    strings.name = NumberName(1);
    strings.language = language;
    strings.data = block;
    kept.push_back(strings);
    items.swap(kept);
    return true;
}
