// DynArray: a growable array of fixed-size plain elements in 16-byte-aligned
// storage. Elements are bytes: never constructed, destroyed or initialised.
#pragma once
#include <cstdint>

struct DynArray {
    uint8_t* items;
    uint32_t count;
    uint32_t capacity;
    uint32_t elementSize;

    // Empty array of `elementSize`-byte elements, then resize(count) if count > 0.
    void init(uint32_t elementSize, uint32_t count = 0);
    // Room for one more element at the end (capacity 32, then doubling).
    void* append();
    // Forgets every element; the storage stays.
    void clear();
    // Index of the first element equal to *key byte for byte, or -1.
    int32_t find(const void* key) const;
    // Removes element `index` (< count), moving the later ones down.
    void removeAt(uint32_t index);
    // Makes room for exactly n elements when capacity is below n.
    void reserve(uint32_t n);
    // Sets count to n, growing the storage to exactly n when needed.
    void resize(uint32_t n);
    // Frees the storage; safe to call twice. Returns 0.
    int32_t release();

    // Element `index` seen as T (T must be elementSize bytes).
    template <typename T> T& at(uint32_t index) { return reinterpret_cast<T*>(items)[index]; }
    template <typename T> const T& at(uint32_t index) const { return reinterpret_cast<const T*>(items)[index]; }
};
