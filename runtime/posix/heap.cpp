// The heap on Linux: the C library's malloc and free.
#include "runtime/heap.h"

#include <cstdlib>

void* heapAllocate(uint32_t bytes) {
    return std::malloc(bytes);
}

void heapFree(void* pointer) {
    std::free(pointer);
}
