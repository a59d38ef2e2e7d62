// The progress figure of the dialog's status line. The function is compiled
// into the Windows stub; it has no platform dependency, so the host tests it
// from the same source.
#include <gtest/gtest.h>
#include "ui/per_mille.cpp"

namespace {

struct Case {
    uint32_t done;
    uint32_t total;
    uint32_t expected;
};

TEST(PerMille, RoundsToNearestThousandthHalvesUp) {
    const Case cases[] = {
        {12345, 100000, 123},   // 123.45 -> 123
        {1, 2000, 1},           // exactly 0.5 rounds up
        {1, 2001, 0},           // just below 0.5 rounds down
        {1235, 10000, 124},     // 123.5 rounds up
        {1, 3, 333},
        {2, 3, 667},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PerMille(c.done, c.total), c.expected) << c.done << "/" << c.total;
}

TEST(PerMille, CompleteEntryShowsOneThousand) {
    EXPECT_EQ(PerMille(100000, 100000), 1000u);
    EXPECT_EQ(PerMille(7, 7), 1000u);
}

TEST(PerMille, EmptyEntryGivesZeroInsteadOfDividingByZero) {
    EXPECT_EQ(PerMille(5, 0), 0u);
    EXPECT_EQ(PerMille(0, 0), 0u);
    // A total below ten vanishes when done is too large to scale.
    EXPECT_EQ(PerMille(4294967295u, 9), 0u);
}

// Sizes near 4 GiB: done * 1000 overflows 32 bits, so the scale moves to total.
TEST(PerMille, LargeSizesDoNotOverflow) {
    EXPECT_EQ(PerMille(3000000000u, 4000000000u), 750u);
    EXPECT_EQ(PerMille(4294967280u, 4294967295u), 1000u);   // rounding term wraps too
    EXPECT_EQ(PerMille(429496729u, 4294967290u), 100u);     // largest done scaled fully
    EXPECT_EQ(PerMille(2147483648u, 4294967295u), 500u);
    EXPECT_EQ(PerMille(4294967295u, 4294967295u), 1000u);
}

TEST(PerMille, AgreesWithWideArithmeticOnOrdinarySizes) {
    // Where done * 1000 fits in 64 bits without any scaling trick, the result
    // equals the exactly rounded quotient.
    for (uint32_t total = 1; total < 5000; total += 37) {
        for (uint32_t done = 0; done <= total; done += 1 + total / 50) {
            uint64_t exact = (uint64_t(done) * 1000 + total / 2) / total;
            ASSERT_EQ(PerMille(done, total), exact) << done << "/" << total;
        }
    }
}

}  // namespace
