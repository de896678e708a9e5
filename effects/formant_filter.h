// FormantFilter (effect type 6): a tenth-order all-pole resonator per channel
// tuned to one of five vowels, blended with the dry signal.
#pragma once
#include <cstdint>

#include "effects/effect_unit.h"

constexpr int kFormantVowels = 5;
constexpr int kFormantOrder = 10;

// Per vowel: input gain c0, then the feedback weights c1..c10 of the last ten
// outputs (doubles, as the resonances need them).
extern const double kFormantCoefficients[kFormantVowels][kFormantOrder + 1];

struct FormantFilter : EffectUnit {
    double leftHistory[kFormantOrder];   // last ten left outputs, newest first
    double rightHistory[kFormantOrder];  // last ten right outputs, newest first
};

// The vowel that P99 selects: truncate(P99 x 4), held to 0..4 so that any
// value above 1 (or NaN) still names a row of the table.
int formantVowel(float p99);

EffectUnit* createFormantFilter();
// Reads P99 (vowel) and P100 (blend: 0 dry only, 1 resonator only).
void processFormantFilter(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                          float* busR, uint32_t count);
