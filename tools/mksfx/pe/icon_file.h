// Icon files (.ico): a directory of images, each a device-independent bitmap
// or, for the large sizes, a PNG file.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

struct IconImage {
    uint8_t width;              // 0 stands for 256
    uint8_t height;
    uint8_t colorCount;
    uint16_t planes;
    uint16_t bitCount;
    std::string data;           // the image as in the file: bitmap or PNG
};

// Reads and checks an icon file. Directory entries that leave planes or
// colour depth at 0 (some tools do so for PNG images) get them from the
// image. false with *error naming the file and the fault.
bool ReadIconFile(const std::string& path, std::vector<IconImage>* images, std::string* error);

// The icon group resource for the images, whose icon resources carry the
// numbers ids[0], ids[1], ... in the images' order.
std::string IconGroupData(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids);
