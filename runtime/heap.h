// The platform's heap, under allocate and deallocate (memory.h): the C
// library's on Linux (runtime/posix/heap.cpp), the process heap on Windows
// (runtime/win32/heap.cpp).
#pragma once
#include <cstdint>

// A block of `bytes` bytes, contents undefined; null when the heap is out of memory.
void* heapAllocate(uint32_t bytes);
// Gives a block from heapAllocate back; null is ignored.
void heapFree(void* pointer);
