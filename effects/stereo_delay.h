// StereoDelay (effect type 2): one feedback echo per channel, each with its
// own time, sharing one feedback gain.
#pragma once
#include <cstdint>

#include "effects/delay_line.h"
#include "effects/effect_unit.h"

struct StereoDelay : EffectUnit {
    DelayLine left;   // feedback mode
    DelayLine right;  // feedback mode
};

EffectUnit* createStereoDelay();
// Reads P87 (left time, 0..1000 ms), P88 (right time), P89 (feedback gain).
void processStereoDelay(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                        float* busR, uint32_t count);
