// Random: the Park-Miller minimal standard generator (16807, 2^31 - 1) in its
// 32-bit unsigned form. Every user makes its own and seeds it from the clock.
#pragma once
#include <cstdint>

struct Random {
    uint32_t state = 1;

    // state = s + 1, wrapping 0xFFFFFFFF to 1.
    void seed(uint32_t s);
    // seed() with the low 32 bits of the high-resolution counter.
    void seedFromClock();
    // One generator step; returns the new state.
    uint32_t next();
    static uint32_t maxValue() { return 0x7FFFFFFF; }
    // next() / 2147483647 in single precision: [0, 1], 1 included by rounding.
    float nextUnit();
    // lo + nextUnit() * (hi - lo)
    float range(float lo, float hi);
    // lo + next() mod (hi - lo); hi must exceed lo.
    uint32_t rangeInt(uint32_t lo, uint32_t hi);
};
