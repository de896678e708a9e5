// cosRad takes a double-precision shortcut for 2^-13 <= |x| < 1024 because
// there it rounds to the same float as the extended-precision cosine, and
// cosRadBlock has its own two-lane cosine for the same range. This checks
// both claims for every one of the 386 million floats of that range (both
// signs), on two threads: a different C library would fail it.
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

// Floats whose bit patterns lie in [first, last): how many disagree, and the
// first of them. cosRadBlock takes them a batch at a time.
uint64_t countDifferences(uint32_t first, uint32_t last, float& example) {
    constexpr uint32_t kBatch = 4096;
    float x[kBatch], block[kBatch];
    uint64_t differ = 0;
    for (uint32_t start = first; start < last; start += kBatch) {
        const uint32_t n = last - start < kBatch ? last - start : kBatch;
        for (uint32_t j = 0; j < n; ++j) {
            const uint32_t u = start + j;
            std::memcpy(&x[j], &u, 4);
        }
        cosRadBlock(x, block, n);
        for (uint32_t j = 0; j < n; ++j) {
            const float extended = float(cosl(x[j]));
            if (cosRad(x[j]) != extended || block[j] != extended) {
                if (differ++ == 0) example = x[j];
            }
        }
    }
    return differ;
}

}  // namespace

TEST(CosRad, EveryFloatOfTheShortcutRangeRoundsLikeTheExtendedCosineInBothForms) {
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
