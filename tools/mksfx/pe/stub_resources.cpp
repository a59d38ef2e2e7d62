#include "tools/mksfx/pe/stub_resources.h"
#include "tools/mksfx/host/host_system.h"
#include "tools/mksfx/pe/icon_file.h"
#include "tools/mksfx/pe/pe_resources.h"
#include "tools/mksfx/pe/version_resource.h"
#include "tools/mksfx/little_endian.h"

#include <set>

namespace {

const uint16_t LANGUAGE_GERMAN = 0x0407;
const size_t VERSION_TEXT_MAX = 255;

// The icon numbers a group resource refers to.
std::set<uint16_t> GroupIconIds(const std::string& group) {
    std::set<uint16_t> ids;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(group.data());
    if (group.size() < 6) return ids;
    size_t count = Get16(bytes + 4);
    for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) ids.insert(Get16(bytes + 6 + 14 * i + 12));
    return ids;
}

bool IsMainGroup(const ResourceItem& item) {
    return IsNumber(item.type, RT_GROUP_ICON_ID) && IsNumber(item.name, MAIN_ICON_GROUP);
}

// The language of the stub's main icon group, which the new resources take.
uint16_t StubLanguage(const std::vector<ResourceItem>& items) {
    for (const ResourceItem& item : items)
        if (IsMainGroup(item)) return item.language;
    return LANGUAGE_GERMAN;
}

// The main icon group and its icons give way to the images of the icon file.
bool ReplaceMainIcon(std::vector<ResourceItem>& items, const std::string& iconPath, uint16_t language,
                     std::string* error) {
    std::vector<IconImage> images;
    if (!ReadIconFile(iconPath, &images, error)) return false;
    std::set<uint16_t> oldIcons, keptIcons;
    for (const ResourceItem& item : items) {
        if (!IsNumber(item.type, RT_GROUP_ICON_ID)) continue;
        std::set<uint16_t> ids = GroupIconIds(item.data);
        (IsMainGroup(item) ? oldIcons : keptIcons).insert(ids.begin(), ids.end());
    }
    std::vector<ResourceItem> kept;
    std::set<uint16_t> usedIcons;
    for (const ResourceItem& item : items) {
        if (IsMainGroup(item)) continue;
        if (IsNumber(item.type, RT_ICON_ID) && !item.name.isText) {
            if (oldIcons.count(item.name.id) && !keptIcons.count(item.name.id)) continue;
            usedIcons.insert(item.name.id);
        }
        kept.push_back(item);
    }
    // New icons take the lowest free numbers, so that the same stub and icon
    // always give the same resources.
    std::vector<uint16_t> ids;
    for (uint32_t id = 1; ids.size() < images.size(); ++id) {
        if (id > 0xFFFF) {
            *error = "the stub has no free icon numbers left";
            return false;
        }
        if (!usedIcons.count(uint16_t(id))) ids.push_back(uint16_t(id));
    }
    for (size_t i = 0; i < images.size(); ++i) {
        ResourceItem icon;
        icon.type = NumberName(RT_ICON_ID);
        icon.name = NumberName(ids[i]);
        icon.language = language;
        icon.data = images[i].data;
        kept.push_back(icon);
    }
    ResourceItem group;
    group.type = NumberName(RT_GROUP_ICON_ID);
    group.name = NumberName(MAIN_ICON_GROUP);
    group.language = language;
    group.data = IconGroupData(images, ids);
    kept.push_back(group);
    items.swap(kept);
    return true;
}

bool ToUtf16Text(const std::string& typed, const char* option, std::u16string* text, std::string* error) {
    std::u32string unicode;
    if (!NativeToUnicode(typed, &unicode)) {
        *error = std::string(option) + ": the text cannot be decoded";
        return false;
    }
    if (unicode.size() > VERSION_TEXT_MAX) {
        *error = std::string(option) + " is " + std::to_string(unicode.size()) + " characters long; at most " +
                 std::to_string(VERSION_TEXT_MAX) + " fit";
        return false;
    }
    text->clear();
    for (char32_t c : unicode) {
        if (c < 0x20 || c == 0x7F) {
            *error = std::string(option) + " holds a control character";
            return false;
        }
        if (c >= 0x10000) {
            text->push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            text->push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            text->push_back(char16_t(c));
        }
    }
    return true;
}

bool ReplaceVersion(std::vector<ResourceItem>& items, const VersionTexts& texts, uint16_t language,
                    std::string* error) {
    VersionFields fields;
    fields.language = language;
    if (!texts.version.empty()) {
        if (!ParseVersionNumber(texts.version, fields.number)) {
            *error = "--version takes one to four numbers of 0-65535 separated by dots (a.b.c.d), not \"" +
                     texts.version + "\"";
            return false;
        }
        fields.hasNumber = true;
    }
    if (!ToUtf16Text(texts.product, "--product", &fields.product, error) ||
        !ToUtf16Text(texts.company, "--company", &fields.company, error) ||
        !ToUtf16Text(texts.description, "--description", &fields.description, error) ||
        !ToUtf16Text(texts.copyright, "--copyright", &fields.copyright, error))
        return false;
    std::vector<ResourceItem> kept;
    for (const ResourceItem& item : items)
        if (!IsNumber(item.type, RT_VERSION_ID)) kept.push_back(item);
    ResourceItem version;
    version.type = NumberName(RT_VERSION_ID);
    version.name = NumberName(1);
    version.language = language;
    version.data = VersionResourceData(fields);
    kept.push_back(version);
    items.swap(kept);
    return true;
}

}  // namespace

bool BrandStub(std::string& stub, const StubBranding& branding, std::string* error) {
    std::vector<ResourceItem> items;
    if (!ReadProgramResources(stub, &items, error)) return false;
    uint16_t language = StubLanguage(items);
    if (!branding.iconPath.empty() && !ReplaceMainIcon(items, branding.iconPath, language, error)) return false;
    if (branding.texts.any() && !ReplaceVersion(items, branding.texts, language, error)) return false;
    if (branding.installer.any() && !ApplyInstallerOptions(items, branding.installer, language, error)) return false;
    return ReplaceProgramResources(stub, items, error);
}

std::string VersionSummary(const VersionTexts& texts) {
    std::string summary;
    auto add = [&](const char* what, const std::string& text, bool quoted) {
        if (text.empty()) return;
        summary += (summary.empty() ? "" : ", ") + std::string(what) + " " + (quoted ? "\"" + text + "\"" : text);
    };
    add("product", texts.product, true);
    add("version", texts.version, false);
    add("company", texts.company, true);
    add("description", texts.description, true);
    add("copyright", texts.copyright, true);
    return summary;
}
