// Heap blocks come from the platform's heap (heap.h); aligned blocks keep
// their heap start just below the address they hand out, so alignedFree
// needs no size.
#include "runtime/memory.h"

#include <atomic>
#include <cstring>

#include "runtime/heap.h"

namespace {
std::atomic<uint64_t> allocations{0};
}  // namespace

void* allocate(uint32_t bytes) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return heapAllocate(bytes);
}

uint64_t allocationCount() {
    return allocations.load(std::memory_order_relaxed);
}

void deallocate(void* pointer) {
    heapFree(pointer);
}

void* alignedAlloc(uint32_t size, uint32_t alignment) {
    // 64-bit sum: a size near 4 GiB must not wrap into a tiny block.
    const uint64_t total = uint64_t(size) + alignment + 7;
    if (total > UINT32_MAX) return nullptr;
    auto* start = static_cast<uint8_t*>(allocate(uint32_t(total)));
    if (start == nullptr) return nullptr;  // never write through a failed block
    const uintptr_t address = (reinterpret_cast<uintptr_t>(start) + 8 + alignment - 1) & ~uintptr_t(alignment - 1);
    const uint64_t startValue = reinterpret_cast<uintptr_t>(start);
    std::memcpy(reinterpret_cast<void*>(address - 8), &startValue, 8);
    return reinterpret_cast<void*>(address);
}

void alignedFree(void* address) {
    if (address == nullptr) return;
    uint64_t startValue;
    std::memcpy(&startValue, static_cast<uint8_t*>(address) - 8, 8);
    deallocate(reinterpret_cast<void*>(uintptr_t(startValue)));
}

void copyBytes(void* dst, const void* src, uint32_t n) {
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    for (uint32_t i = 0; i < n; ++i) d[i] = s[i];
}

void moveBytes(void* dst, const void* src, uint32_t n) {
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    if (d > s && d < s + n) {
        for (uint32_t i = n; i > 0; --i) d[i - 1] = s[i - 1];
    } else {
        for (uint32_t i = 0; i < n; ++i) d[i] = s[i];
    }
}

bool bytesEqual(const void* a, const void* b, uint32_t n) {
    const auto* x = static_cast<const uint8_t*>(a);
    const auto* y = static_cast<const uint8_t*>(b);
    for (uint32_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return false;
    return true;
}

void fillBytes(void* dst, uint32_t value, uint32_t n) {
    auto* d = static_cast<uint8_t*>(dst);
    for (uint32_t i = 0; i < n; ++i) d[i] = uint8_t(value);
}

void* fillWords(void* dst, uint32_t value, uint32_t n) {
    const uint32_t byte = value & 0xFF;
    const uint32_t word = byte * 0x01010101u;
    auto* d = static_cast<uint8_t*>(dst);
    const uint32_t words[4] = {word, word, word, word};
    uint32_t i = 0;
    // Sixteen bytes a store: the voice and bus buffers are cleared every block.
    for (; i + 16 <= n; i += 16) std::memcpy(d + i, words, 16);
    for (; i + 4 <= n; i += 4) std::memcpy(d + i, &word, 4);
    for (; i < n; ++i) d[i] = uint8_t(byte);
    return dst;
}

uint32_t stringLength(const char* s) {
    uint32_t n = 0;
    while (s[n] != '\0') ++n;
    return n;
}

void copyChars(char* dst, const char* src) {
    for (uint32_t i = 0; src[i] != '\0'; ++i) dst[i] = src[i];
}
