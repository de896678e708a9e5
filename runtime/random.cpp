// Park-Miller step in the exact 32-bit unsigned form the program's tables
// were built with; any 32-bit state, even above 2^31, is stepped as written.
#include "runtime/random.h"

#include "runtime/counter.h"

void Random::seed(uint32_t s) {
    state = s + 1;
    if (state == 0) state = 1;
}

void Random::seedFromClock() {
    seed(uint32_t(readCounter()));
}

uint32_t Random::next() {
    const uint32_t hi = 16807u * (state >> 16);
    uint32_t lo = 16807u * (state & 0xFFFFu);
    lo = lo + ((hi & 0x7FFFu) << 16) + (hi >> 15);
    state = (lo & 0x7FFFFFFFu) + (lo >> 31);
    return state;
}

float Random::nextUnit() {
    return float(next()) / 2147483647.0f;
}

float Random::range(float lo, float hi) {
    return lo + nextUnit() * (hi - lo);
}

uint32_t Random::rangeInt(uint32_t lo, uint32_t hi) {
    return lo + next() % (hi - lo);
}
