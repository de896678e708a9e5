// Probe builds only: counts the heap blocks the main thread asks for while
// the frame loop runs. malloc and operator new are replaced for the whole
// process; only calls on the thread that armed the count are counted, so the
// audio thread's first effect units do not show up. Two figures: calls made
// from this program's own code (its text segment: every call site of the
// project, including inlined standard-library code), and all calls, which
// also holds what Xlib, xcb and Mesa allocate in every buffer swap and when a
// shader is first drawn. Sanitizer builds keep their own allocator and count
// nothing.
#include "tests/probe/probe_allocations.h"

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <new>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define PROBE_COUNTS_ALLOCATIONS 1
#endif

namespace {
std::atomic<bool> armed{false};
pthread_t countedThread;
std::atomic<uint64_t> counted{0};
std::atomic<uint64_t> countedAll{0};
}  // namespace

#ifdef PROBE_COUNTS_ALLOCATIONS
extern "C" void* __libc_malloc(size_t size);
// The linker's bounds of this executable's code.
extern "C" char __executable_start[];
extern "C" char etext[];

namespace {

void count(const void* caller) {
    if (!armed.load(std::memory_order_relaxed) || !pthread_equal(pthread_self(), countedThread)) return;
    countedAll.fetch_add(1, std::memory_order_relaxed);
    const char* at = static_cast<const char*>(caller);
    if (at >= __executable_start && at < etext) counted.fetch_add(1, std::memory_order_relaxed);
}

void* allocateCounted(size_t size, const void* caller) {
    count(caller);
    return __libc_malloc(size == 0 ? 1 : size);
}

}  // namespace

extern "C" void* malloc(size_t size) {
    count(__builtin_return_address(0));
    return __libc_malloc(size);
}

// operator new is replaced as well: its caller, not libstdc++, tells whose
// allocation it is.
void* operator new(size_t size) {
    void* block = allocateCounted(size, __builtin_return_address(0));
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new[](size_t size) {
    void* block = allocateCounted(size, __builtin_return_address(0));
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return allocateCounted(size, __builtin_return_address(0));
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return allocateCounted(size, __builtin_return_address(0));
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

uint64_t countedAllocationsOfAllCode() {
    return countedAll.load(std::memory_order_relaxed);
}
