// The high-resolution counter that seeds every Random. Tests and tools pin it
// to a fixed value so that tables, detunes and noise become reproducible.
#pragma once
#include <cstdint>

// Monotonic nanoseconds, or the pinned value while the counter is pinned.
uint64_t readCounter();
// From now on readCounter() returns `value` (every seedFromClock gives state value + 1).
void pinCounter(uint64_t value);
// Back to the real clock.
void unpinCounter();
