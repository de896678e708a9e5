// The process clocks on Linux: the boot clock against the start time that
// /proc gives, and the process CPU-time clock.
#include "runtime/process_clock.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

double secondsSinceProcessStart() {
    FILE* stat = std::fopen("/proc/self/stat", "r");
    if (!stat) return -1.0;
    char text[1024];
    const size_t length = std::fread(text, 1, sizeof(text) - 1, stat);
    std::fclose(stat);
    text[length] = 0;
    // Fields after the command name, which is in parentheses and may hold
    // blanks: the start time (in clock ticks since boot) is field 22 of the
    // line, the 20th after ")".
    const char* at = std::strrchr(text, ')');
    if (!at) return -1.0;
    unsigned long long ticks = 0;
    for (int field = 0; field < 20 && at; ++field) at = std::strchr(at + 1, ' ');
    if (!at || std::sscanf(at + 1, "%llu", &ticks) != 1) return -1.0;
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double boot = double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
    return boot - double(ticks) / double(sysconf(_SC_CLK_TCK));
}

double processCpuSeconds() {
    timespec used;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) * 1e-9;
}
