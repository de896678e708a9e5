// What every effect unit shares: the EffectUnit base, the aligned zero-filled
// allocation behind each type's create, and the test that keeps denormal
// values out of recirculating memories.
#pragma once
#include <cstdint>
#include <cstring>
#include <new>

#include "runtime/memory.h"

// Common base of every unit's state block. Each type derives its own struct
// from it (an empty base adds no bytes), so a slot can hold any unit as one
// pointer next to its type number.
struct EffectUnit {};

// A zero-filled T from alignedAlloc(…, 16), or null when the heap refuses; the
// caller then leaves its slot empty and asks again next block.
template <class T>
T* allocateUnit() {
    void* memory = alignedAlloc(uint32_t(sizeof(T)), 16);
    if (memory == nullptr) return nullptr;
    return new (memory) T();  // value-initialisation: every field zero
}

// Returns any unit to the heap; null is ignored. Units hold only plain data,
// so nothing needs to run before the block goes.
inline void destroyEffectUnit(EffectUnit* unit) {
    alignedFree(unit);
}

// True when x's exponent field is zero: x is +0, -0 or denormal. Values like
// that are stored as 0 so that a decaying tail ends in exact silence instead
// of crawling through the slow denormal range.
inline bool hasZeroExponent(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    return (bits & 0x7F800000u) == 0;
}

// x, or exactly 0 when x is zero or denormal.
inline float flushTiny(float x) {
    return hasZeroExponent(x) ? 0.0f : x;
}
