// Probe builds only: counts the heap blocks the main thread asks for while
// the frame loop runs. malloc is replaced for the whole process (C and C++
// code, SDL and the GL driver alike); only calls on the thread that armed
// the count are counted, so the audio thread's first effect units do not
// show up. Sanitizer builds keep their own allocator and count nothing.
#include "driver/probe_allocations.h"

#include <pthread.h>

#include <atomic>
#include <cstddef>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define PROBE_COUNTS_ALLOCATIONS 1
#endif

namespace {
std::atomic<bool> armed{false};
pthread_t countedThread;
std::atomic<uint64_t> counted{0};
}  // namespace

#ifdef PROBE_COUNTS_ALLOCATIONS
extern "C" void* __libc_malloc(size_t size);

// Every C and C++ allocation ends here (operator new calls malloc).
extern "C" void* malloc(size_t size) {
    if (armed.load(std::memory_order_relaxed) && pthread_equal(pthread_self(), countedThread))
        counted.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
#endif

bool probeCountsAllocations() {
#ifdef PROBE_COUNTS_ALLOCATIONS
    return true;
#else
    return false;
#endif
}

void armAllocationCount(bool on) {
    if (on) countedThread = pthread_self();
    armed.store(on, std::memory_order_relaxed);
}

uint64_t countedAllocations() {
    return counted.load(std::memory_order_relaxed);
}
