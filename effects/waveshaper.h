// Waveshaper (effect type 1): each sample's magnitude is bent through
// m^(1 - P84) by table look-up, keeping its sign.
#pragma once
#include <cstdint>

#include "effects/effect_unit.h"

// Table resolution: magnitudes 0..1 in steps of 1/32,768.
constexpr uint32_t kWaveshaperCurveSize = 32768;

struct Waveshaper : EffectUnit {
    float exponent;                     // exponent the curve was built for; -1 = none yet
    float curve[kWaveshaperCurveSize];  // curve[i] = (i / 32768)^exponent, or -1 until first read
};

EffectUnit* createWaveshaper();
// Computes the whole curve for the current P84 (about 0.75 ms), which the
// first blocks would otherwise compute entry by entry as they read them.
void prepareWaveshaper(EffectUnit* unit, const float* params);
// Reads P84 (shape: 0 = straight, 1 = hard sign).
void processWaveshaper(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                       float* busR, uint32_t count);
