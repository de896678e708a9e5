// Chorus (effect type 3): three short modulated taps in series per channel,
// each swept by its own sine LFO between 1 and 10 ms.
#pragma once
#include <cstdint>

#include "effects/delay_line.h"
#include "effects/effect_unit.h"

constexpr int kChorusLines = 6;  // even lines left, odd lines right

struct Chorus : EffectUnit {
    DelayLine lines[kChorusLines];  // tap mode
    float phases[kChorusLines];     // LFO phases in radians, random start in [0, 1]
};

// Seeds one Random from the clock for the start phases.
EffectUnit* createChorus();
// Reads P85 (LFO rate), P86 (sweep depth), P98 (tap level).
void processChorus(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                   float* busR, uint32_t count);
