// Probe builds only: the number of heap allocations made by one thread
// between arming and disarming the count (see probe_allocations.cpp).
#pragma once
#include <cstdint>

// False where the count cannot be taken (sanitizer builds): the figure then
// stays 0 and means nothing.
bool probeCountsAllocations();
// Starts (true) or pauses (false) counting the calling thread's allocations.
void armAllocationCount(bool on);
// Allocations called from this program's own code.
uint64_t countedAllocations();
// All allocations of the thread, the window system's and GL driver's included.
uint64_t countedAllocationsOfAllCode();
