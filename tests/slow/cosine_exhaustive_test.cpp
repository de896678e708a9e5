// cosRad takes a double-precision shortcut for 2^-13 <= |x| < 1024 because
// there it rounds to the same float as the extended-precision cosine. This
// checks that claim for every one of the 386 million floats of that range
// (both signs), on two threads: a different C library would fail it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>

#include "runtime/math.h"

namespace {

uint32_t bitsOf(float x) {
    uint32_t u;
    std::memcpy(&u, &x, 4);
    return u;
}

// Floats whose bit patterns lie in [first, last): how many disagree, and the first of them.
uint64_t countDifferences(uint32_t first, uint32_t last, float& example) {
    uint64_t differ = 0;
    for (uint32_t u = first; u < last; ++u) {
        float x;
        std::memcpy(&x, &u, 4);
        if (cosRad(x) != float(cosl(x))) {
            if (differ++ == 0) example = x;
        }
    }
    return differ;
}

}  // namespace

TEST(CosRad, EveryFloatOfTheShortcutRangeRoundsLikeTheExtendedCosine) {
    // Positive floats from 2^-13 up to 1024, then the same magnitudes negative.
    const uint32_t lo = bitsOf(0x1p-13f), hi = bitsOf(1024.0f);
    const uint32_t negLo = bitsOf(-0x1p-13f), negHi = bitsOf(-1024.0f);
    float examplePos = 0.0f, exampleNeg = 0.0f;
    uint64_t differPos = 0, differNeg = 0;
    std::thread positive([&] { differPos = countDifferences(lo, hi, examplePos); });
    std::thread negative([&] { differNeg = countDifferences(negLo, negHi, exampleNeg); });
    positive.join();
    negative.join();
    EXPECT_EQ(differPos, 0u) << "first at " << examplePos;
    EXPECT_EQ(differNeg, 0u) << "first at " << exampleNeg;
}
