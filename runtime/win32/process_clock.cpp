// The process clocks on Windows: the process's creation time against the
// system time, and its kernel plus user time (both in 100 ns units).
#include "runtime/process_clock.h"

#include <windows.h>

#include <cstdint>

namespace {

double seconds(const FILETIME& time) {
    return double((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) * 1e-7;
}

}  // namespace

double secondsSinceProcessStart() {
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1.0;
    GetSystemTimeAsFileTime(&now);
    return seconds(now) - seconds(created);
}

double processCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1.0;
    return seconds(kernel) + seconds(user);
}
