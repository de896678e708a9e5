// CLOCK_MONOTONIC in nanoseconds stands in for the performance counter.
// The pin is atomic because the audio thread seeds Randoms too.
#include "runtime/counter.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<bool> pinned{false};
std::atomic<uint64_t> pinnedValue{0};
}  // namespace

uint64_t readCounter() {
    if (pinned.load(std::memory_order_relaxed)) return pinnedValue.load(std::memory_order_relaxed);
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

void pinCounter(uint64_t value) {
    pinnedValue.store(value, std::memory_order_relaxed);
    pinned.store(true, std::memory_order_relaxed);
}

void unpinCounter() {
    pinned.store(false, std::memory_order_relaxed);
}
