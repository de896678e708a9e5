// The SSE control register (MXCSR) for the calling thread. Flags: 0x01 flush
// to zero, 0x02 denormals are zero, 0x04 round up, 0x08 round down, 0x10
// toward zero. 0x21 and 0x01 both give 0x9F80.
#pragma once
#include <cstdint>

// The two modes the program runs in. Audio rendering: flush-to-zero, so that
// decaying filter, envelope and effect states end in zero instead of crawling
// through denormals at a hundred times the cost. The main thread: the same
// and the flag spelled out the intro's original way.
constexpr uint32_t kRenderFloatMode = 0x01;
constexpr uint32_t kMainFloatMode = 0x21;

// MXCSR value that `flags` selects (all exceptions masked, status clear).
uint32_t floatModeValue(uint32_t flags);
// Loads floatModeValue(flags) into this thread's MXCSR.
void setFloatMode(uint32_t flags);
