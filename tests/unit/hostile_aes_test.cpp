// WinZip AES records that lie: strengths and vendor versions that do not
// exist, a real method that is no method of this program (AES inside AES),
// method 99 without its extra field or without the encryption flag, sizes
// too small for salt, verifier and authentication code, and a salt behind
// the end of the file. Each is refused before a password is asked for, and
// an existing file of the same name stays as it was.
#include "hostile_helpers.h"

namespace {

const std::string VICTIM = "geheim.txt";
const std::string PRECIOUS = "the existing file, which no failed entry may touch\n";

std::string AesField(uint16_t version, uint8_t strength, uint16_t method, const char* vendor = "AE") {
    std::string f = {char(0x01), char(0x99), 7, 0, char(version), char(version >> 8)};
    f += vendor;
    f += char(strength);
    f += {char(method), char(method >> 8)};
    return f;
}

class HostileAes : public HostileArchiveTest {
protected:
    // An AES entry of the given record over size bytes of (meaningless)
    // encrypted data.
    ZipEntrySpec AesEntry(const std::string& extra, uint32_t size, uint16_t flags = 1) {
        ZipEntrySpec e = Entry(VICTIM, "x", 99);
        e.versionNeeded = 51;
        e.flags = flags;
        e.extra = extra;
        e.hasPayload = true;
        for (uint32_t i = 0; i < size; ++i) e.payload += char(i * 37 + 11);
        e.hasCrc = true;
        e.crc = 0;
        return e;
    }

    void ExpectRefused(const ZipEntrySpec& e, SfxStatus status) {
        WriteFileBytes(TargetFile(VICTIM), PRECIOUS);
        HostileRun run = Run(Image({e}));
        EXPECT_EQ(run.result, status);
        EXPECT_EQ(Front.passwordCalls, 0) << "asked for a password for a record that cannot be read";
        EXPECT_NOTHING_OUTSIDE(run);
        EXPECT_EQ(TargetFiles(), std::vector<std::string>{VICTIM});
        EXPECT_EQ(ReadFileBytes(TargetFile(VICTIM)), PRECIOUS);
    }
};

}  // namespace

TEST_F(HostileAes, StrengthsAndVendorVersionsThatDoNotExistAreRefused) {
    for (uint8_t strength : {0, 4, 255}) {
        SCOPED_TRACE("strength " + std::to_string(strength));
        ExpectRefused(AesEntry(AesField(2, strength, 8), 100), SFX_ERR_UNSUPPORTED);
    }
    for (uint16_t version : {0, 3, 0x0102}) {
        SCOPED_TRACE("vendor version " + std::to_string(version));
        ExpectRefused(AesEntry(AesField(version, 3, 8), 100), SFX_ERR_UNSUPPORTED);
    }
}

TEST_F(HostileAes, RealMethodsThisProgramLacksAreRefused) {
    for (uint16_t method : {99, 7, 1, 0xFFFF}) {
        SCOPED_TRACE("real method " + std::to_string(method));
        ExpectRefused(AesEntry(AesField(2, 3, method), 100), SFX_ERR_UNSUPPORTED);
    }
}

TEST_F(HostileAes, MethodAesWithoutItsFieldOrFlagIsRefused) {
    ExpectRefused(AesEntry("", 100), SFX_ERR_UNSUPPORTED);
    // The field with another vendor's mark is no AES field.
    ExpectRefused(AesEntry(AesField(2, 3, 8, "XY"), 100), SFX_ERR_UNSUPPORTED);
    ExpectRefused(AesEntry(AesField(2, 3, 8), 100, 0), SFX_ERR_UNSUPPORTED);
}

TEST_F(HostileAes, SizesTooSmallForSaltVerifierAndCodeAreRefused) {
    // AES-128: 8 + 2 + 10 bytes at the least, AES-256: 16 + 2 + 10.
    for (auto strengthAndSize : {std::make_pair(1, 19u), std::make_pair(3, 27u), std::make_pair(3, 0u),
                                 std::make_pair(2, 10u)}) {
        SCOPED_TRACE("strength " + std::to_string(strengthAndSize.first) + ", size " +
                     std::to_string(strengthAndSize.second));
        ExpectRefused(AesEntry(AesField(2, uint8_t(strengthAndSize.first), 8), strengthAndSize.second),
                      SFX_ERR_BAD_DATA);
    }
}

TEST_F(HostileAes, SaltBehindTheEndOfTheFileFails) {
    // The sizes claim more than the file holds: the salt lies behind its
    // end. Whatever the status, nothing is written.
    for (uint32_t size : {0x7FFFFFF0u, 0xFFFFFFF0u}) {
        SCOPED_TRACE("compressed size " + std::to_string(size));
        ZipEntrySpec e = AesEntry(AesField(2, 3, 8), 30);
        e.hasCompressedSize = true;
        e.compressedSize = size;
        WriteFileBytes(TargetFile(VICTIM), PRECIOUS);
        HostileRun run = Run(Image({e}));
        EXPECT_NE(run.result, SFX_OK);
        EXPECT_NOTHING_OUTSIDE(run);
        EXPECT_EQ(TargetFiles(), std::vector<std::string>{VICTIM});
        EXPECT_EQ(ReadFileBytes(TargetFile(VICTIM)), PRECIOUS);
    }
}
