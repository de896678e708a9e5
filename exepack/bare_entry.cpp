// Entry of the small 32-bit intro.exe, which is linked without the C and C++
// run-times' start-up code and libraries (-nostdlib -nostartfiles): the C
// functions it calls come from the system's msvcrt.dll, and this file does
// the little the start-up code did for the show: the control words, the
// static constructors, and allocation for the C++ operators.
#include <windows.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

#include "driver/show.h"
#include "runtime/float_mode.h"

// The static constructors, as the linker lists them: a -1 word, the
// functions, then a null word. Run from the last to the first, the order
// mingw-w64's own start-up code uses.
extern "C" void (*__CTOR_LIST__[])();

namespace {

void runStaticConstructors() {
    uint32_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    for (uint32_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

}  // namespace

// The process ends through ExitProcess and nothing is cleaned up after the
// show's own clean-up, so destructors of statics need not be recorded.
extern "C" int atexit(void (*)()) {
    return 0;
}

// What the show takes from the C++ run-time's library, on the system's
// functions: the nothrow tag, the steady clock and a sleep.
namespace std {
const nothrow_t nothrow{};
namespace chrono::_V2 {
steady_clock::time_point steady_clock::now() noexcept {
    LARGE_INTEGER ticks, frequency;
    QueryPerformanceCounter(&ticks);
    QueryPerformanceFrequency(&frequency);
    const int64_t seconds = ticks.QuadPart / frequency.QuadPart;
    const int64_t rest = ticks.QuadPart % frequency.QuadPart;
    return time_point(duration(seconds * 1000000000 + rest * 1000000000 / frequency.QuadPart));
}
}  // namespace chrono::_V2
namespace this_thread {
void __sleep_for(chrono::seconds seconds, chrono::nanoseconds nanoseconds) {
    // Whole milliseconds, at least one: Sleep(0) would only yield.
    const int64_t ms = seconds.count() * 1000 + (nanoseconds.count() + 999999) / 1000000;
    Sleep(DWORD(ms > 0 ? ms : 1));
}
}  // namespace this_thread
}  // namespace std

// mingw-w64's C++ headers send printf and its kin to mingw-w64's own
// formatting code (about 20 KB). Here they go to msvcrt.dll's: fprintf as it
// is, snprintf as C99 has it (the length the whole text needs, the output
// always terminated).
extern "C" int __mingw_vfprintf(FILE* file, const char* format, va_list arguments) {
    return vfprintf(file, format, arguments);
}
extern "C" int __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    const int length = _vscprintf(format, copy);
    va_end(copy);
    if (size > 0) {
        _vsnprintf(buffer, size, format, arguments);
        if (length < 0 || size_t(length) >= size) buffer[size - 1] = '\0';
    }
    return length;
}

// mingw-w64's maths report a domain error through the run-time's start-up
// code; the show's maths check their own inputs and ignore such reports.
extern "C" void __mingw_raise_matherr(int, const char*, double, double, double) {}

void* operator new(size_t size) {
    return std::malloc(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size);
}
void* operator new[](size_t size) {
    return std::malloc(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}

// The system enters with the stack aligned to 4 bytes only, and the SSE code
// below needs 16.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void introEntry() {
    enterFloatModes(kMainFloatMode);
    runStaticConstructors();
    ExitProcess(UINT(runShow()));
}
