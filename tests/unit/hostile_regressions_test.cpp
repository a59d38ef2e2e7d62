// Archives that once broke the extraction, kept as plain cases beside the
// fuzz regression inputs in fuzz/regressions/.
#include "hostile_helpers.h"

namespace {

// A match of the longest length (258) that ends exactly at the end of the
// 32 KiB window: the window must be flushed there before the next byte goes
// in. The data is two literals, a run of 127 maximal matches (2 + 127 * 258
// = 32768), then text long enough to keep the decoder's input well filled.
TEST_F(HostileArchiveTest, MaximalMatchEndingExactlyAtTheWindowEndIsFlushed) {
    std::string data = "a" + std::string(1 + 258 * 127, 'b');
    for (int i = 0; data.size() < 60000; ++i) data += "zeile " + std::to_string(i * 7919 % 10007) + "\n";
    HostileRun run = Run(Image({Entry("window.txt", data, 8)}));
    EXPECT_NOTHING_OUTSIDE(run);
    EXPECT_EQ(run.result, SFX_OK);
    ASSERT_TRUE(TargetHas("window.txt"));
    EXPECT_TRUE(ReadFileBytes(TargetFile("window.txt")) == data) << "output differs from the stored data";
}

}  // namespace
