// Streams from other encoders: Info-ZIP zip and 7-Zip (its own deflate
// encoder) must inflate to the files they were made from.
#include "codecs_test_util.h"
#include <stdlib.h>
#include <string.h>
#include <random>

namespace {

uint32_t Get32(const std::string& s, size_t at) {
    uint32_t v;
    memcpy(&v, s.data() + at, 4);
    return v;
}
uint16_t Get16(const std::string& s, size_t at) {
    uint16_t v;
    memcpy(&v, s.data() + at, 2);
    return v;
}

// The deflate stream of the archive's first entry, located through the
// central directory (sizes there are final even when bit 3 is set).
std::string FirstEntryStream(const std::string& zip, uint32_t* size) {
    size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos) return "";
    size_t central = Get32(zip, end + 16);
    EXPECT_EQ(Get16(zip, central + 10), 8);
    uint32_t compressed = Get32(zip, central + 20);
    *size = Get32(zip, central + 24);
    size_t local = Get32(zip, central + 42);
    size_t data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
    return zip.substr(data, compressed);
}

}  // namespace

TEST(InflateTools, StreamsOfZipAnd7zInflateToTheirInput) {
    TempDir dir;
    std::mt19937 rng(4);
    std::string data;
    while (data.size() < 400000) {
        if (rng() % 3) data += "Zeile " + std::to_string(rng() % 1000) + " des Archivs\n";
        else data.append(1 + rng() % 40, char(rng()));
    }
    WriteFileBytes(dir.File("input.dat"), data);
    const std::string cmds[] = {
        "cd " + dir.path + " && zip -q -9 a.zip input.dat",
        "cd " + dir.path + " && zip -q -1 a.zip input.dat",
        "cd " + dir.path + " && 7z a -tzip -mx=9 a.zip input.dat >/dev/null",
        "cd " + dir.path + " && 7z a -tzip -mx=1 a.zip input.dat >/dev/null",
    };
    for (const std::string& cmd : cmds) {
        remove(dir.File("a.zip").c_str());
        ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
        uint32_t size = 0;
        std::string stream = FirstEntryStream(ReadFileBytes(dir.File("a.zip")), &size);
        ASSERT_FALSE(stream.empty()) << cmd;
        ASSERT_EQ(size, data.size());
        InflateResult r = Inflate(stream, size);
        EXPECT_EQ(r.status, SFX_OK) << cmd;
        EXPECT_TRUE(r.output == data) << cmd;
    }
}
