// The heap on Windows: the process heap, which every thread shares and which
// the system serialises itself.
#include "runtime/heap.h"

#include <windows.h>

void* heapAllocate(uint32_t bytes) {
    return HeapAlloc(GetProcessHeap(), 0, bytes);
}

void heapFree(void* pointer) {
    if (pointer != nullptr) HeapFree(GetProcessHeap(), 0, pointer);
}
