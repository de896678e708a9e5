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

// The x87 control word the extended-precision (long double) maths are made
// for: 64-bit significands, round to nearest, every exception masked. A Linux
// process starts with it (and a new thread inherits its creator's word); a
// Windows thread made by CreateThread starts with 0x027F (53-bit
// significands), which rounds those steps differently, so the music would not
// be the same bits there.
constexpr uint16_t kExtendedPrecisionControl = 0x037F;
// Both control words for a thread that is just starting: the x87 one above
// and floatModeValue(flags) in the MXCSR. Every thread entry calls it first.
void enterFloatModes(uint32_t flags);
// This thread's x87 control word.
uint16_t extendedControlWord();
