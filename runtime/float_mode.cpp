// MXCSR from flags: start at 0x1F80 (exceptions masked, round to nearest)
// and set the requested bits; the x87 control word is set only at a thread's
// entry.
#include "runtime/float_mode.h"

#include <xmmintrin.h>

#include "runtime/math.h"

uint32_t floatModeValue(uint32_t flags) {
    uint16_t value = 0x1F80;
    value = setWordBit(value, 15, (flags & 0x01) != 0);  // flush to zero
    value = setWordBit(value, 6, (flags & 0x02) != 0);   // denormals are zero
    if (flags & 0x18) value = setWordBit(value, 13, true);
    if (flags & 0x14) value = setWordBit(value, 14, true);
    return value;
}

void setFloatMode(uint32_t flags) {
    _mm_setcsr(floatModeValue(flags));
}

void enterFloatModes(uint32_t flags) {
    const uint16_t control = kExtendedPrecisionControl;
    __asm__ volatile("fldcw %0" : : "m"(control));
    setFloatMode(flags);
}

uint16_t extendedControlWord() {
    uint16_t control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    return control;
}
