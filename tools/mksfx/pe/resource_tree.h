// The resource section of a Windows program as a flat list (type, name,
// language, data), read from and written to the section's tree layout.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

const uint16_t RT_ICON_ID = 3;
const uint16_t RT_GROUP_ICON_ID = 14;
const uint16_t RT_VERSION_ID = 16;

// A type or name: a number, or a text (UTF-16) when isText.
struct ResourceName {
    bool isText = false;
    uint16_t id = 0;
    std::u16string text;
};

struct ResourceItem {
    ResourceName type;
    ResourceName name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::string data;
};

inline ResourceName NumberName(uint16_t id) {
    ResourceName name;
    name.id = id;
    return name;
}
inline bool IsNumber(const ResourceName& name, uint16_t id) { return !name.isText && name.id == id; }

// Reads the tree of a resource section whose bytes 'section' are mapped at
// 'sectionRva'; the tree starts at treeRva. false with *error when it is
// damaged (anything outside the section, more than three levels).
bool ReadResourceTree(const std::string& section, uint32_t sectionRva, uint32_t treeRva,
                      std::vector<ResourceItem>* items, std::string* error);

// The section bytes for the items, laid out to be mapped at sectionRva: the
// directories, sorted as the loader searches them (texts first, then
// numbers, both ascending), the data entries, the name texts, the data.
std::string WriteResourceTree(const std::vector<ResourceItem>& items, uint32_t sectionRva);
