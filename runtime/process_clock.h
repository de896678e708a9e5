// How long this process has existed and how much CPU it has used: the
// start-up figures of the probe build. Each platform reads its own clocks.
#pragma once

// Seconds since the system started this process (before any library was
// loaded); -1 when the platform cannot tell.
double secondsSinceProcessStart();
// CPU seconds used so far by all threads of the process.
double processCpuSeconds();
