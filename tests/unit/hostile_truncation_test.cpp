// Archives cut short: a stored, a deflated and an LZMA archive cut at every
// byte offset, and deflated and LZMA data cut at every length with honest
// headers. Each run
// fails or extracts correctly, writes nothing outside the target, leaves no
// temporary file and never costs an existing file its content.
#include "hostile_helpers.h"
#include <map>

namespace {

const std::string PRECIOUS = "existing content\n";

std::string Text(size_t size, int seed) {
    std::string s;
    for (size_t i = 0; s.size() < size; ++i) s += "row " + std::to_string(i * seed % 97) + " text text\n";
    s.resize(size);
    return s;
}

class HostileTruncation : public HostileArchiveTest {
protected:
    std::map<std::string, std::string> expected;   // entry name -> content

    std::string MakeArchive(uint16_t method) {
        std::vector<ZipEntrySpec> entries = {Entry("one.txt", Text(300, 3), method),
                                             Entry("two/two.txt", Text(900, 7), method),
                                             Entry("three.bin", std::string(150, '\xAB'), method)};
        expected.clear();
        for (const ZipEntrySpec& e : entries) expected[e.name] = e.data;
        ZipImageOptions options;
        options.archiveComment = std::string(100, 'c');   // cuts inside the comment keep the end record
        return Image(entries, options);
    }

    void SeedExisting() {
        mkdir(TargetFile("two").c_str(), 0700);
        for (auto& kv : expected) WriteFileBytes(TargetFile(kv.first), PRECIOUS);
    }

    void CheckRun(const HostileRun& run, const std::string& what) {
        SCOPED_TRACE(what);
        EXPECT_NOTHING_OUTSIDE(run);
        std::vector<std::string> names;
        for (auto& kv : expected) names.push_back(kv.first);
        EXPECT_EQ(TargetFiles(), names) << "a file appeared or vanished in the target";
        for (auto& kv : expected) {
            std::string now = ReadFileBytes(TargetFile(kv.first));
            EXPECT_TRUE(now == PRECIOUS || now == kv.second) << kv.first << " holds neither its old nor its new content";
        }
        if (run.result == SFX_OK) {
            for (auto& kv : expected)
                EXPECT_EQ(ReadFileBytes(TargetFile(kv.first)), kv.second) << "success reported, " << kv.first;
        }
    }

    void CutAtEveryOffset(uint16_t method) {
        const std::string image = MakeArchive(method);
        int failures = 0;
        for (size_t cut = 0; cut < image.size() && failures < 5; ++cut) {
            SeedExisting();
            HostileRun run = Run(image.substr(0, cut));
            int before = ::testing::Test::HasFailure();
            CheckRun(run, "cut at " + std::to_string(cut) + " of " + std::to_string(image.size()));
            failures += ::testing::Test::HasFailure() && !before;
        }
        SeedExisting();
        HostileRun whole = Run(image);
        EXPECT_EQ(whole.result, SFX_OK);
        CheckRun(whole, "whole archive");
    }
};

TEST_F(HostileTruncation, StoredArchiveCutAtEveryOffset) { CutAtEveryOffset(0); }

TEST_F(HostileTruncation, DeflatedArchiveCutAtEveryOffset) { CutAtEveryOffset(8); }

TEST_F(HostileTruncation, LzmaArchiveCutAtEveryOffset) { CutAtEveryOffset(14); }

// LZMA data cut at every length, its headers honest, and once more declared
// far larger than they are: past the data's end the decoder must stop at
// once, not decode on into bytes that are not there.
TEST_F(HostileTruncation, LzmaDataCutAtEveryLength) {
    const std::string data = Text(6000, 5);
    const std::string stream = LzmaEntryData(data);
    int failures = 0;
    for (size_t cut = 0; cut < stream.size() && failures < 5; ++cut) {
        for (uint32_t declared : {uint32_t(data.size()), 64u << 20}) {
            ZipEntrySpec e = Entry("one.txt", data, 14);
            e.hasPayload = true;
            e.payload = stream.substr(0, cut);
            e.hasUncompressedSize = true;
            e.uncompressedSize = declared;
            expected = {{"one.txt", data}};
            SeedExisting();
            HostileRun run = Run(Image({e}));
            int before = ::testing::Test::HasFailure();
            CheckRun(run, "cut at " + std::to_string(cut) + ", declared " + std::to_string(declared));
            EXPECT_NE(run.result, SFX_OK);
            EXPECT_LE(run.mostReported, data.size());
            failures += ::testing::Test::HasFailure() && !before;
        }
    }
}

// Headers tell the truth about a shorter stream: the compressed size is the
// cut length. Both block kinds zlib writes are covered (dynamic and fixed).
TEST_F(HostileTruncation, DeflatedDataCutAtEveryLength) {
    const std::string data = Text(6000, 5);
    for (int strategy : {0, 4 /* Z_FIXED */}) {
        const std::string stream = RawDeflate(data, 9, strategy);
        int failures = 0;
        for (size_t cut = 0; cut < stream.size() && failures < 5; ++cut) {
            ZipEntrySpec e = Entry("one.txt", data, 8);
            e.hasPayload = true;
            e.payload = stream.substr(0, cut);
            expected = {{"one.txt", data}};
            SeedExisting();
            HostileRun run = Run(Image({e}));
            int before = ::testing::Test::HasFailure();
            CheckRun(run, "strategy " + std::to_string(strategy) + ", cut at " + std::to_string(cut));
            EXPECT_LE(run.mostReported, data.size());
            failures += ::testing::Test::HasFailure() && !before;
        }
    }
}

// A stream cut inside a Huffman block, declared far larger than it is: past
// the end of the data every bit reads as 1, which in a fixed block is an
// endless run of literals. The decoder must end it as corrupt data after a
// few bytes past the end, long before the declared size would stop it.
TEST_F(HostileTruncation, CutFixedBlockDoesNotRunOnToTheDeclaredSize) {
    const std::string data = Text(3000, 11);
    const std::string stream = RawDeflate(data, 9, 4);
    for (size_t cut : {size_t(1), size_t(2), stream.size() / 3, stream.size() / 2, stream.size() - 2}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ZipEntrySpec e = Entry("one.txt", data, 8);
        e.hasPayload = true;
        e.payload = stream.substr(0, cut);
        e.hasUncompressedSize = true;
        e.uncompressedSize = 64u << 20;
        expected = {{"one.txt", data}};
        SeedExisting();
        HostileRun run = Run(Image({e}));
        CheckRun(run, "fixed block cut");
        EXPECT_EQ(run.result, SFX_ERR_BAD_DATA);
        // The whole stream inflates to 3000 bytes; a few bytes past its end
        // cannot honestly add more than a few kilobytes.
        EXPECT_LT(run.mostReported, 1u << 20) << "decoded on into the all-ones bits past the end";
    }
}

}  // namespace
