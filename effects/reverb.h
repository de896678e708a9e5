// Reverb (effect type 5): eight parallel damped combs per channel fed with the
// mono sum, then four allpass stages per channel; the right allpasses are 23
// frames longer than the left ones, which decorrelates the two sides.
#pragma once
#include <cstdint>

#include "effects/allpass_filter.h"
#include "effects/comb_filter.h"
#include "effects/effect_unit.h"

constexpr int kReverbCombs = 8;
constexpr int kReverbAllpasses = 4;
// Longest block the reverb processes; longer blocks pass unchanged.
constexpr uint32_t kReverbMaxBlock = 4096;

// Comb lengths in frames (both channels), and the left allpass lengths; the
// right allpasses add kReverbStereoSpread.
extern const int32_t kReverbCombLengths[kReverbCombs];
extern const int32_t kReverbAllpassLengths[kReverbAllpasses];
constexpr int32_t kReverbStereoSpread = 23;

// One bank of combs serves both sides: a right bank with the same lengths,
// fed the same mono sum from the same silent start, would hold the left
// bank's values sample for sample, so its sum is the left one.
struct Reverb : EffectUnit {
    CombFilter combs[kReverbCombs];
    AllpassFilter leftAllpasses[kReverbAllpasses];
    AllpassFilter rightAllpasses[kReverbAllpasses];
};

EffectUnit* createReverb();
// Reads P90 (room size: comb feedback 0.7..0.98), P91 (damping), P92 (wet/dry
// balance), P93 (stereo width).
void processReverb(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                   float* busR, uint32_t count);
