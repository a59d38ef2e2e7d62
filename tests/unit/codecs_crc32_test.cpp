// CRC-32: the byte loop, the sliced loop and the folding by carry-less
// multiplication (the sliced loop where the processor lacks it) against
// zlib's crc32, whole and in random chunkings.
#include <gtest/gtest.h>
#include <zlib.h>
#include <random>
#include <string>
#include "codecs/crc32.h"

namespace {

typedef void (*UpdateFn)(uint32_t&, const void*, uint32_t);

uint32_t Chunked(UpdateFn update, const std::string& data, std::mt19937& rng) {
    uint32_t reg = 0xFFFFFFFF;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t n = std::min<size_t>(data.size() - pos, rng() % 3 == 0 ? rng() % 16 : rng() % 32769);
        update(reg, data.data() + pos, (uint32_t)n);
        pos += n;
    }
    return ~reg;
}

}  // namespace

TEST(Crc32, BothImplementationsMatchZlibOnRandomChunkings) {
    std::mt19937 rng(42);
    for (int round = 0; round < 40; ++round) {
        std::string data(rng() % 200000, '\0');
        for (auto& c : data) c = char(rng());
        uint32_t expected = (uint32_t)crc32(0, (const Bytef*)data.data(), (uInt)data.size());
        // Odd start addresses exercise the sliced loop's alignment prefix.
        std::string shifted = " " + data;
        uint32_t reg = 0xFFFFFFFF;
        Crc32UpdateSliced(reg, shifted.data() + 1, (uint16_t)std::min<size_t>(data.size(), 32768));
        uint32_t zPrefix = (uint32_t)crc32(0, (const Bytef*)data.data(), (uInt)std::min<size_t>(data.size(), 32768));
        EXPECT_EQ(~reg, zPrefix);
        EXPECT_EQ(Chunked(Crc32UpdateBytewise, data, rng), expected) << "round " << round;
        EXPECT_EQ(Chunked(Crc32UpdateSliced, data, rng), expected) << "round " << round;
        EXPECT_EQ(Chunked(Crc32UpdateFolded, data, rng), expected) << "round " << round;
        EXPECT_EQ(Chunked(Crc32Update, data, rng), expected) << "round " << round;
    }
}

TEST(Crc32, ZeroCountOrNullBufferLeavesTheRegister) {
    uint8_t byte = 0x5A;
    for (UpdateFn update : {Crc32UpdateBytewise, Crc32UpdateSliced, Crc32UpdateFolded, Crc32Update}) {
        uint32_t reg = 0x12345678;
        update(reg, &byte, 0);
        EXPECT_EQ(reg, 0x12345678u);
        update(reg, nullptr, 100);
        EXPECT_EQ(reg, 0x12345678u);
    }
}

TEST(Crc32, FullWindowChunkIsTakenWholeNotAsNegativeCount) {
    std::string data(32768, '\0');
    std::mt19937 rng(3);
    for (auto& c : data) c = char(rng());
    uint32_t expected = (uint32_t)crc32(0, (const Bytef*)data.data(), 32768);
    for (UpdateFn update : {Crc32UpdateBytewise, Crc32UpdateSliced, Crc32UpdateFolded}) {
        uint32_t reg = 0xFFFFFFFF;
        update(reg, data.data(), 32768);
        EXPECT_EQ(~reg, expected);
    }
}

TEST(Crc32, StepMatchesTheKnownCheckValue) {
    // "123456789" -> 0xCBF43926, the published check value of this CRC.
    uint32_t reg = 0xFFFFFFFF;
    for (char c : std::string("123456789")) reg = Crc32Step((uint8_t)c, reg);
    EXPECT_EQ(~reg, 0xCBF43926u);
    EXPECT_EQ(Crc32Tables[0][0], 0u);
    EXPECT_EQ(Crc32Tables[0][128], 0xEDB88320u);
}
