// The counter and its pin. The pin is atomic because the audio thread seeds
// Randoms too.
#include "runtime/counter.h"

#include <atomic>

namespace {
std::atomic<bool> pinned{false};
std::atomic<uint64_t> pinnedValue{0};
}  // namespace

uint64_t readCounter() {
    if (pinned.load(std::memory_order_relaxed)) return pinnedValue.load(std::memory_order_relaxed);
    return readSystemCounter();
}

void pinCounter(uint64_t value) {
    pinnedValue.store(value, std::memory_order_relaxed);
    pinned.store(true, std::memory_order_relaxed);
}

void unpinCounter() {
    pinned.store(false, std::memory_order_relaxed);
}
