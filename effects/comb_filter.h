// CombFilter: the damped feedback comb of the reverb, and processCombPair,
// which runs a left and a right comb on the same mono input.
#pragma once
#include <cstdint>

// Longest comb: the reverb's tunings stay below 1,700 frames.
constexpr int32_t kCombCapacity = 4096;

struct CombFilter {
    float buffer[kCombCapacity];
    int32_t length;  // frames, 1..kCombCapacity
    int32_t index;   // next frame to read and write
    float store;     // one-pole low-pass in the feedback path
};

// Sets the length of a silent comb (units come zero-filled), clamped to
// 1..kCombCapacity.
void initCombFilter(CombFilter& comb, int32_t length);

// For each frame: in = (inL + inR) x gain, then for each comb (left comb to
// outL, right comb to outR): out = buffer[index]; store = store x damp1 +
// out x damp2; buffer[index] = in + store x feedback; the output is out.
// damp1 + damp2 = 1 makes the feedback path a unity-gain low-pass.
void processCombPair(CombFilter& left, CombFilter& right, float damp1, float damp2, float feedback,
                     float gain, const float* inL, const float* inR, float* outL, float* outR,
                     uint32_t n);
