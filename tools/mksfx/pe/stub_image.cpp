#include "tools/mksfx/pe/stub_image.h"
#include "tools/mksfx/little_endian.h"
#include <stdio.h>

namespace {
const size_t STUB_MAX = 64u * 1024 * 1024;   // far above any stub; keeps a wrong file from filling memory
}

bool IsWindowsProgram(const std::string& bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    uint32_t peOffset = Get32(reinterpret_cast<const uint8_t*>(bytes.data()) + 0x3C);
    return peOffset <= bytes.size() - 4 && bytes.compare(peOffset, 4, std::string("PE\0\0", 4)) == 0;
}

bool LoadStub(const std::string& path, std::string* bytes, std::string* error) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *error = path + ": the stub cannot be opened";
        return false;
    }
    bytes->clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0 && bytes->size() <= STUB_MAX) bytes->append(buffer, n);
    bool readError = ferror(file) != 0;
    fclose(file);
    if (readError) {
        *error = path + ": the stub cannot be read";
        return false;
    }
    if (bytes->size() > STUB_MAX || !IsWindowsProgram(*bytes)) {
        *error = path + ": the stub is not a Windows program (no MZ header with a PE signature)";
        return false;
    }
    return true;
}
