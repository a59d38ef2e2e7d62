#include "tools/mksfx/pe/version_resource.h"
#include "tools/mksfx/little_endian.h"

#include <vector>

namespace {

const uint16_t CODE_PAGE_UTF16 = 1200;
const uint16_t TYPE_BINARY = 0, TYPE_TEXT = 1;

void PadTo4(std::string& out) {
    while (out.size() % 4) out += '\0';
}

void PutText(std::string& out, const std::u16string& text) {
    for (char16_t c : text) Put16(out, c);
    Put16(out, 0);
}

// One node of the version tree: length, value length, type, key, value and
// children, each of the last three starting on a 4-byte boundary.
std::string Node(const std::u16string& key, uint16_t type, const std::string& value, uint16_t valueLength,
                 const std::vector<std::string>& children) {
    std::string node(6, '\0');
    PutText(node, key);
    PadTo4(node);
    node += value;
    for (const std::string& child : children) {
        PadTo4(node);
        node += child;
    }
    node[0] = char(node.size() & 0xFF);
    node[1] = char(node.size() >> 8);
    node[2] = char(valueLength & 0xFF);
    node[3] = char(valueLength >> 8);
    node[4] = char(type);
    return node;
}

std::string TextNode(const std::u16string& key, const std::u16string& text) {
    std::string value;
    PutText(value, text);
    return Node(key, TYPE_TEXT, value, uint16_t(text.size() + 1), {});
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string Hex4(uint16_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
    return text;
}

}  // namespace

bool ParseVersionNumber(const std::string& text, uint16_t number[4]) {
    int part = 0;
    uint32_t value = 0;
    bool digits = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (!digits || part > 3) return false;
            number[part++] = uint16_t(value);
            value = 0;
            digits = false;
        } else if (text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + uint32_t(text[i] - '0');
            if (value > 0xFFFF) return false;
            digits = true;
        } else {
            return false;
        }
    }
    for (; part < 4; ++part) number[part] = 0;
    return true;
}

std::string VersionResourceData(const VersionFields& fields) {
    const uint16_t* v = fields.number;
    std::string fixed;
    Put32(fixed, 0xFEEF04BD);           // signature
    Put32(fixed, 0x00010000);           // structure version 1.0
    for (int twice = 0; twice < 2; ++twice) {   // file version, product version
        Put32(fixed, (uint32_t(v[0]) << 16) | v[1]);
        Put32(fixed, (uint32_t(v[2]) << 16) | v[3]);
    }
    Put32(fixed, 0x3F);                 // flags mask
    Put32(fixed, 0);                    // flags: none
    Put32(fixed, 0x00040004);           // VOS_NT_WINDOWS32
    Put32(fixed, 1);                    // VFT_APP
    Put32(fixed, 0);                    // subtype
    Put32(fixed, 0);                    // date
    Put32(fixed, 0);

    std::vector<std::string> strings;
    std::u16string number;
    if (fields.hasNumber)
        number = Ascii(std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
                       std::to_string(v[3]));
    struct Entry { const char* key; const std::u16string* text; };
    const Entry entries[] = {
        {"CompanyName", &fields.company},   {"FileDescription", &fields.description},
        {"FileVersion", &number},           {"LegalCopyright", &fields.copyright},
        {"ProductName", &fields.product},   {"ProductVersion", &number},
    };
    for (const Entry& entry : entries)
        if (!entry.text->empty()) strings.push_back(TextNode(Ascii(entry.key), *entry.text));

    std::u16string tableKey = Ascii(Hex4(fields.language) + Hex4(CODE_PAGE_UTF16));
    std::string table = Node(tableKey, TYPE_TEXT, std::string(), 0, strings);
    std::string stringInfo = Node(u"StringFileInfo", TYPE_TEXT, std::string(), 0, {table});
    std::string translation;
    Put16(translation, fields.language);
    Put16(translation, CODE_PAGE_UTF16);
    std::string var = Node(u"Translation", TYPE_BINARY, translation, 4, {});
    std::string varInfo = Node(u"VarFileInfo", TYPE_TEXT, std::string(), 0, {var});
    return Node(u"VS_VERSION_INFO", TYPE_BINARY, fixed, uint16_t(fixed.size()), {stringInfo, varInfo});
}
