// The counter on Windows: the performance counter, whose ticks seed Random.
#include <windows.h>

#include "runtime/counter.h"

uint64_t readSystemCounter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return uint64_t(now.QuadPart);
}
