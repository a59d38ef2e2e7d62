#include "tools/mksfx/pe/icon_file.h"
#include "tools/mksfx/little_endian.h"

#include <stdio.h>

namespace {

const size_t ICON_FILE_MAX = 16u * 1024 * 1024;
const size_t IMAGES_MAX = 256;
const char PNG_SIGNATURE[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};

const uint8_t* Bytes(const std::string& data, size_t at) { return reinterpret_cast<const uint8_t*>(data.data()) + at; }

bool IsPng(const std::string& image) { return image.size() >= 8 && image.compare(0, 8, PNG_SIGNATURE, 8) == 0; }

// Bits per pixel of a PNG image from its header chunk, or 0.
uint16_t PngBitCount(const std::string& image) {
    if (image.size() < 33 || image.compare(12, 4, "IHDR") != 0) return 0;
    uint8_t depth = uint8_t(image[24]), colourType = uint8_t(image[25]);
    switch (colourType) {
    case 0: return depth;           // grey
    case 2: return uint16_t(3 * depth);   // RGB
    case 3: return depth;           // palette
    case 4: return uint16_t(2 * depth);   // grey and alpha
    case 6: return uint16_t(4 * depth);   // RGBA
    default: return 0;
    }
}

}  // namespace

bool ReadIconFile(const std::string& path, std::vector<IconImage>* images, std::string* error) {
    images->clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *error = path + ": the icon file cannot be opened";
        return false;
    }
    std::string data;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0 && data.size() <= ICON_FILE_MAX) data.append(buffer, n);
    bool readError = ferror(file) != 0;
    fclose(file);
    if (readError) {
        *error = path + ": the icon file cannot be read";
        return false;
    }
    auto refuse = [&](const std::string& why) {
        *error = path + ": " + why;
        return false;
    };
    if (data.size() > ICON_FILE_MAX) return refuse("larger than 16 MB, too large for an icon file");
    if (data.size() < 6 || Get16(Bytes(data, 0)) != 0 || Get16(Bytes(data, 2)) != 1)
        return refuse("not an icon file (.ico): its header is not that of an icon");
    size_t count = Get16(Bytes(data, 4));
    if (count == 0) return refuse("the icon file holds no image");
    if (count > IMAGES_MAX) return refuse("the icon file holds more than 256 images");
    if (data.size() < 6 + 16 * count) return refuse("the icon file's directory is cut short");
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = Bytes(data, 6 + 16 * i);
        IconImage image;
        image.width = entry[0];
        image.height = entry[1];
        image.colorCount = entry[2];
        image.planes = Get16(entry + 4);
        image.bitCount = Get16(entry + 6);
        uint32_t size = Get32(entry + 8), offset = Get32(entry + 12);
        std::string which = "image " + std::to_string(i + 1) + " of " + std::to_string(count);
        if (size < 40 || offset > data.size() || data.size() - offset < size)
            return refuse(which + " lies outside the file or is too short");
        image.data = data.substr(offset, size);
        if (IsPng(image.data)) {
            uint16_t bits = PngBitCount(image.data);
            if (!bits) return refuse(which + " is a damaged PNG image");
            if (!image.bitCount) image.bitCount = bits;
        } else {
            uint32_t headerSize = Get32(Bytes(image.data, 0));
            if (headerSize < 40 || headerSize > size) return refuse(which + " is neither a bitmap nor a PNG image");
            if (!image.bitCount) image.bitCount = Get16(Bytes(image.data, 14));
        }
        if (!image.planes) image.planes = 1;
        images->push_back(image);
    }
    return true;
}

std::string IconGroupData(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids) {
    std::string group;
    Put16(group, 0);
    Put16(group, 1);
    Put16(group, uint32_t(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        group += char(image.width);
        group += char(image.height);
        group += char(image.colorCount);
        group += '\0';
        Put16(group, image.planes);
        Put16(group, image.bitCount);
        Put32(group, uint32_t(image.data.size()));
        Put16(group, ids[i]);
    }
    return group;
}
