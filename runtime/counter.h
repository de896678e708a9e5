// The high-resolution counter that seeds every Random. Tests and tools pin it
// to a fixed value so that tables, detunes and noise become reproducible.
#pragma once
#include <cstdint>

// Monotonic ticks of the platform's high-resolution counter (nanoseconds on
// Linux, performance-counter ticks on Windows), or the pinned value while the
// counter is pinned.
uint64_t readCounter();
// The platform's counter itself, never pinned: runtime/posix/ or
// runtime/win32/system_counter.cpp.
uint64_t readSystemCounter();
// From now on readCounter() returns `value` (every seedFromClock gives state value + 1).
void pinCounter(uint64_t value);
// Back to the real clock.
void unpinCounter();
