#include "tools/mksfx/pe/resource_tree.h"
#include "tools/mksfx/little_endian.h"

#include <algorithm>
#include <map>

namespace {

const uint32_t SUBDIRECTORY = 0x80000000u;
const uint32_t NAME_IS_TEXT = 0x80000000u;
const size_t ITEMS_MAX = 65536;     // far above any real program's resources
// Directories may share subdirectories; a damaged tree could make the walk
// visit billions of entries without finding an item. This bounds it.
const size_t VISITS_MAX = 1u << 20;

struct Reader {
    const std::string& section;
    uint32_t sectionRva;
    std::vector<ResourceItem>* items;
    size_t visits;
};

const uint8_t* At(const Reader& r, uint32_t offset) {
    return reinterpret_cast<const uint8_t*>(r.section.data()) + offset;
}

bool Fits(const Reader& r, uint64_t offset, uint64_t size) { return offset + size <= r.section.size(); }

bool ReadName(const Reader& r, uint32_t field, ResourceName* name) {
    name->isText = (field & NAME_IS_TEXT) != 0;
    if (!name->isText) {
        name->id = uint16_t(field);
        return field <= 0xFFFF;
    }
    uint32_t offset = field & ~NAME_IS_TEXT;
    if (!Fits(r, offset, 2)) return false;
    uint32_t length = Get16(At(r, offset));
    if (!Fits(r, offset + 2, 2ull * length)) return false;
    name->text.clear();
    for (uint32_t i = 0; i < length; ++i) name->text += char16_t(Get16(At(r, offset + 2 + 2 * i)));
    return true;
}

// One directory at offset on 'level' (0 types, 1 names, 2 languages).
bool ReadDirectory(Reader& r, uint32_t offset, int level, ResourceItem& path) {
    if (!Fits(r, offset, 16)) return false;
    uint32_t count = uint32_t(Get16(At(r, offset + 12))) + Get16(At(r, offset + 14));
    if (!Fits(r, offset + 16, 8ull * count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        if (++r.visits > VISITS_MAX) return false;
        const uint8_t* entry = At(r, offset + 16 + 8 * i);
        uint32_t nameField = Get32(entry), target = Get32(entry + 4);
        bool isDirectory = (target & SUBDIRECTORY) != 0;
        if (isDirectory != (level < 2)) return false;
        if (level == 0 && !ReadName(r, nameField, &path.type)) return false;
        if (level == 1 && !ReadName(r, nameField, &path.name)) return false;
        if (level == 2) {
            if (nameField > 0xFFFF) return false;
            path.language = uint16_t(nameField);
        }
        if (isDirectory) {
            if (!ReadDirectory(r, target & ~SUBDIRECTORY, level + 1, path)) return false;
            continue;
        }
        if (!Fits(r, target, 16) || r.items->size() >= ITEMS_MAX) return false;
        uint32_t dataRva = Get32(At(r, target)), size = Get32(At(r, target + 4));
        if (dataRva < r.sectionRva || !Fits(r, uint64_t(dataRva) - r.sectionRva, size)) return false;
        path.codePage = Get32(At(r, target + 8));
        path.data = r.section.substr(dataRva - r.sectionRva, size);
        r.items->push_back(path);
    }
    return true;
}

// Texts first, in ascending order of their characters, then numbers.
bool NameBefore(const ResourceName& a, const ResourceName& b) {
    if (a.isText != b.isText) return a.isText;
    return a.isText ? a.text < b.text : a.id < b.id;
}

uint32_t Align(uint32_t value, uint32_t unit) { return (value + unit - 1) / unit * unit; }

void PutAt(std::string& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = char((value >> (8 * i)) & 0xFF);
}

}  // namespace

bool ReadResourceTree(const std::string& section, uint32_t sectionRva, uint32_t treeRva,
                      std::vector<ResourceItem>* items, std::string* error) {
    items->clear();
    Reader r{section, sectionRva, items, 0};
    ResourceItem path;
    if (treeRva < sectionRva || !ReadDirectory(r, treeRva - sectionRva, 0, path)) {
        *error = "the stub's resources are damaged (an entry points outside their section)";
        return false;
    }
    return true;
}

std::string WriteResourceTree(const std::vector<ResourceItem>& items, uint32_t sectionRva) {
    // The tree: type -> name -> language -> item index.
    struct NameLess {
        bool operator()(const ResourceName& a, const ResourceName& b) const { return NameBefore(a, b); }
    };
    typedef std::map<uint16_t, size_t> Languages;
    typedef std::map<ResourceName, Languages, NameLess> Names;
    std::map<ResourceName, Names, NameLess> types;
    for (size_t i = 0; i < items.size(); ++i) types[items[i].type][items[i].name][items[i].language] = i;

    // Sizes of the regions: directories, data entries, texts, data.
    uint32_t directories = 16 + 8 * uint32_t(types.size());
    for (const auto& type : types) {
        directories += 16 + 8 * uint32_t(type.second.size());
        for (const auto& name : type.second) directories += 16 + 8 * uint32_t(name.second.size());
    }
    uint32_t dataEntries = directories;
    uint32_t texts = dataEntries + 16 * uint32_t(items.size());
    uint32_t textBytes = 0;
    for (const auto& type : types) {
        if (type.first.isText) textBytes += 2 + 2 * uint32_t(type.first.text.size());
        for (const auto& name : type.second)
            if (name.first.isText) textBytes += 2 + 2 * uint32_t(name.first.text.size());
    }
    uint32_t data = Align(texts + textBytes, 8);
    uint32_t total = data;
    for (const ResourceItem& item : items) total = Align(total + uint32_t(item.data.size()), 8);

    std::string out(total, '\0');
    uint32_t nextDirectory = 0, nextEntry = dataEntries, nextText = texts, nextData = data;
    auto nameField = [&](const ResourceName& name) -> uint32_t {
        if (!name.isText) return name.id;
        uint32_t at = nextText;
        out[at] = char(name.text.size() & 0xFF);
        out[at + 1] = char(name.text.size() >> 8);
        for (size_t i = 0; i < name.text.size(); ++i) {
            out[at + 2 + 2 * i] = char(name.text[i] & 0xFF);
            out[at + 3 + 2 * i] = char(name.text[i] >> 8);
        }
        nextText += 2 + 2 * uint32_t(name.text.size());
        return NAME_IS_TEXT | at;
    };
    // A directory header for 'count' entries of which 'textCount' are texts;
    // returns the offset of its first entry.
    auto directory = [&](size_t textCount, size_t count) -> uint32_t {
        uint32_t at = nextDirectory;
        out[at + 12] = char(textCount & 0xFF);
        out[at + 13] = char(textCount >> 8);
        out[at + 14] = char((count - textCount) & 0xFF);
        out[at + 15] = char((count - textCount) >> 8);
        nextDirectory += 16 + 8 * uint32_t(count);
        return at + 16;
    };
    auto textCount = [](auto& map) {
        size_t n = 0;
        for (const auto& entry : map) n += entry.first.isText;
        return n;
    };

    uint32_t typeEntry = directory(textCount(types), types.size());
    for (const auto& type : types) {
        PutAt(out, typeEntry, nameField(type.first));
        PutAt(out, typeEntry + 4, SUBDIRECTORY | nextDirectory);
        typeEntry += 8;
        uint32_t nameEntry = directory(textCount(type.second), type.second.size());
        for (const auto& name : type.second) {
            PutAt(out, nameEntry, nameField(name.first));
            PutAt(out, nameEntry + 4, SUBDIRECTORY | nextDirectory);
            nameEntry += 8;
            uint32_t languageEntry = directory(0, name.second.size());
            for (const auto& language : name.second) {
                const ResourceItem& item = items[language.second];
                PutAt(out, languageEntry, language.first);
                PutAt(out, languageEntry + 4, nextEntry);
                languageEntry += 8;
                PutAt(out, nextEntry, sectionRva + nextData);
                PutAt(out, nextEntry + 4, uint32_t(item.data.size()));
                PutAt(out, nextEntry + 8, item.codePage);
                nextEntry += 16;
                out.replace(nextData, item.data.size(), item.data);
                nextData = Align(nextData + uint32_t(item.data.size()), 8);
            }
        }
    }
    return out;
}
