#include "tools/mksfx/pe/pe_resources.h"
#include "tools/mksfx/little_endian.h"

namespace {

const uint16_t MAGIC_PE32 = 0x10B;
const uint16_t MAGIC_PE32_PLUS = 0x20B;
const uint32_t DIRECTORY_RESOURCES = 2;
const uint32_t DIRECTORY_SECURITY = 4;
const uint32_t SECTION_INITIALIZED_DATA = 0x40;

// Where the parts of the headers are, once checked.
struct PeLayout {
    size_t optional;            // start of the optional header
    size_t directories;         // first data directory
    uint32_t directoryCount;
    size_t sections;            // first section header
    uint32_t sectionCount;
    uint32_t sectionAlignment;
    uint32_t fileAlignment;
    size_t resourceHeader;      // the resource section's header
};

const uint8_t* Bytes(const std::string& image, size_t at) { return reinterpret_cast<const uint8_t*>(image.data()) + at; }

void Set32(std::string& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = char((value >> (8 * i)) & 0xFF);
}

uint32_t Align(uint64_t value, uint32_t unit) { return uint32_t((value + unit - 1) / unit * unit); }

bool Fail(std::string* error, const std::string& why) {
    *error = "the stub's resources cannot be rebuilt: " + why;
    return false;
}

bool ReadLayout(const std::string& image, PeLayout* pe, std::string* error) {
    if (image.size() < 0x40) return Fail(error, "no program header");
    size_t header = Get32(Bytes(image, 0x3C));
    if (header > image.size() || image.size() - header < 24 || image.compare(header, 4, std::string("PE\0\0", 4)) != 0)
        return Fail(error, "no PE header");
    pe->sectionCount = Get16(Bytes(image, header + 6));
    uint32_t optionalSize = Get16(Bytes(image, header + 20));
    pe->optional = header + 24;
    if (image.size() - pe->optional < optionalSize || optionalSize < 2) return Fail(error, "a short optional header");
    uint16_t magic = Get16(Bytes(image, pe->optional));
    size_t countAt;
    if (magic == MAGIC_PE32) countAt = 92;
    else if (magic == MAGIC_PE32_PLUS) countAt = 108;
    else return Fail(error, "neither a 32-bit nor a 64-bit program");
    if (optionalSize < countAt + 4) return Fail(error, "a short optional header");
    pe->directoryCount = Get32(Bytes(image, pe->optional + countAt));
    pe->directories = pe->optional + countAt + 4;
    if (pe->directoryCount > 16 || optionalSize < countAt + 4 + 8 * pe->directoryCount)
        return Fail(error, "a damaged data directory");
    pe->sectionAlignment = Get32(Bytes(image, pe->optional + 32));
    pe->fileAlignment = Get32(Bytes(image, pe->optional + 36));
    if (pe->fileAlignment == 0 || pe->sectionAlignment == 0) return Fail(error, "no alignment in the header");
    pe->sections = pe->optional + optionalSize;
    if (image.size() - pe->sections < 40ull * pe->sectionCount) return Fail(error, "damaged section headers");

    if (pe->directoryCount <= DIRECTORY_RESOURCES) return Fail(error, "it has no resources");
    uint32_t resourceRva = Get32(Bytes(image, pe->directories + 8 * DIRECTORY_RESOURCES));
    uint32_t resourceSize = Get32(Bytes(image, pe->directories + 8 * DIRECTORY_RESOURCES + 4));
    if (resourceRva == 0 || resourceSize == 0) return Fail(error, "it has no resources");
    if (pe->directoryCount > DIRECTORY_SECURITY &&
        Get32(Bytes(image, pe->directories + 8 * DIRECTORY_SECURITY + 4)) != 0)
        return Fail(error, "it is signed (sign the finished program instead)");

    // The resource section must be the last one in memory and in the file,
    // and the file must end with it.
    pe->resourceHeader = 0;
    uint32_t lastRva = 0, lastRaw = 0;
    for (uint32_t i = 0; i < pe->sectionCount; ++i) {
        size_t at = pe->sections + 40 * i;
        uint32_t rva = Get32(Bytes(image, at + 12)), virtualSize = Get32(Bytes(image, at + 8));
        uint32_t rawSize = Get32(Bytes(image, at + 16)), raw = Get32(Bytes(image, at + 20));
        if (resourceRva >= rva && resourceRva < rva + (virtualSize > rawSize ? virtualSize : rawSize))
            pe->resourceHeader = at;
        if (rva >= lastRva) lastRva = rva;
        if (rawSize && raw >= lastRaw) lastRaw = raw;
    }
    if (!pe->resourceHeader) return Fail(error, "no section holds them");
    uint32_t rsrcRva = Get32(Bytes(image, pe->resourceHeader + 12));
    uint32_t rsrcRawSize = Get32(Bytes(image, pe->resourceHeader + 16));
    uint32_t rsrcRaw = Get32(Bytes(image, pe->resourceHeader + 20));
    if (rsrcRva != lastRva || rsrcRaw != lastRaw) return Fail(error, "their section is not the program's last");
    if (uint64_t(rsrcRaw) + rsrcRawSize != image.size())
        return Fail(error, "the stub file has data behind its last section");
    uint32_t rsrcSize = Get32(Bytes(image, pe->resourceHeader + 8));
    for (uint32_t d = 0; d < pe->directoryCount; ++d) {
        if (d == DIRECTORY_RESOURCES || d == DIRECTORY_SECURITY) continue;
        uint32_t rva = Get32(Bytes(image, pe->directories + 8 * d));
        uint32_t size = Get32(Bytes(image, pe->directories + 8 * d + 4));
        if (size && rva < rsrcRva + rsrcSize && rva + size > rsrcRva)
            return Fail(error, "their section holds other tables as well");
    }
    return true;
}

// The checksum the loader may check for drivers: 16-bit sums with carry over
// the file with the checksum field as zero, plus the file's length.
uint32_t ImageChecksum(const std::string& image, size_t checksumAt) {
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        uint32_t word = uint8_t(image[i]) | (i + 1 < image.size() ? uint8_t(image[i + 1]) << 8 : 0);
        if (i == checksumAt || i == checksumAt + 2) word = 0;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return uint32_t(sum) + uint32_t(image.size());
}

}  // namespace

bool ReadProgramResources(const std::string& image, std::vector<ResourceItem>* items, std::string* error) {
    PeLayout pe;
    if (!ReadLayout(image, &pe, error)) return false;
    uint32_t rva = Get32(Bytes(image, pe.resourceHeader + 12));
    uint32_t rawSize = Get32(Bytes(image, pe.resourceHeader + 16));
    uint32_t raw = Get32(Bytes(image, pe.resourceHeader + 20));
    uint32_t treeRva = Get32(Bytes(image, pe.directories + 8 * DIRECTORY_RESOURCES));
    return ReadResourceTree(image.substr(raw, rawSize), rva, treeRva, items, error);
}

bool ReplaceProgramResources(std::string& image, const std::vector<ResourceItem>& items, std::string* error) {
    PeLayout pe;
    if (!ReadLayout(image, &pe, error)) return false;
    size_t at = pe.resourceHeader;
    uint32_t rva = Get32(Bytes(image, at + 12));
    uint32_t oldRawSize = Get32(Bytes(image, at + 16));
    uint32_t raw = Get32(Bytes(image, at + 20));
    std::string section = WriteResourceTree(items, rva);
    uint32_t rawSize = Align(section.size(), pe.fileAlignment);
    if (section.size() > 64u * 1024 * 1024) return Fail(error, "they would pass 64 MB");

    image.resize(raw);
    image += section;
    image.resize(size_t(raw) + rawSize, '\0');
    Set32(image, at + 8, uint32_t(section.size()));                 // VirtualSize
    Set32(image, at + 16, rawSize);                                 // SizeOfRawData
    Set32(image, pe.directories + 8 * DIRECTORY_RESOURCES + 4, uint32_t(section.size()));
    Set32(image, pe.optional + 56, Align(uint64_t(rva) + section.size(), pe.sectionAlignment));  // SizeOfImage
    if (Get32(Bytes(image, at + 36)) & SECTION_INITIALIZED_DATA) {
        uint32_t initialized = Get32(Bytes(image, pe.optional + 8));
        Set32(image, pe.optional + 8, initialized - oldRawSize + rawSize);
    }
    size_t checksumAt = pe.optional + 64;
    if (Get32(Bytes(image, checksumAt)) != 0) Set32(image, checksumAt, ImageChecksum(image, checksumAt));
    return true;
}
