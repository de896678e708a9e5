// ThreeBandEq (effect type 7): low, mid and high bands split at 880 Hz and
// 5,000 Hz by four-pole low-pass chains, each band with its own gain.
#pragma once
#include <cstdint>

#include "effects/effect_unit.h"

// The state of one channel.
struct EqChannel {
    float low[4];    // low-pass poles l1..l4 (880 Hz)
    float high[4];   // low-pass poles p1..p4 (5,000 Hz); high = delayed input - p4
    float delay[3];  // inputs of the last three frames, newest first (s1, s2, s3)
};

struct ThreeBandEq : EffectUnit {
    EqChannel left;
    EqChannel right;
};

// Band gain for a parameter x: 2x up to 0.5 (unity at 0.5), then rising along
// ((x - 0.5) x 2)^2 x 10 + 1 to 11 at x = 1.
float eqBandGain(float x);

EffectUnit* createThreeBandEq();
// Reads P101 (low gain), P102 (mid gain), P103 (high gain).
void processThreeBandEq(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                        float* busR, uint32_t count);
