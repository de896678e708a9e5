// DynArray growth: append doubles from 32, reserve and resize take exactly
// what is asked. Storage moves only in reserve (copy) and removeAt (shift).
#include "runtime/dyn_array.h"

#include "runtime/memory.h"

void DynArray::init(uint32_t size, uint32_t initialCount) {
    items = nullptr;
    count = 0;
    capacity = 0;
    elementSize = size;
    if (initialCount > 0) resize(initialCount);
}

void* DynArray::append() {
    if (count >= capacity) reserve(capacity == 0 ? 32 : 2 * capacity);
    if (count >= capacity) return nullptr;  // the heap refused: nothing to hand out
    void* element = items + uint64_t(count) * elementSize;
    ++count;
    return element;
}

void DynArray::clear() {
    count = 0;
}

int32_t DynArray::find(const void* key) const {
    for (uint32_t i = 0; i < count; ++i)
        if (bytesEqual(items + uint64_t(i) * elementSize, key, elementSize)) return int32_t(i);
    return -1;
}

void DynArray::removeAt(uint32_t index) {
    uint8_t* slot = items + uint64_t(index) * elementSize;
    moveBytes(slot, slot + elementSize, (count - index - 1) * elementSize);
    --count;
}

void DynArray::reserve(uint32_t n) {
    if (capacity >= n) return;
    const uint64_t bytes = uint64_t(n) * elementSize;
    if (bytes > UINT32_MAX) return;
    auto* storage = static_cast<uint8_t*>(alignedAlloc(uint32_t(bytes), 16));
    if (storage == nullptr) return;  // keep the old storage rather than lose it
    if (items != nullptr) copyBytes(storage, items, count * elementSize);
    alignedFree(items);
    items = storage;
    capacity = n;
}

void DynArray::resize(uint32_t n) {
    if (n > capacity) reserve(n);
    if (n > capacity) return;  // allocation failed: count stays within the storage
    count = n;
}

int32_t DynArray::release() {
    alignedFree(items);
    items = nullptr;
    count = 0;
    capacity = 0;
    return 0;
}
