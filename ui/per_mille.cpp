#include "ui/per_mille.h"

uint32_t PerMille(uint32_t done, uint32_t total) {
    // Scale done by 1000 in three steps of ten; when a step would overflow,
    // shrink total instead, which gives the same ratio.
    for (int step = 0; step < 3; ++step) {
        if (done > 429496729u)
            total /= 10;
        else
            done *= 10;
    }
    // The rounding term must not wrap either.
    if (done + total / 2 < done) {
        done /= 2;
        total /= 2;
    }
    if (total == 0)
        return 0;
    return (done + total / 2) / total;
}
